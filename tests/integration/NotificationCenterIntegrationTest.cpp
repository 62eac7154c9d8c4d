// FreedesktopNotificationCenter against python3-dbusmock's notification
// daemon on a private session bus that this test starts and stops itself.
// The mock logs every Notify call; the test reads them back through the
// mock's GetMethodCalls.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include "platform/FreedesktopNotificationCenter.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kService = "org.freedesktop.Notifications";
constexpr auto kPath = "/org/freedesktop/Notifications";
constexpr auto kChildSwitch = "CORVANE_NO_BUS_CHILD";

QCoreApplication& application() {
    static int argc = 1;
    static char name[] = "platform_alert_integration_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// Runs the Qt loop until `done` holds or `limit` passes; true when it held.
bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 3s) {
    if (done()) return true;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    poll.start(10);
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

// Asks and waits on the loop for the finished notice, which comes after the
// notices of replies that arrived earlier on the connection (those to the
// adapter's own Notify calls), so the adapter has seen them by then.
QDBusMessage callAndWait(const QDBusMessage& call) {
    QDBusPendingCallWatcher watcher(QDBusConnection::sessionBus().asyncCall(call));
    bool finished = false;
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, [&finished] { finished = true; });
    runUntil([&finished] { return finished; });
    return watcher.reply();
}

void stop(std::unique_ptr<QProcess>& process) {
    if (!process) return;
    process->terminate();
    if (!process->waitForFinished(2000)) {
        process->kill();
        process->waitForFinished(2000);
    }
    process.reset();
}

class NotificationCenterIntegrationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (std::getenv(kChildSwitch)) return;
        application();
        folder_ = fs::temp_directory_path() / ("corvane-notify-test-" + std::to_string(::getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        const fs::path config = folder_ / "session.conf";
        std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                                 " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                                 "<busconfig><type>session</type><keep_umask/>\n"
                                 "<listen>unix:path="
                              << (folder_ / "session.sock").string()
                              << "</listen><auth>EXTERNAL</auth>\n"
                                 "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                 "<allow eavesdrop=\"true\"/><allow own=\"*\"/><allow user=\"*\"/></policy>\n"
                                 "</busconfig>\n";
        bus_ = std::make_unique<QProcess>();
        bus_->start("dbus-daemon", {"--config-file=" + QString::fromStdString(config.string()), "--nofork",
                                    "--nopidfile", "--print-address=1"});
        if (!bus_->waitForStarted(3000) || !bus_->waitForReadyRead(3000)) return;
        const QByteArray address = bus_->readLine().trimmed();
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address.constData(), 1);

        mock_ = std::make_unique<QProcess>();
        mock_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        mock_->start("/usr/bin/python3", {"-m", "dbusmock", "--session", "--template", "notification_daemon"});
        if (!mock_->waitForStarted(3000)) return;
        ready_ = runUntil([] {
            const auto bus = QDBusConnection::sessionBus();
            return bus.isConnected() && bus.interface()->isServiceRegistered(kService).value();
        }, 5s);
    }

    static void TearDownTestSuite() {
        stop(mock_);
        stop(bus_);
        if (!folder_.empty()) fs::remove_all(folder_);
    }

    void SetUp() override {
        if (std::getenv(kChildSwitch)) return;
        ASSERT_TRUE(ready_) << "private session bus with the notification mock did not come up";
        callAndWait(QDBusMessage::createMethodCall(kService, kPath, "org.freedesktop.DBus.Mock", "ClearCalls"));
    }

    // The arguments of every Notify call the mock has seen since SetUp.
    static QList<QVariantList> notifyCalls() {
        const QDBusMessage reply = callAndWait(
            QDBusMessage::createMethodCall(kService, kPath, "org.freedesktop.DBus.Mock", "GetMethodCalls")
            << QStringLiteral("Notify"));
        QList<QVariantList> calls;
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return calls;
        const auto log = reply.arguments().at(0).value<QDBusArgument>();
        log.beginArray();
        while (!log.atEnd()) {
            quint64 time = 0;
            QVariantList arguments;
            log.beginStructure();
            log >> time;
            log.beginArray();
            while (!log.atEnd()) {
                QDBusVariant argument;
                log >> argument;
                arguments << argument.variant();
            }
            log.endArray();
            log.endStructure();
            calls << arguments;
        }
        log.endArray();
        return calls;
    }

    static QList<QVariantList> waitForCalls(qsizetype count) {
        QList<QVariantList> calls;
        runUntil([&] {
            calls = notifyCalls();
            return calls.size() >= count;
        });
        return calls;
    }

    static QVariantMap hints(const QVariantList& call) { return qdbus_cast<QVariantMap>(call.value(6)); }

    static inline fs::path folder_;
    static inline std::unique_ptr<QProcess> bus_;
    static inline std::unique_ptr<QProcess> mock_;
    static inline bool ready_ = false;
};

TEST_F(NotificationCenterIntegrationTest, PostsTitleBodyAndHintsPerSound) {
    if (std::getenv(kChildSwitch)) GTEST_SKIP();
    FreedesktopNotificationCenter center;
    center.requestAuthorization();  // nothing to ask on this platform
    center.post({.identifier = "message-6F1C0B8E-2D3A-4C5B-9E7F-0A1B2C3D4E5F",
                 .title = "Bike",
                 .body = "Parked at the station · 5 min",
                 .sound = LocalNotification::Sound::standard});
    center.post({.identifier = "guarded-device-moved-1772357400.0",
                 .title = "Bicycle moved",
                 .body = "Two positions place the device outside the marked area. Latest distance: about 90 m.",
                 .sound = LocalNotification::Sound::critical});

    const auto calls = waitForCalls(2);
    ASSERT_EQ(calls.size(), 2);
    const QVariantList& message = calls[0];
    ASSERT_EQ(message.size(), 8);
    EXPECT_EQ(message[0].toString(), "Corvane");
    EXPECT_EQ(message[1].toUInt(), 0u);
    EXPECT_EQ(message[3].toString(), "Bike");
    EXPECT_EQ(message[4].toString(), QString::fromUtf8("Parked at the station · 5 min"));
    EXPECT_EQ(message[7].toInt(), -1);
    const QVariantMap standard = hints(message);
    EXPECT_EQ(standard.value("urgency").metaType(), QMetaType::fromType<uchar>());
    EXPECT_EQ(standard.value("urgency").value<uchar>(), 1);
    EXPECT_EQ(standard.value("sound-name").toString(), "message-new-instant");
    EXPECT_EQ(standard.value("x-corvane-identifier").toString(), "message-6F1C0B8E-2D3A-4C5B-9E7F-0A1B2C3D4E5F");

    EXPECT_EQ(calls[1][3].toString(), "Bicycle moved");
    const QVariantMap critical = hints(calls[1]);
    EXPECT_EQ(critical.value("urgency").value<uchar>(), 2);
    EXPECT_EQ(critical.value("sound-name").toString(), "alarm-clock-elapsed");
    EXPECT_EQ(critical.value("x-corvane-identifier").toString(), "guarded-device-moved-1772357400.0");
}

TEST_F(NotificationCenterIntegrationTest, RepostOfAnIdentifierReplacesTheEarlierNotification) {
    if (std::getenv(kChildSwitch)) GTEST_SKIP();
    // The mock numbers notifications in sequence; learn where it stands.
    const QDBusMessage probe = callAndWait(
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
    EXPECT_EQ(calls[1][1].toUInt(), 0u);
    EXPECT_EQ(calls[2][1].toUInt(), 0u);
    EXPECT_EQ(calls[3][1].toUInt(), probeId + 1);
    EXPECT_EQ(calls[3][4].toString(), "Printer again");
    EXPECT_EQ(calls[4][1].toUInt(), probeId + 2);
}

TEST_F(NotificationCenterIntegrationTest, WithoutASessionBusPostingDoesNothing) {
    if (std::getenv(kChildSwitch)) GTEST_SKIP();
    // The session connection is made once per process, so the bus-less case
    // runs in a child of its own.
    QProcess child;
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(kChildSwitch, "1");
    environment.insert("DBUS_SESSION_BUS_ADDRESS",
                       QString::fromStdString("unix:path=" + (folder_ / "no-such.sock").string()));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=NotificationCenterIntegrationTest.ChildPostsWithoutABus"});
    ASSERT_TRUE(child.waitForFinished(5000));
    const std::string output = child.readAll().toStdString();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << output;
    EXPECT_EQ(child.exitCode(), 0) << output;
    EXPECT_NE(output.find("[       OK ] NotificationCenterIntegrationTest.ChildPostsWithoutABus"), std::string::npos)
        << output;
    EXPECT_EQ(notifyCalls().size(), 0);
}

TEST_F(NotificationCenterIntegrationTest, ChildPostsWithoutABus) {
    if (!std::getenv(kChildSwitch)) GTEST_SKIP() << "runs as the child of WithoutASessionBusPostingDoesNothing";
    application();
    FreedesktopNotificationCenter center;
    center.post({.identifier = "message-1", .title = "Bike", .body = "hello"});
    center.post({.identifier = "message-1", .title = "Bike", .body = "hello",
                 .sound = LocalNotification::Sound::critical});
    EXPECT_FALSE(runUntil([] { return false; }, 100ms));
    EXPECT_FALSE(QDBusConnection::sessionBus().isConnected());
}

}  // namespace
}  // namespace corvane
