// SPDX-License-Identifier: GPL-3.0-or-later
// KdeConnectPhoneChannel against the project's dbusmock template of the KDE
// Connect daemon on a private bus that each test starts itself.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QDBusArgument>

#include "platform/KdeConnectPhoneChannel.h"
#include "PrivateSystemBus.h"
#include "QtWait.h"

namespace corvane {
namespace {

const QString kService = "org.kde.kdeconnect";
const QString kPixel = "a1b2c3d4_pixel";
const QString kTablet = "e5f6_tablet";
// A paired phone in reach, a paired tablet out of reach, and a computer seen
// on the network but never paired.
const QString kDevices =
    R"({"devices": [{"id": "a1b2c3d4_pixel", "name": "Pixel 7", "reachable": true, "paired": true},
                    {"id": "e5f6_tablet", "name": "Tab S8", "reachable": false, "paired": true},
                    {"id": "f00d_laptop", "name": "Laptop", "reachable": true, "paired": false}]})";

using Phones = std::vector<PairedPhone>;

class KdeConnectIntegrationTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(bus_.isUp()); }

    QProcess* startDaemon() { return bus_.startMock(templatePath("kdeconnect.py"), kService, kDevices); }
    void control(const char* method, const QVariantList& arguments) {
        const auto reply = bus_.call(kService, "/modules/kdeconnect", "org.kde.kdeconnect.Mock", method, arguments);
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    }
    std::vector<std::pair<std::string, std::string>> pings() {
        const auto reply = bus_.call(kService, "/modules/kdeconnect", "org.kde.kdeconnect.Mock", "Pings");
        std::vector<std::pair<std::string, std::string>> result;
        const auto array = reply.arguments().value(0).value<QDBusArgument>();
        array.beginArray();
        while (!array.atEnd()) {
            QString device, message;
            array.beginStructure();
            array >> device >> message;
            array.endStructure();
            result.emplace_back(device.toStdString(), message.toStdString());
        }
        array.endArray();
        return result;
    }
    // The outcome of one send, once it came.
    std::optional<std::optional<std::string>> sendAndWait(KdeConnectPhoneChannel& channel, const QString& phone,
                                                          const std::string& text) {
        std::optional<std::optional<std::string>> outcome;
        channel.send(phone.toStdString(), text, [&outcome](const std::optional<std::string>& error) { outcome = error; });
        runUntil([&outcome] { return outcome.has_value(); });
        return outcome;
    }
    bool waitForPhones(KdeConnectPhoneChannel& channel, const Phones& phones) {
        return runUntil([&] { return channel.isRunning() && channel.phones() == phones; });
    }

    PrivateSystemBus bus_;
};

TEST_F(KdeConnectIntegrationTest, ListsPairedPhonesAndFollowsReachabilityNamesAndPairing) {
    ASSERT_TRUE(startDaemon());
    KdeConnectPhoneChannel channel(bus_.bus());
    int changes = 0;
    channel.setObserver([&changes] { ++changes; });
    ASSERT_TRUE(waitForPhones(channel, {{"a1b2c3d4_pixel", "Pixel 7", true}, {"e5f6_tablet", "Tab S8", false}}))
        << channel.phones().size();
    EXPECT_EQ(changes, 1);

    control("SetReachable", {kTablet, true});
    EXPECT_TRUE(waitForPhones(channel, {{"a1b2c3d4_pixel", "Pixel 7", true}, {"e5f6_tablet", "Tab S8", true}}));
    control("SetReachable", {kPixel, false});
    control("Rename", {kTablet, "Galaxy Tab"});
    EXPECT_TRUE(waitForPhones(channel, {{"e5f6_tablet", "Galaxy Tab", true}, {"a1b2c3d4_pixel", "Pixel 7", false}}));
    control("Pair", {"c3_fairphone", "Fairphone", false});
    control("Unpair", {kTablet});
    EXPECT_TRUE(waitForPhones(channel, {{"c3_fairphone", "Fairphone", false}, {"a1b2c3d4_pixel", "Pixel 7", false}}));
}

TEST_F(KdeConnectIntegrationTest, PingsCarryTheTextAndAMissingPluginIsAnError) {
    ASSERT_TRUE(startDaemon());
    KdeConnectPhoneChannel channel(bus_.bus());
    ASSERT_TRUE(runUntil([&] { return channel.isRunning(); }));
    const std::string alert = "Bicycle moved: Two positions place the device outside the marked area. Latest "
                              "distance: about 90 m. «ü» \"quoted\"";
    const auto sent = sendAndWait(channel, kPixel, alert);
    ASSERT_TRUE(sent.has_value());
    EXPECT_EQ(*sent, std::nullopt);
    // Out of reach, the daemon has no ping plugin object for the tablet.
    const auto refused = sendAndWait(channel, kTablet, "never shown");
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->value_or(""), "KDE Connect's Ping plugin is not available for this phone.");
    EXPECT_EQ(pings(), (std::vector<std::pair<std::string, std::string>>{{"a1b2c3d4_pixel", alert}}));
}

TEST_F(KdeConnectIntegrationTest, FollowsTheDaemonLeavingAndComingBack) {
    KdeConnectPhoneChannel channel(bus_.bus());
    int changes = 0;
    channel.setObserver([&changes] { ++changes; });
    // Asked while nothing runs: the daemon is not started for us.
    runUntil([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_FALSE(channel.isRunning());
    EXPECT_EQ(changes, 0);

    QProcess* daemon = startDaemon();
    ASSERT_TRUE(daemon);
    EXPECT_TRUE(waitForPhones(channel, {{"a1b2c3d4_pixel", "Pixel 7", true}, {"e5f6_tablet", "Tab S8", false}}));
    PrivateSystemBus::stop(*daemon);
    EXPECT_TRUE(runUntil([&] { return !channel.isRunning() && channel.phones().empty(); }));
    EXPECT_EQ(changes, 2);
    ASSERT_TRUE(startDaemon());
    EXPECT_TRUE(waitForPhones(channel, {{"a1b2c3d4_pixel", "Pixel 7", true}, {"e5f6_tablet", "Tab S8", false}}));
    EXPECT_EQ(changes, 3);
}

}  // namespace
}  // namespace corvane
