// SPDX-License-Identifier: GPL-3.0-or-later
// bluetooth.dbusToModel: a PropertiesChanged carrying a new RSSI, emitted by
// the BlueZ stand-in on a private bus, until the watcher's nearby entry shows
// it (BlueZ adapter, advertisement, finder-mode handling, observers). With
// --reference: the same emission until a bare QtDBus slot receives it
// (prints "RESULT <median microseconds>"). With --wakeups: how often the
// loop thread wakes while scanning with nothing nearby, and in finder mode at
// 50 advertisements a second (INFO lines).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include "app/BluetoothTrackerManager.h"
#include "platform/BlueZBluetoothCentral.h"
#include "platform/DBusSignalRelay.h"
#include "platform/QtEventLoop.h"
#include "support/FakeBluetoothPlatform.h"
#include "support/FakeDefaultsStore.h"
#include "support/FakeNotificationCenter.h"
#include "../tests/integration/QtWait.h"

namespace {

using namespace corvane;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const QString kDevicePath = "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_01";

// Runs the loop until `done` holds, tested each time the loop has handled
// its events and is about to sleep: no polling timer blurs the latency.
bool runUntilHandled(const std::function<bool()>& done, std::chrono::milliseconds limit = 3s) {
    if (done()) return true;
    QEventLoop loop;
    const auto connection = QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                                             &loop, [&] {
                                                 if (done()) loop.quit();
                                             });
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(connection);
    return done();
}

// Runs the loop for `duration` with no timer of its own but the end.
void runFor(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

// A private bus with the BlueZ stand-in, one powered adapter and one device
// it knows. Everything started here ends with the object.
class BlueZRig {
public:
    BlueZRig() {
        const auto config = folder_ + "/bus.conf";
        std::ofstream(config) << "<busconfig><type>system</type><listen>unix:path=" << folder_
                              << "/bus.sock</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                                 "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                                 "<allow own=\"*\"/><allow user=\"*\"/></policy></busconfig>";
        daemon_.start("dbus-daemon", {QString::fromStdString("--config-file=" + config), "--nofork", "--nopidfile",
                                      "--print-address=1"});
        if (!daemon_.waitForStarted(3000) || !daemon_.waitForReadyRead(3000)) return;
        const QString address = QString::fromUtf8(daemon_.readLine().trimmed());
        bus_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, "corvane-bench"));
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DBUS_SYSTEM_BUS_ADDRESS", address);
        mock_.setProcessEnvironment(environment);
        mock_.start("/usr/bin/python3", {"-m", "dbusmock", "--system", "-t",
                                         CORVANE_SOURCE_DIR "/tests/integration/templates/bluez5_le.py"});
        ok_ = mock_.waitForStarted(3000) &&
              runUntil([&] { return bus_->interface()->isServiceRegistered("org.bluez").value(); }, 5s) &&
              call("AddAdapter", {QString("hci0"), QString("bench")}) &&
              call("AddDevice", {QString("hci0"), QString("AA:BB:CC:DD:EE:01"), QString("Keys")});
    }
    ~BlueZRig() {
        mock_.kill();
        mock_.waitForFinished(2000);
        // Closed while the daemon still runs: libdbus aborts on a private
        // connection that is dropped without being closed.
        if (bus_) QDBusConnection::disconnectFromBus("corvane-bench");
        daemon_.kill();
        daemon_.waitForFinished(2000);
        std::filesystem::remove_all(folder_);
    }

    bool ok() const { return ok_; }
    QDBusConnection& bus() { return *bus_; }

    bool call(const QString& method, const QVariantList& arguments) {
        auto message = QDBusMessage::createMethodCall("org.bluez", "/", "org.bluez.Mock", method);
        message.setArguments(arguments);
        return bus_->call(message, QDBus::Block, 3000).type() == QDBusMessage::ReplyMessage;
    }
    // Asks the stand-in to emit the RSSI change; returns without waiting.
    void emitRSSI(qint16 rssi) {
        auto message = QDBusMessage::createMethodCall("org.bluez", kDevicePath, "org.freedesktop.DBus.Mock", "EmitSignal");
        QVariantMap changed{{"RSSI", QVariant::fromValue(rssi)}};
        message.setArguments({QString("org.freedesktop.DBus.Properties"), QString("PropertiesChanged"),
                              QString("sa{sv}as"),
                              QVariantList{QVariant::fromValue(QDBusVariant(QString("org.bluez.Device1"))),
                                           QVariant::fromValue(QDBusVariant(QVariant(changed))),
                                           QVariant::fromValue(QDBusVariant(QStringList{}))}});
        bus_->asyncCall(message);
    }

private:
    static std::string makeFolder() {
        std::string pattern = "/tmp/corvane-bench-bluez-XXXXXX";
        return ::mkdtemp(pattern.data());
    }
    std::string folder_ = makeFolder();
    QProcess daemon_;
    QProcess mock_;
    std::unique_ptr<QDBusConnection> bus_;
    bool ok_ = false;
};

// The watcher on the real adapter, finding the rig's device.
struct Watcher {
    explicit Watcher(BlueZRig& rig)
        : central(rig.bus()),
          manager(loop, defaults, notifications,
                  {central, fakes.location, fakes.wake, fakes.sound, fakes.scripts,
                   (std::filesystem::temp_directory_path() / ("corvane-bench-bt-" + std::to_string(::getpid()))).string()}) {}
    bool startFinding(BlueZRig& rig) {
        if (!runUntil([&] { return central.state() == BluetoothCentralState::poweredOn; })) return false;
        manager.startScanning();
        runFor(200ms);  // filter and discovery answered
        rig.emitRSSI(-60);
        if (!runUntil([&] { return !manager.devices().empty(); })) return false;
        manager.startFinding(manager.devices().front().id);
        return true;
    }
    int shownRSSI() const { return manager.devices().empty() ? 0 : manager.devices().front().rssi; }

    QtEventLoop loop;
    FakeDefaultsStore defaults;
    FakeNotificationCenter notifications;
    FakeBluetoothPlatform fakes;
    BlueZBluetoothCentral central;
    BluetoothTrackerManager manager;
};

void dbusToModel(benchmark::State& state) {
    BlueZRig rig;
    if (!rig.ok()) return state.SkipWithError("BlueZ stand-in did not start");
    Watcher watcher(rig);
    if (!watcher.startFinding(rig)) return state.SkipWithError("the watcher did not hear the device");
    qint16 rssi = -50;
    for (auto _ : state) {
        rssi = static_cast<qint16>(rssi == -90 ? -50 : rssi - 1);
        rig.emitRSSI(rssi);
        if (!runUntilHandled([&] { return watcher.shownRSSI() == rssi; })) return state.SkipWithError("change not shown");
    }
}
BENCHMARK(dbusToModel)->UseRealTime()->Unit(benchmark::kMicrosecond);

int reference(int count) {
    BlueZRig rig;
    if (!rig.ok()) return 1;
    int received = 0;
    DBusSignalRelay relay(rig.bus(), [&received](const QDBusMessage&) { ++received; });
    relay.listen("org.bluez", kDevicePath, "org.freedesktop.DBus.Properties", "PropertiesChanged");
    std::vector<double> micros;
    for (int i = 0; i < count; ++i) {
        const int before = received;
        const auto start = Clock::now();
        rig.emitRSSI(static_cast<qint16>(-50 - i % 40));
        if (!runUntilHandled([&] { return received > before; })) return 1;
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(micros.begin(), micros.end());
    std::printf("INFO bluetooth.dbusToModel ref bare QtDBus signal receipt, %d signals, min %.1fus\n", count, micros[0]);
    std::printf("RESULT %.3f\n", micros[micros.size() / 2]);
    return 0;
}

// Voluntary context switches of this (the loop) thread: each is one wake.
long wakeups() {
    std::ifstream status("/proc/thread-self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("voluntary_ctxt_switches:")) return std::stol(line.substr(24));
    }
    return 0;
}

int measureWakeups(int seconds) {
    BlueZRig rig;
    if (!rig.ok()) return 1;
    Watcher watcher(rig);
    if (!runUntil([&] { return watcher.central.state() == BluetoothCentralState::poweredOn; })) return 1;
    watcher.manager.startScanning();
    runFor(300ms);
    long before = wakeups();
    runFor(std::chrono::seconds(seconds));
    std::printf("INFO bluetooth idle scan: %.2f loop wake-ups/s with nothing nearby\n",
                static_cast<double>(wakeups() - before) / seconds);
    if (!watcher.startFinding(rig)) return 1;
    // Fifty advertisements a second, sent from a timer of this thread.
    QTimer sender;
    qint16 rssi = -50;
    QObject::connect(&sender, &QTimer::timeout, [&] {
        rssi = static_cast<qint16>(rssi == -90 ? -50 : rssi - 1);
        rig.emitRSSI(rssi);
    });
    sender.start(20);
    runFor(300ms);
    before = wakeups();
    runFor(std::chrono::seconds(seconds));
    std::printf("INFO bluetooth finder at 50 advertisements/s: %.1f loop wake-ups/s (sender timer 50/s, replies 50/s, "
                "signals 50/s, finder tick 4/s included)\n",
                static_cast<double>(wakeups() - before) / seconds);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QtEventLoop::preferUnixDispatcher();
    QCoreApplication application(argc, argv);
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--reference") return reference(i + 1 < argc ? std::atoi(argv[i + 1]) : 2000);
        if (argument == "--wakeups") return measureWakeups(i + 1 < argc ? std::atoi(argv[i + 1]) : 3);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
