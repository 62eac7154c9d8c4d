// SPDX-License-Identifier: GPL-3.0-or-later
// The Bluetooth watcher's adapters against python3-dbusmock on a private
// system bus that each test starts itself: BlueZ with the project's LE
// template, GeoClue2 with the project's template, logind with dbusmock's.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QProcess>

#include "platform/BlueZBluetoothCentral.h"
#include "platform/GeoClueLocationProvider.h"
#include "platform/LogindWakeMonitor.h"
#include "PrivateSystemBus.h"
#include "QtWait.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using State = BluetoothCentralState;

const QString kBlueZ = "org.bluez";

// A BlueZ mock, a central on the same bus recording what it reports, and the
// mock's controls.
class BlueZTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus_.isUp());
        mock_ = bus_.startMock(templatePath("bluez5_le.py"), kBlueZ);
        ASSERT_TRUE(mock_);
    }
    // `owner`: answers as the tracker manager does, stopping the scan when
    // the radio is not ready and starting it again when it is.
    void makeCentral(bool owner = false) {
        central_ = std::make_unique<BlueZBluetoothCentral>(bus_.bus());
        central_->setHandlers({.onStateChange =
                                   [this, owner](State state) {
                                       states_.push_back(state);
                                       if (owner) state == State::poweredOn ? central_->startScan() : central_->stopScan();
                                   },
                               .onAdvertisement = [this](const BluetoothAdvertisement& a) { heard_.push_back(a); },
                               .onFailure = [this](const std::string& text) { failures_.push_back(text); }});
    }
    QDBusMessage mock(const QString& method, const QVariantList& arguments) {
        return bus_.call(kBlueZ, "/", "org.bluez.Mock", method, arguments);
    }
    // How often the adapter was asked `method`, from the mock's call log; the
    // filter of the last SetDiscoveryFilter in `filter_`.
    int adapterCalls(const QString& method, const QString& adapter = "hci0") {
        const auto log = bus_.call(kBlueZ, "/org/bluez/" + adapter, "org.freedesktop.DBus.Mock", "GetCalls")
                             .arguments().value(0).value<QDBusArgument>();
        int count = 0;
        log.beginArray();
        while (!log.atEnd()) {
            quint64 time = 0;
            QString name;
            QVariantList arguments;
            log.beginStructure();
            log >> time >> name >> arguments;
            log.endStructure();
            count += name == method;
            if (name == "SetDiscoveryFilter") filter_ = qdbus_cast<QVariantMap>(arguments.value(0));
        }
        log.endArray();
        return count;
    }
    bool waitForState(State state) {
        return runUntil([&] { return !states_.empty() && states_.back() == state; });
    }
    // Advertises and waits until the central has reported it.
    bool hear(const QString& address, qint16 rssi, const QString& name = {}, const QString& adapter = "hci0") {
        QVariantMap properties;
        if (!name.isEmpty()) properties.insert("Name", name);
        const std::size_t before = heard_.size();
        mock("Advertise", {adapter, address, QVariant::fromValue(rssi), properties});
        return runUntil([&] { return heard_.size() > before; });
    }

    PrivateSystemBus bus_;
    QProcess* mock_ = nullptr;
    std::unique_ptr<BlueZBluetoothCentral> central_;
    std::vector<State> states_;
    std::vector<BluetoothAdvertisement> heard_;
    std::vector<std::string> failures_;
    QVariantMap filter_;
};

TEST_F(BlueZTest, AdvertisementsArriveWithTheirSignalWhileScanningOnAPoweredAdapter) {
    makeCentral();
    ASSERT_TRUE(waitForState(State::unsupported));
    mock("AddAdapter", {QString("hci0"), QString("desk")});
    ASSERT_TRUE(waitForState(State::poweredOn));
    // Remembered by the daemon before the scan: its RSSI is no advertisement.
    mock("AddDevice", {QString("hci0"), QString("11:22:33:44:55:66"), QString("Old")});
    central_->startScan();
    ASSERT_TRUE(runUntil([&] { return adapterCalls("StartDiscovery") == 1; }));
    EXPECT_EQ(adapterCalls("SetDiscoveryFilter"), 1);
    // Only with this filter does bluetoothd report every advertisement.
    EXPECT_EQ(filter_, (QVariantMap{{"Transport", "le"}, {"DuplicateData", true}}));

    ASSERT_TRUE(hear("AA:BB:CC:DD:EE:01", -60, "Keys"));
    ASSERT_TRUE(hear("AA:BB:CC:DD:EE:01", -71));
    ASSERT_TRUE(hear("AA:BB:CC:DD:EE:02", -80));
    EXPECT_EQ(heard_[0].id.string(), "546121C6-9763-5103-85DD-BAE6D703725A");
    EXPECT_EQ(std::tuple(heard_[0].rssi, heard_[0].localName, heard_[0].peripheralName),
              std::tuple(-60, std::optional<std::string>("Keys"), std::optional<std::string>("Keys")));
    EXPECT_EQ(std::pair(heard_[1].id, heard_[1].rssi), std::pair(heard_[0].id, -71));
    // BlueZ's address-form alias is not a name.
    EXPECT_EQ(std::pair(heard_[2].peripheralName, heard_[2].localName), std::pair(std::optional<std::string>(), std::optional<std::string>()));

    // Forgotten by the daemon, the device comes back with its identifier.
    bus_.call(kBlueZ, "/org/bluez/hci0", "org.bluez.Adapter1", "RemoveDevice",
              {QVariant::fromValue(QDBusObjectPath("/org/bluez/hci0/dev_AA_BB_CC_DD_EE_01"))});
    ASSERT_TRUE(hear("AA:BB:CC:DD:EE:01", -62, "Keys"));
    EXPECT_EQ(std::pair(heard_[3].id, heard_[3].rssi), std::pair(heard_[0].id, -62));

    central_->stopScan();
    EXPECT_TRUE(runUntil([&] { return adapterCalls("StopDiscovery") == 1; }));
}

TEST_F(BlueZTest, TheFilterIsSentAgainAfterAPowerCycleAndADaemonRestart) {
    mock("AddAdapter", {QString("hci0"), QString("desk")});
    makeCentral();
    ASSERT_TRUE(waitForState(State::poweredOn));
    central_->startScan();
    ASSERT_TRUE(runUntil([&] { return adapterCalls("StartDiscovery") == 1; }));

    mock("SetPowered", {QString("hci0"), false});
    ASSERT_TRUE(waitForState(State::poweredOff));
    central_->stopScan();
    mock("SetPowered", {QString("hci0"), true});
    ASSERT_TRUE(waitForState(State::poweredOn));
    central_->startScan();
    ASSERT_TRUE(runUntil([&] { return adapterCalls("StartDiscovery") == 2; }));
    EXPECT_EQ(adapterCalls("SetDiscoveryFilter"), 2);

    PrivateSystemBus::stop(*mock_);
    ASSERT_TRUE(waitForState(State::unknown));
    central_->stopScan();
    ASSERT_TRUE(bus_.startMock(templatePath("bluez5_le.py"), kBlueZ));
    mock("AddAdapter", {QString("hci0"), QString("desk")});
    ASSERT_TRUE(waitForState(State::poweredOn));
    central_->startScan();
    ASSERT_TRUE(runUntil([&] { return adapterCalls("StartDiscovery") == 1; }));
    EXPECT_EQ(adapterCalls("SetDiscoveryFilter"), 1);
    // Signals of the new daemon reach the central.
    ASSERT_TRUE(hear("AA:BB:CC:DD:EE:01", -55, "Keys"));
    EXPECT_EQ(heard_[0].rssi, -55);
}

TEST_F(BlueZTest, TheScanMovesWithTheChosenAdapter) {
    mock("AddAdapter", {QString("hci1"), QString("dongle")});
    makeCentral(true);
    ASSERT_TRUE(waitForState(State::poweredOn));
    ASSERT_TRUE(runUntil([&] { return adapterCalls("StartDiscovery", "hci1") == 1; }));

    // A lower-numbered adapter comes: the scan leaves the dongle for it.
    mock("AddAdapter", {QString("hci0"), QString("desk")});
    ASSERT_TRUE(runUntil([&] { return adapterCalls("StartDiscovery", "hci0") == 1; }));
    EXPECT_EQ(std::vector(states_.end() - 2, states_.end()), (std::vector{State::resetting, State::poweredOn}));
    EXPECT_EQ(std::pair(adapterCalls("StopDiscovery", "hci1"), adapterCalls("SetDiscoveryFilter", "hci0")), std::pair(1, 1));
    ASSERT_TRUE(hear("AA:BB:CC:DD:EE:01", -60, {}, "hci0"));

    // It goes again, the dongle stays: back to the dongle, filter first.
    mock("RemoveAdapterWithDevices", {QString("hci0")});
    ASSERT_TRUE(runUntil([&] { return adapterCalls("StartDiscovery", "hci1") == 2; }));
    EXPECT_EQ(adapterCalls("SetDiscoveryFilter", "hci1"), 2);
    ASSERT_TRUE(hear("AA:BB:CC:DD:EE:02", -70, {}, "hci1"));
    EXPECT_EQ(heard_[1].rssi, -70);
    EXPECT_TRUE(failures_.empty());
}

TEST_F(BlueZTest, AFailedStartIsReportedAndMistypedValuesAreIgnored) {
    mock("AddAdapter", {QString("hci0"), QString("desk")});
    makeCentral();
    ASSERT_TRUE(waitForState(State::poweredOn));
    mock("FailDiscovery", {QString("hci0"), QString("org.bluez.Error.Failed"), QString("Operation failed")});
    central_->startScan();
    ASSERT_TRUE(runUntil([&] { return !failures_.empty(); }));
    EXPECT_EQ(failures_, std::vector<std::string>{"Bluetooth scanning could not start: Operation failed"});
    EXPECT_EQ(states_.back(), State::poweredOn);

    mock("FailDiscovery", {QString("hci0"), QString(), QString()});
    central_->startScan();
    ASSERT_TRUE(runUntil([&] { return adapterCalls("StartDiscovery") == 2; }));
    ASSERT_TRUE(hear("AA:BB:CC:DD:EE:01", -60));
    mock("EmitMistypedRSSI", {QString("hci0"), QString("AA:BB:CC:DD:EE:01")});
    ASSERT_TRUE(hear("AA:BB:CC:DD:EE:01", -75));
    EXPECT_EQ(heard_.size(), 2u);
    EXPECT_EQ(heard_.back().rssi, -75);
}

TEST(BlueZAccessTest, AccessDeniedReadsAsUnauthorized) {
    PrivateSystemBus bus("<deny send_destination=\"org.bluez\"/>");
    ASSERT_TRUE(bus.isUp());
    ASSERT_TRUE(bus.startMock(templatePath("bluez5_le.py"), kBlueZ));
    BlueZBluetoothCentral central(bus.bus());
    std::optional<State> state;
    central.setHandlers({.onStateChange = [&state](State reported) { state = reported; }, .onAdvertisement = {}, .onFailure = {}});
    ASSERT_TRUE(runUntil([&] { return state.has_value(); }));
    EXPECT_EQ(*state, State::unauthorized);
}

// A provider on a GeoClue double, recording what it reports.
struct GeoClueRun {
    explicit GeoClueRun(PrivateSystemBus& bus) : location(bus.bus(), 2s) {
        location.setHandlers({.onAuthorizationChange = [this](LocationAuthorization a) { answers.push_back(a); },
                              .onLocations = [this](const std::vector<LocationFix>& f) { fixes.insert(fixes.end(), f.begin(), f.end()); },
                              .onError = [this](const LocationError& e) { errors.push_back(e); }});
    }
    bool authorize() {
        location.requestWhenInUseAuthorization();
        return runUntil([&] { return !answers.empty(); });
    }
    bool fix() {
        const auto before = fixes.size() + errors.size();
        location.requestLocation();
        return runUntil([&] { return fixes.size() + errors.size() > before; });
    }
    GeoClueLocationProvider location;
    std::vector<LocationAuthorization> answers;
    std::vector<LocationFix> fixes;
    std::vector<LocationError> errors;
};

// GeoClue hands out clients to anyone; its agent rules refuse at Start.
TEST(GeoClueTest, AnAuthorizedClientDeliversOneFixAndADeniedOneSaysWhyAtStart) {
    for (const bool denied : {false, true}) {
        PrivateSystemBus bus;
        ASSERT_TRUE(bus.isUp());
        ASSERT_TRUE(bus.startMock(templatePath("geoclue2.py"), "org.freedesktop.GeoClue2",
                                  denied ? R"({"denied": true})" : R"({"latitude": 48.5, "longitude": 9.25})"));
        GeoClueRun run(bus);
        ASSERT_TRUE(run.authorize());
        ASSERT_TRUE(run.fix());
        if (denied) {
            EXPECT_EQ(run.answers, (std::vector{LocationAuthorization::authorized, LocationAuthorization::denied}));
            ASSERT_EQ(run.errors.size(), 1u);
            EXPECT_EQ(run.errors[0].code, 1);
            EXPECT_TRUE(run.fixes.empty());
            continue;
        }
        EXPECT_EQ(run.answers, std::vector{LocationAuthorization::authorized});
        ASSERT_EQ(run.fixes.size(), 1u);
        EXPECT_EQ(std::tuple(run.fixes[0].latitude, run.fixes[0].longitude, run.fixes[0].horizontalAccuracy),
                  std::tuple(48.5, 9.25, 65.0));
        EXPECT_LT(std::chrono::abs(std::chrono::system_clock::now() - run.fixes[0].timestamp), 10s);
        // GeoClue's agent shows the desktop id; street accuracy and 50 m spare the battery.
        const auto client = bus.call("org.freedesktop.GeoClue2", "/org/freedesktop/GeoClue2/Client/1",
                                     "org.freedesktop.DBus.Properties", "GetAll", {QString("org.freedesktop.GeoClue2.Client")})
                                .arguments().value(0).value<QDBusArgument>();
        QVariantMap asked;
        client >> asked;
        EXPECT_EQ(std::tuple(asked["DesktopId"].toString(), asked["RequestedAccuracyLevel"].toUInt(),
                             asked["DistanceThreshold"].toUInt()),
                  std::tuple(QString("corvane"), 6u, 50u));
    }
}

// GeoClue quits when idle and the next one knows none of the old clients;
// a client it forgot is asked for again.
TEST(GeoClueTest, AFixIsStillHadAfterTheIdleDaemonQuitAndANewOneStarted) {
    PrivateSystemBus bus;
    ASSERT_TRUE(bus.isUp());
    QProcess* first = bus.startMock(templatePath("geoclue2.py"), "org.freedesktop.GeoClue2", R"({"idle_exit": 2})");
    ASSERT_TRUE(first);
    GeoClueRun run(bus);
    ASSERT_TRUE(run.authorize());
    ASSERT_TRUE(run.fix());
    ASSERT_TRUE(first->waitForFinished(5000));
    ASSERT_TRUE(bus.startMock(templatePath("geoclue2.py"), "org.freedesktop.GeoClue2", R"({"latitude": 1.5})"));
    ASSERT_TRUE(run.fix());
    ASSERT_EQ(run.fixes.size(), 2u) << (run.errors.empty() ? "" : run.errors.back().description);
    EXPECT_EQ(run.fixes[1].latitude, 1.5);
    // A daemon that dropped the client without leaving answers UnknownObject.
    bus.call("org.freedesktop.GeoClue2", "/org/freedesktop/GeoClue2/Manager", "org.freedesktop.DBus.Mock", "RemoveObject",
             {QVariant::fromValue(QDBusObjectPath("/org/freedesktop/GeoClue2/Client/1"))});
    ASSERT_TRUE(run.fix());
    EXPECT_EQ(std::pair(run.fixes.size(), run.errors.size()), std::pair(std::size_t{3}, std::size_t{0}));
    EXPECT_EQ(run.answers, std::vector{LocationAuthorization::authorized});
}

TEST(LogindTest, OnlyTheEndOfASleepIsAWake) {
    PrivateSystemBus bus;
    ASSERT_TRUE(bus.isUp());
    ASSERT_TRUE(bus.startMock("logind", "org.freedesktop.login1"));
    LogindWakeMonitor monitor(bus.bus());
    int wakes = 0;
    monitor.setHandler([&wakes] { ++wakes; });
    // Uneven on purpose: a monitor that read the argument the wrong way round would count two.
    for (const bool sleeping : {true, true, false}) {
        bus.call("org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.DBus.Mock", "EmitSignal",
                 {QString("org.freedesktop.login1.Manager"), QString("PrepareForSleep"), QString("b"),
                  QVariantList{sleeping}});
    }
    EXPECT_TRUE(runUntil([&wakes] { return wakes >= 1; }));
    runUntil([] { return false; }, 100ms);  // room for a second, which must not come
    EXPECT_EQ(wakes, 1);
}

}  // namespace
}  // namespace corvane
