// SPDX-License-Identifier: GPL-3.0-or-later
// LocalNetworkBrowser on virtual time with a scripted service browser, a
// recording notification centre and a counting file writer over a temp folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <tuple>

#include "app/LocalNetworkBrowser.h"
#include "support/FakeNotificationCenter.h"
#include "support/FakeServiceBrowser.h"
#include "support/ManualEventLoop.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

BrowsedService service(std::string name, std::string type, std::optional<std::string> interfaceName = "eth0") {
    return {std::move(name), std::move(type), "local.", std::move(interfaceName)};
}

class LocalNetworkBrowserTest : public ::testing::Test {
protected:
    LocalNetworkBrowserTest() { std::filesystem::create_directories(folder_); }
    ~LocalNetworkBrowserTest() override {
        browser_.reset();
        std::filesystem::remove_all(folder_);
    }

    LocalNetworkBrowser& make() {
        browser_ = std::make_unique<LocalNetworkBrowser>(LocalNetworkBrowser::Dependencies{
            .loop = loop_, .browser = services_, .notifications = notifications_, .dataFolder = folder_.string(),
            .writeFile = [this](const std::string& path, std::string_view bytes) {
                ++writes_;
                return writeResult_ ? *writeResult_ : PrivateFile::writeIfChanged(path, bytes);
            }});
        return *browser_;
    }
    LocalNetworkBrowser& started() {
        make().start();
        return *browser_;
    }
    void deliver(const std::string& type, std::vector<BrowsedService> results) {
        services_.deliver(type, std::move(results));
        loop_.runPending();
    }
    Strings names() const {
        Strings result;
        for (const auto& device : browser_->devices()) result.push_back(device.name + (device.isOnline ? "+" : "-"));
        return result;
    }
    const LocalNetworkDevice& device(const std::string& name) const {
        for (const auto& device : browser_->devices()) {
            if (device.name == name) return device;
        }
        throw std::out_of_range(name);
    }
    std::string status(const std::string& name) const { return browser_->monitoringStatus(device(name)); }
    // The device "Kitchen" tracked, armed and heard online in this scan.
    void armedKitchenOnline() {
        deliver("_airplay._tcp", {service("Kitchen", "_airplay._tcp")});
        browser_->setLossAlert(true, "kitchen|local.");
    }

    const std::filesystem::path folder_ = std::filesystem::temp_directory_path() /
        ("corvane-network-test-" + std::to_string(::getpid()));
    ManualEventLoop loop_;
    FakeServiceBrowser services_{loop_};
    FakeNotificationCenter notifications_;
    std::optional<Result<Done, FileError>> writeResult_;
    int writes_ = 0;
    std::unique_ptr<LocalNetworkBrowser> browser_;
};

TEST_F(LocalNetworkBrowserTest, StateTextsFollowTheScanAndLateResultsAreDropped) {
    auto& browser = make();
    EXPECT_EQ(browser.state(), "Local Network is ready");
    browser.start();
    EXPECT_EQ(std::tuple(browser.state(), services_.startedTypes.size(), services_.startedTypes[14]),
              std::tuple("Looking for devices…", 15u, "_spotify-connect._tcp"));
    deliver("_ssh._tcp", {});
    EXPECT_EQ(browser.state(), "Listening for Bonjour services…");
    deliver("_ssh._tcp", {service("NAS", "_ssh._tcp")});
    EXPECT_EQ(browser.state(), "1 devices available");
    // Browsing goes on without the departure check: said, state kept.
    services_.fail("late departures", ServiceBrowserState::Kind::degraded);
    loop_.runPending();
    EXPECT_EQ(std::tuple(browser.state(), browser.errorMessage()),
              std::tuple("1 devices available", std::optional<std::string>("late departures")));
    services_.fail("Daemon connection failed");
    loop_.runPending();
    EXPECT_EQ(std::tuple(browser.state(), browser.errorMessage()),
              std::tuple("Local Network scan failed", std::optional<std::string>("Daemon connection failed")));
    services_.deliver("_http._tcp", {service("Web", "_http._tcp")});
    browser.stop();
    loop_.runPending();
    EXPECT_EQ(std::tuple(browser.state(), names()), std::tuple("Scan stopped", Strings{"NAS-"}));
    browser.forget("nas|local.");
    browser.stop();
    EXPECT_EQ(browser.state(), "Local Network is ready");
}

TEST_F(LocalNetworkBrowserTest, ServicesFoldIntoDevicesThatStayOnlineWhileAnyKeyLives) {
    auto& browser = started();
    loop_.advance(10s);
    const Timestamp heard = loop_.now();
    // IPv4/IPv6 twins arrive as equal entries; "printer 10" is "Printer 10" folded.
    deliver("_airplay._tcp", {service("Kitchen", "_airplay._tcp"), service("Kitchen", "_airplay._tcp"),
                              service("Kitchen", "_airplay._tcp", "wlan0"), service("Printer 10", "_airplay._tcp")});
    deliver("_raop._tcp", {service("Kitchen", "_raop._tcp", std::nullopt)});
    deliver("_ipp._tcp", {service("printer 10", "_ipp._tcp"), service("Printer 2", "_ipp._tcp")});
    EXPECT_EQ(names(), (Strings{"Kitchen+", "Printer 2+", "Printer 10+"}));
    EXPECT_EQ(std::tuple(device("Kitchen").serviceTypes, device("Kitchen").interfaceNames),
              std::tuple(Strings{"_airplay._tcp", "_raop._tcp"}, Strings{"eth0", "wlan0"}));
    EXPECT_EQ(device("Printer 10").serviceTypes, (Strings{"_airplay._tcp", "_ipp._tcp"}));

    loop_.advance(10s);
    deliver("_airplay._tcp", {});
    EXPECT_EQ(names(), (Strings{"Kitchen+", "Printer 2+", "Printer 10+"}));
    EXPECT_EQ(device("Kitchen").lastSeen, heard);
    loop_.advance(10s);
    deliver("_raop._tcp", {});
    EXPECT_EQ(names(), (Strings{"Printer 2+", "Printer 10+", "Kitchen-"}));
    EXPECT_EQ(device("Kitchen").lastSeen, loop_.now());
    EXPECT_EQ(browser.state(), "2 devices available");

    browser.track("printer 10|local.");
    browser.forget("printer 10|local.");
    EXPECT_EQ(names(), (Strings{"Printer 2+", "Kitchen-"}));
    deliver("_ssh._tcp", {});
    EXPECT_EQ(names(), (Strings{"Printer 2+", "Kitchen-"}));
    deliver("_ipp._tcp", {service("printer 10", "_ipp._tcp"), service("Printer 2", "_ipp._tcp")});
    EXPECT_EQ(names(), (Strings{"Printer 2+", "printer 10+", "Kitchen-"}));
    EXPECT_FALSE(device("printer 10").isTracked);
}

TEST_F(LocalNetworkBrowserTest, DepartureAfterGraceAndOneReturn) {
    auto& browser = started();
    deliver("_http._tcp", {service("Ghost", "_http._tcp")});
    browser.setLossAlert(true, "ghost|local.");
    browser.stop();
    browser.start();
    EXPECT_EQ(status("Ghost"), "Waiting to see this device online");
    armedKitchenOnline();
    EXPECT_EQ(services_.confirmed, (std::set<std::string>{"ghost|local.", "kitchen|local."}));
    EXPECT_EQ(status("Kitchen"), "Online · alarm armed");
    deliver("_airplay._tcp", {});
    EXPECT_EQ(status("Kitchen"), "Offline · waiting for grace period");
    // A wall-clock jump is not time spent away.
    loop_.jumpWallClock(2h);
    loop_.advance(300s);
    deliver("_ssh._tcp", {});  // news of other devices does not restart the grace period
    loop_.advance(299s);
    EXPECT_TRUE(notifications_.posted.empty());
    loop_.advance(5s);
    ASSERT_EQ(notifications_.posted.size(), 1u);
    EXPECT_EQ(notifications_.posted[0],
              (LocalNotification{"local-network-left-kitchen|local.", "Device left the network",
                                 "Kitchen has not been available on the Local Network for 10 minutes."}));
    EXPECT_EQ(status("Kitchen"), "Offline · alert sent");
    loop_.advance(1h);
    deliver("_airplay._tcp", {service("Kitchen", "_airplay._tcp")});
    deliver("_airplay._tcp", {service("Kitchen", "_airplay._tcp")});
    ASSERT_EQ(notifications_.posted.size(), 2u);
    EXPECT_EQ(notifications_.posted[1],
              (LocalNotification{"local-network-returned-kitchen|local.", "Device returned to the network",
                                 "Kitchen is available on the Local Network again."}));
    EXPECT_EQ(notifications_.authorizationRequests, 2);
}

TEST_F(LocalNetworkBrowserTest, DelayChangeRestartsOnlyARunningGracePeriod) {
    auto& browser = started();
    armedKitchenOnline();
    deliver("_airplay._tcp", {});
    loop_.advance(10min);
    ASSERT_EQ(notifications_.posted.size(), 1u);
    browser.setLossAlertDelay(30, "kitchen|local.");
    EXPECT_EQ(std::tuple(device("Kitchen").lossAlertDelay, status("Kitchen")),
              std::tuple(60.0, "Offline · waiting for grace period"));
    loop_.advance(59s);
    EXPECT_EQ(notifications_.posted.size(), 1u);
    loop_.advance(1s);
    ASSERT_EQ(notifications_.posted.size(), 2u);
    EXPECT_EQ(notifications_.posted[1].body, "Kitchen has not been available on the Local Network for 1 minute.");

    // Not heard in this scan: a delay change must not start a departure.
    browser.stop();
    browser.start();
    browser.setLossAlertDelay(120, "kitchen|local.");
    loop_.advance(10min);
    EXPECT_EQ(std::tuple(notifications_.posted.size(), status("Kitchen")),
              std::tuple(2u, "Waiting to see this device online"));
    browser.stopTracking("kitchen|local.");
    EXPECT_TRUE(services_.confirmed.empty());
}

TEST_F(LocalNetworkBrowserTest, DurationTextBoundaries) {
    const std::vector<std::pair<double, std::string>> cases{
        {60, "1 minute"},    {119, "1 minute"},  {120, "2 minutes"}, {3599, "59 minutes"}, {3600, "1 hour"},
        {7199, "1 hour"},    {7200, "2 hours"},  {86399, "23 hours"}, {86400, "1 day"},    {200000, "1 day"}};
    for (const auto& [seconds, text] : cases) EXPECT_EQ(LocalNetworkBrowser::durationText(seconds), text) << seconds;
}

TEST_F(LocalNetworkBrowserTest, SavesAreCoalescedAndFailuresShownWithTheListKept) {
    auto& browser = started();
    for (int index = 0; index < 40; ++index) {
        services_.deliver("_ssh._tcp", {service("Host " + std::to_string(index), "_ssh._tcp")});
    }
    loop_.runPending();
    EXPECT_EQ(writes_, 1);
    const auto stored = LocalNetworkDevice::decodeFile(*PrivateFile::read(browser.storageURL()));
    ASSERT_TRUE(stored);
    EXPECT_EQ(std::pair(stored->size(), stored->front().isOnline), std::pair(std::size_t{40}, false));

    writeResult_ = fail(FileError{.code = 28, .message = "No space left on device"});
    browser.track("host 3|local.");
    browser.track("host 4|local.");
    browser.track("nobody|local.");
    loop_.runPending();
    EXPECT_EQ(std::tuple(writes_, browser.errorMessage()),
              std::tuple(2, std::optional<std::string>(
                                "Known Local Network devices could not be saved: No space left on device")));
    EXPECT_TRUE(device("Host 4").isTracked);
}

TEST_F(LocalNetworkBrowserTest, LoadsOfflineAndKeepsAnUndecodableFileAside) {
    auto& first = started();
    deliver("_ssh._tcp", {service("NAS", "_ssh._tcp")});
    first.setLossAlertDelay(900, "nas|local.");
    loop_.runPending();
    browser_.reset();
    make();
    EXPECT_EQ(std::tuple(names(), device("NAS").lossAlertDelay), std::tuple(Strings{"NAS-"}, 900.0));

    // Undecodable, or there but unreadable: kept aside, never overwritten.
    const auto keptAside = [this](const std::function<void(const std::string&)>& damage) {
        browser_.reset();
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
        damage(folder_ / "local-network-devices.json");
        auto& browser = make();
        EXPECT_TRUE(browser.devices().empty());
        browser.start();
        deliver("_ssh._tcp", {service("NAS", "_ssh._tcp")});
        int kept = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
            kept += entry.path().filename().string().starts_with("local-network-devices.json.corrupt-") ? 1 : 0;
        }
        return kept == 1 && LocalNetworkDevice::decodeFile(*PrivateFile::read(browser.storageURL()))->size() == 1;
    };
    EXPECT_TRUE(keptAside([](const std::string& path) { std::ofstream(path) << R"([{"id":"x"}])"; }));
    EXPECT_TRUE(keptAside([](const std::string& path) { std::filesystem::create_directory(path); }));
    EXPECT_TRUE(keptAside([](const std::string& path) {
        std::ofstream(path) << "[]";
        std::filesystem::resize_file(path, PrivateFile::kReadLimit + 1);
    }));
}

TEST_F(LocalNetworkBrowserTest, TheLastSaveOutlivesTheBrowserAndStaleTemporariesGoAtTheFirstWrite) {
    const auto stale = folder_ / ".local-network-devices.json.tmp-a1B2c3";
    std::ofstream(stale) << "interrupted";
    started();
    deliver("_ssh._tcp", {service("NAS", "_ssh._tcp")});
    EXPECT_FALSE(std::filesystem::exists(stale));
    const auto lastSeen = [this] {
        return LocalNetworkDevice::decodeFile(*PrivateFile::read((folder_ / "local-network-devices.json").string()))
            ->front().lastSeen;
    };
    // Stopped as the window closes, then gone before the loop turns again.
    loop_.advance(60s);
    browser_->stop();
    browser_.reset();
    EXPECT_EQ(lastSeen(), loop_.now());
    // Quit by signal while scanning.
    started();
    deliver("_ssh._tcp", {service("NAS", "_ssh._tcp")});
    loop_.advance(60s);
    browser_.reset();
    EXPECT_EQ(lastSeen(), loop_.now());
}

TEST_F(LocalNetworkBrowserTest, ForgettingShrinksTheNameCachesButKeepsWhatIsLive) {
    auto& browser = started();
    deliver("_ssh._tcp", {service("A", "_ssh._tcp"), service("B", "_ssh._tcp")});
    deliver("_smb._tcp", {service("C", "_smb._tcp")});
    const std::size_t full = browser.cachedNameCount();
    deliver("_ssh._tcp", {});
    browser.forget("a|local.");
    browser.forget("c|local.");
    // A went silent and is gone; C still announces and comes back.
    EXPECT_EQ(browser.cachedNameCount(), full - 3);
    deliver("_smb._tcp", {service("C", "_smb._tcp")});
    EXPECT_EQ(names(), (Strings{"C+", "B-"}));
}

}  // namespace
}  // namespace corvane
