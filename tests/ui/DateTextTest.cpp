// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QDateTime>
#include <QLocale>

#include "ui/DateText.h"

namespace corvane {
namespace {

Timestamp localTime(int day, int hour, int minute, int second) {
    const QDateTime when(QDate(2026, 12, day), QTime(hour, minute, second));
    return Timestamp(std::chrono::milliseconds(when.toMSecsSinceEpoch()));
}

TEST(DateTextTest, AbbreviatedDatesKeepTheLocalesOrderAndTimesOfOtherDaysCarryTheirDate) {
    const QLocale before;
    const Timestamp now = localTime(7, 9, 41, 7);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    EXPECT_EQ(DateText::abbreviated(now), "7 Dec 2026, 09:41");
    EXPECT_EQ(DateText::timeOfDay(localTime(7, 0, 0, 1), now), "00:00:01");
    EXPECT_EQ(DateText::timeOfDay(localTime(6, 23, 59, 59), now), "6 Dec 2026, 23:59:59");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(DateText::abbreviated(now), "Dec 7, 2026, 9:41 AM");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(DateText::abbreviated(now), "7. Dez. 2026, 09:41");
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(DateText::abbreviated(now), "7 Dec 2026, 09:41");
    QLocale::setDefault(before);
}

}  // namespace
}  // namespace corvane
