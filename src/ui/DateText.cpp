// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DateText.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>

namespace corvane::DateText {
namespace {

QDateTime local(Timestamp instant) {
    return QDateTime::fromMSecsSinceEpoch(
        std::chrono::duration_cast<std::chrono::milliseconds>(instant.time_since_epoch()).count());
}

// Qt has no abbreviated date format: the locale's long one without the
// weekday and with the month's short name keeps the locale's order.
QString abbreviatedDate(const QDate& date) {
    const QLocale locale;
    QString format = locale.dateFormat(QLocale::LongFormat);
    static const QRegularExpression weekday(QStringLiteral("d{4}[,.]?\\s*"));
    format.remove(weekday);
    format.replace(QStringLiteral("MMMM"), QStringLiteral("MMM"));
    return locale.toString(date, format.trimmed());
}

}  // namespace

QString abbreviated(Timestamp instant) {
    const QDateTime when = local(instant);
    // Some locales' short time (C's among them) still counts seconds.
    static const QRegularExpression seconds(QStringLiteral("[:.]ss"));
    const QLocale locale;
    const QString time = locale.toString(when.time(), locale.timeFormat(QLocale::ShortFormat).remove(seconds));
    return abbreviatedDate(when.date()) + QStringLiteral(", ") + time;
}

QString timeOfDay(Timestamp instant, Timestamp now) {
    const QDateTime when = local(instant);
    const QString time = when.time().toString(QStringLiteral("HH:mm:ss"));
    if (when.date() == local(now).date()) return time;
    return abbreviatedDate(when.date()) + QStringLiteral(", ") + time;
}

}  // namespace corvane::DateText
