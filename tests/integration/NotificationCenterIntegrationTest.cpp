// SPDX-License-Identifier: GPL-3.0-or-later
// FreedesktopNotificationCenter against python3-dbusmock's notification daemon
// on a private session bus of our own; the mock's GetMethodCalls shows the calls.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusVariant>
#include <QProcess>

#include "platform/FreedesktopNotificationCenter.h"
#include "QtWait.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

constexpr auto kService = "org.freedesktop.Notifications";
constexpr auto kPath = "/org/freedesktop/Notifications";

// The adapter posts on the session connection: asked there, the mock's
// answers come after the replies to the adapter's own Notify calls.
QDBusMessage sessionCall(const QDBusMessage& call) { return callAndWait(QDBusConnection::sessionBus(), call); }

QDBusMessage callMock(const QString& method) {
    return QDBusMessage::createMethodCall(kService, kPath, "org.freedesktop.DBus.Mock", method);
}

class NotificationCenterIntegrationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ensureApplication();
        // An abstract socket leaves no file behind whatever way the bus ends.
        bus_ = std::make_unique<QProcess>();
        bus_->start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--print-address=1",
                                    "--address=unix:abstract=corvane-notify-test-" + QString::number(::getpid())});
        if (!bus_->waitForStarted(3000) || !bus_->waitForReadyRead(3000)) return;
        ::setenv("DBUS_SESSION_BUS_ADDRESS", bus_->readLine().trimmed().constData(), 1);
        ready_ = startMock({});
    }

    // (Re)starts the notification server; `capabilities` replaces the mock's
    // own list (which has "body-markup") when given.
    static bool startMock(const QString& capabilities) {
        if (mock_) {
            mock_->kill();
            mock_->waitForFinished(2000);
            if (!runUntil([] { return !QDBusConnection::sessionBus().interface()->isServiceRegistered(kService).value(); })) {
                return false;
            }
        }
        mock_ = std::make_unique<QProcess>();
        mock_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QStringList arguments{"-m", "dbusmock", "--session", "--template", "notification_daemon"};
        if (!capabilities.isEmpty()) arguments << "--parameters" << "{\"capabilities\": \"" + capabilities + "\"}";
        mock_->start("/usr/bin/python3", arguments);
        return mock_->waitForStarted(3000) && runUntil([] {
            const auto bus = QDBusConnection::sessionBus();
            return bus.isConnected() && bus.interface()->isServiceRegistered(kService).value();
        }, 5s);
    }

    static void TearDownTestSuite() {
        for (auto* process : {mock_.get(), bus_.get()}) {
            if (process) process->kill(), process->waitForFinished(2000);
        }
    }

    void SetUp() override {
        ASSERT_TRUE(ready_) << "private session bus with the notification mock did not come up";
        sessionCall(callMock("ClearCalls"));
    }

    // The arguments of every Notify call the mock has seen since SetUp, once
    // there are at least `count` of them (or the wait ran out).
    static QList<QVariantList> waitForCalls(qsizetype count, const QString& method = QStringLiteral("Notify")) {
        QList<QVariantList> calls;
        // The poll may run again inside its own nested wait for the reply:
        // each run builds its own list.
        runUntil([&] {
            QList<QVariantList> found;
            const auto log = sessionCall(callMock("GetMethodCalls") << method)
                                 .arguments().value(0).value<QDBusArgument>();
            log.beginArray();
            while (!log.atEnd()) {
                quint64 time = 0;
                QList<QDBusVariant> arguments;
                log.beginStructure();
                log >> time >> arguments;
                log.endStructure();
                found.append(QVariantList{});
                for (const auto& argument : arguments) found.back() << argument.variant();
            }
            log.endArray();
            calls = found;
            return calls.size() >= count;
        });
        return calls;
    }

    static QVariantMap hints(const QVariantList& call) { return qdbus_cast<QVariantMap>(call.value(6)); }

    static inline std::unique_ptr<QProcess> bus_;
    static inline std::unique_ptr<QProcess> mock_;
    static inline bool ready_ = false;
};

TEST_F(NotificationCenterIntegrationTest, PostsTitleBodyAndHintsPerSound) {
    using Sound = LocalNotification::Sound;
    const struct {
        LocalNotification notification;
        uchar urgency;
        QString soundName;
    } cases[] = {
        {{"message-6F1C0B8E-2D3A-4C5B-9E7F-0A1B2C3D4E5F", "Bike", "Parked at the station · 5 min", Sound::standard},
         1, "message-new-instant"},
        {{"guarded-device-moved-1772357400.0", "Bicycle moved",
          "Two positions place the device outside the marked area. Latest distance: about 90 m.", Sound::critical},
         2, "alarm-clock-elapsed"},
    };
    FreedesktopNotificationCenter center;
    for (const auto& each : cases) center.post(each.notification);

    const auto calls = waitForCalls(2);
    ASSERT_EQ(calls.size(), 2);
    for (qsizetype i = 0; i < 2; ++i) {
        const auto& [notification, urgency, soundName] = cases[i];
        ASSERT_EQ(calls[i].size(), 8);
        EXPECT_EQ(calls[i][0].toString(), "Corvane");
        EXPECT_EQ(calls[i][1].toUInt(), 0u) << "a first post replaces nothing";
        EXPECT_EQ(calls[i][3].toString().toStdString(), notification.title);
        EXPECT_EQ(calls[i][4].toString().toStdString(), notification.body);
        EXPECT_EQ(calls[i][7].toInt(), -1);
        const QVariantMap hint = hints(calls[i]);
        EXPECT_EQ(hint.value("urgency").metaType(), QMetaType::fromType<uchar>());
        EXPECT_EQ(hint.value("urgency").value<uchar>(), urgency);
        EXPECT_EQ(hint.value("sound-name").toString(), soundName);
        EXPECT_EQ(hint.value("x-corvane-identifier").toString().toStdString(), notification.identifier);
    }
}

// The first alert must not wait for a round trip to learn about markup.
TEST_F(NotificationCenterIntegrationTest, AsksTheServerAheadOfTheFirstPost) {
    FreedesktopNotificationCenter center;
    ASSERT_EQ(waitForCalls(1, QStringLiteral("GetCapabilities")).size(), 1);
    center.post({.identifier = "message-1", .title = "Bike", .body = "a < b"});
    const auto calls = waitForCalls(1);
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls[0][4].toString(), "a &lt; b");
    EXPECT_EQ(waitForCalls(1, QStringLiteral("GetCapabilities")).size(), 1) << "asked once";
}

TEST_F(NotificationCenterIntegrationTest, RepostOfAnIdentifierReplacesTheEarlierNotification) {
    // The mock numbers notifications in sequence; learn where it stands.
    const QDBusMessage probe = sessionCall(
        QDBusMessage::createMethodCall(kService, kPath, kService, "Notify")
        << QStringLiteral("probe") << 0u << QString() << QStringLiteral("probe") << QString() << QStringList()
        << QVariantMap() << -1);
    ASSERT_EQ(probe.type(), QDBusMessage::ReplyMessage);
    const uint probeId = probe.arguments().value(0).toUInt();

    FreedesktopNotificationCenter center;
    center.post({.identifier = "local-network-left-printer", .title = "Device left the network", .body = "Printer"});
    center.post({.identifier = "local-network-left-scanner", .title = "Device left the network", .body = "Scanner"});
    ASSERT_EQ(waitForCalls(3).size(), 3);  // the probe and both posts, all answered by now
    center.post({.identifier = "local-network-left-printer", .title = "Device left the network", .body = "Printer again"});
    center.post({.identifier = "local-network-left-scanner", .title = "Device left the network", .body = "Scanner again"});

    const auto calls = waitForCalls(5);
    ASSERT_EQ(calls.size(), 5);
    EXPECT_EQ(calls[3][1].toUInt(), probeId + 1);
    EXPECT_EQ(calls[3][4].toString(), "Printer again");
    EXPECT_EQ(calls[4][1].toUInt(), probeId + 2);
}

// Mesh text is shown as sent: escaped for a server that reads markup, as is
// for one that does not; a new server is asked again, and posts made before
// an answer wait for it.
TEST_F(NotificationCenterIntegrationTest, BodiesAreEscapedExactlyWhenTheServerReadsMarkup) {
    const std::string body = "<b>R&D</b> > \"x\" · 5 min";
    const QString escaped = QStringLiteral("&lt;b&gt;R&amp;D&lt;/b&gt; &gt; \"x\" · 5 min");
    FreedesktopNotificationCenter center;
    center.post({.identifier = "message-1", .title = "Bike", .body = body});
    center.post({.identifier = "message-2", .title = "Bike", .body = body});
    auto calls = waitForCalls(2);
    ASSERT_EQ(calls.size(), 2);
    EXPECT_EQ(calls[0][4].toString(), escaped);
    EXPECT_EQ(calls[1][4].toString(), escaped);

    const bool restarted = startMock("body actions");
    if (restarted) {
        sessionCall(callMock("ClearCalls"));
        center.post({.identifier = "message-1", .title = "Bike", .body = body});
        calls = waitForCalls(1);
    }
    const bool restored = startMock({});
    ready_ = restored;
    ASSERT_TRUE(restarted && restored);
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls[0][4].toString().toStdString(), body);
    EXPECT_EQ(calls[0][1].toUInt(), 0u) << "ids of the earlier server replace nothing here";
}

}  // namespace
}  // namespace corvane
