// SPDX-License-Identifier: GPL-3.0-or-later
// LocalNetworkBrowser over AvahiServiceBrowser against real avahi-daemons on
// private buses in network namespaces of the test's own (avahi/harness.sh),
// brought up and torn down by each test. Needs root; skipped otherwise. A
// silent host's departure, minutes long, is the slow end-to-end test's.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include <QDBusConnection>
#include <QDBusError>

#include "app/LocalNetworkBrowser.h"
#include "platform/AvahiServiceBrowser.h"
#include "platform/QtEventLoop.h"
#include "QtWait.h"
#include "support/FakeNotificationCenter.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class LocalNetworkIntegrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "needs root for network namespaces";
        const char* source = std::getenv("CORVANE_SOURCE_DIR");
        ASSERT_NE(source, nullptr) << "run through ctest (CORVANE_SOURCE_DIR names the source tree)";
        ensureApplication();
        static int counter = 0;
        const std::string tag = "cvn" + std::to_string(::getpid()) + "x" + std::to_string(counter++);
        state_ = std::filesystem::temp_directory_path() / ("corvane-" + tag);
        prefix_ = "AVH_PREFIX=" + tag + " AVH_STATE=" + state_.string() + " '" + source +
                  "/tests/integration/avahi/harness.sh' ";
        namespace_ = tag + "-a";
        hostNamespace_ = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    }
    void TearDown() override {
        errorWatch_.reset();
        browser_.reset();
        avahi_.reset();
        QDBusConnection::disconnectFromBus(busName_);
        if (hostNamespace_ >= 0) {
            ::setns(hostNamespace_, CLONE_NEWNET);
            ::close(hostNamespace_);
        }
        if (!state_.empty()) harness("down");
    }

    std::string command(const std::string& arguments) const { return prefix_ + arguments; }
    // The harness's own complaints reach the test's output on standard error.
    int harness(const std::string& arguments) { return std::system((command(arguments) + " >/dev/null").c_str()); }

    // Harness up, this thread moved into node a's namespace (interface
    // indexes are read there), the watcher started on node a's bus. A test
    // goes on only when all of it holds: nothing below may touch a missing browser.
    ::testing::AssertionResult up(const std::string& mode, int objectsPerClient = 1024) {
        if (std::system(("AVH_OBJECTS=" + std::to_string(objectsPerClient) + " " + command("up " + mode) + " >/dev/null").c_str()) != 0) return ::testing::AssertionFailure() << "avahi harness did not come up (" << mode << ")";
        const int target = ::open(("/run/netns/" + namespace_).c_str(), O_RDONLY | O_CLOEXEC);
        const bool entered = target >= 0 && ::setns(target, CLONE_NEWNET) == 0;
        if (target >= 0) ::close(target);
        if (!entered) return ::testing::AssertionFailure() << "cannot enter namespace " << namespace_;
        busName_ = QString::fromStdString(namespace_);
        const auto bus = QDBusConnection::connectToBus("unix:path=" + QString::fromStdString((state_ / "a" / "bus.sock").string()), busName_);
        if (!bus.isConnected()) {
            return ::testing::AssertionFailure() << "no connection to node a's bus: " << bus.lastError().message().toStdString();
        }
        avahi_ = std::make_unique<AvahiServiceBrowser>(bus);
        browser_ = std::make_unique<LocalNetworkBrowser>(LocalNetworkBrowser::Dependencies{
            .loop = loop_, .browser = *avahi_, .notifications = notifications_, .dataFolder = (state_ / "data").string()});
        errorWatch_ = browser_->changed().subscribe([this] {
            if (browser_->errorMessage()) errors_.insert(*browser_->errorMessage());
        });
        browser_->start();
        if (!runUntil([this] { return browser_->state() == "Listening for Bonjour services…"; }, 5s)) {
            return ::testing::AssertionFailure() << "the browser never listened; state: " << browser_->state();
        }
        return ::testing::AssertionSuccess();
    }

    // The listed record, or an empty one.
    LocalNetworkDevice device(const std::string& id) const {
        for (const auto& device : browser_->devices()) {
            if (device.id == id) return device;
        }
        return {};
    }
    bool online(const std::string& id) const { return device(id).isOnline; }
    // Seconds until `id` shows offline, or -1 when it stays online past `limit`.
    double secondsUntilOffline(const std::string& id, std::chrono::milliseconds limit) {
        const auto start = Clock::now();
        if (!runUntil([&] { return !online(id); }, limit)) return -1;
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

    QtEventLoop loop_;
    FakeNotificationCenter notifications_;
    std::unique_ptr<AvahiServiceBrowser> avahi_;
    std::unique_ptr<LocalNetworkBrowser> browser_;
    // Every error message the browser showed, for failures reported in a row.
    std::set<std::string> errors_;
    ChangeSignal::Subscription errorWatch_;
    std::filesystem::path state_;
    std::string prefix_;
    std::string namespace_;
    QString busName_;
    int hostNamespace_ = -1;
};

TEST_F(LocalNetworkIntegrationTest, ServicesComeAndGoAndTheDaemonMayStopAndReturn) {
    ASSERT_TRUE(up("lo"));
    ASSERT_EQ(harness("publish a k1 Kitchen _airplay._tcp 7000 & " + command("publish a k2 Kitchen _raop._tcp 7001") +
                      " & " + command("publish a n1 NAS _smb._tcp 445") + " & wait"),
              0);
    ASSERT_TRUE(runUntil([&] { return online("nas|local.") && device("kitchen|local.").serviceTypes.size() == 2; }, 5s));
    EXPECT_EQ(browser_->devices().size(), 2u);
    EXPECT_EQ(device("kitchen|local.").interfaceNames, std::vector<std::string>{"lo"});

    harness("kill k1 & " + command("kill k2") + " & wait");
    const double goodbye = secondsUntilOffline("kitchen|local.", 3s);
    EXPECT_GE(goodbye, 0);
    EXPECT_LT(goodbye, 2.5);

    // The daemon's stop removes nothing: a false departure would follow.
    harness("daemon-stop a");
    ASSERT_TRUE(runUntil([&] { return browser_->state() == "Local Network scan failed"; }, 3s));
    EXPECT_TRUE(browser_->errorMessage());
    EXPECT_TRUE(online("nas|local."));
    ASSERT_EQ(harness("daemon-start a"), 0);
    ASSERT_EQ(harness("publish a o1 Office _ipp._tcp 631"), 0);
    EXPECT_TRUE(runUntil([&] { return online("office|local.") && !online("nas|local."); }, 6s));
    EXPECT_EQ(browser_->state(), "1 devices available");
}

// Avahi lets a client hold only so many objects: the browsers it refuses are
// each reported, and so is the departure check it refuses for a tracked device.
TEST_F(LocalNetworkIntegrationTest, EveryRefusedBrowserAndARefusedResolverAreReported) {
    ASSERT_TRUE(up("lo", 13));
    auto& errors = errors_;
    ASSERT_TRUE(runUntil([&] { return errors.size() >= 2; }, 3s));
    EXPECT_EQ(errors, (std::set<std::string>{"Avahi could not browse for _googlecast._tcp: Too many objects",
                                             "Avahi could not browse for _spotify-connect._tcp: Too many objects"}));
    ASSERT_EQ(harness("publish a k1 Kitchen _airplay._tcp 7000"), 0);
    ASSERT_TRUE(runUntil([&] { return online("kitchen|local."); }, 5s));
    browser_->setLossAlert(true, "kitchen|local.");
    ASSERT_TRUE(runUntil([&] { return errors.size() == 3; }, 3s));
    EXPECT_EQ(*browser_->errorMessage(),
              "Avahi could not watch Kitchen for departures: Too many objects. If it leaves without a goodbye, "
              "Corvane notices only when its announcement expires, up to 75 minutes later.");
    EXPECT_EQ(browser_->state(), "1 devices available");
}

TEST_F(LocalNetworkIntegrationTest, LinkDownTakesItsServicesAway) {
    ASSERT_TRUE(up("veth"));
    ASSERT_EQ(harness("publish b p1 Printer _ipp._tcp 631"), 0);
    ASSERT_TRUE(runUntil([&] { return online("printer|local."); }, 5s));
    EXPECT_EQ(device("printer|local.").interfaceNames, std::vector<std::string>{"veth-a"});
    ASSERT_EQ(std::system(("ip -n " + namespace_ + " link set veth-a down").c_str()), 0);
    EXPECT_GE(secondsUntilOffline("printer|local.", 3s), 0);
}

}  // namespace
}  // namespace corvane
