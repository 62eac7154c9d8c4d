// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "CorvaneModelFixture.h"
#include "app/HomeAssistantEntities.h"
#include "app/HomeAssistantLink.h"
#include "app/HomeAssistantPublisher.h"
#include "app/MqttBrokerAddress.h"
#include "support/FakeDefaultsStore.h"
#include "support/FakeNotificationCenter.h"
#include "support/ManualEventLoop.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

struct FakeMqttClient final : MqttClient {
    struct Message {
        std::string topic;
        std::string payload;
        bool retain;
    };
    void connect(const MqttConnectionSettings& given, Handlers given_handlers) override {
        settings = given;
        handlers = std::move(given_handlers);
        ++attempts;
    }
    bool publish(const std::string& topic, const std::string& payload, bool retain) override {
        sent.push_back({topic, payload, retain});
        return true;
    }
    void disconnect() override { ++disconnects; }

    MqttConnectionSettings settings;
    Handlers handlers;
    int attempts = 0;
    int disconnects = 0;
    std::vector<Message> sent;
};

struct HomeAssistantPublisherTest : ::testing::Test {
    void connectTo(const std::string& url = "mqtt://broker.lan") {
        publisher.configure({url, std::string("ha"), std::string("secret"), {}, "desk"});
    }

    ManualEventLoop loop;
    FakeMqttClient client;
    FakeNotificationCenter desktop;
    HomeAssistantPublisher publisher{loop, client, desktop};
};

TEST_F(HomeAssistantPublisherTest, ConnectsWithWillAndPublishesDiscoveryAndRetainedStateOnEveryConnect) {
    EXPECT_EQ(publisher.statusText(), "Not configured");
    connectTo("mqtts://broker.lan");
    EXPECT_EQ(client.settings.host, "broker.lan");
    EXPECT_EQ(client.settings.port, 8883);
    EXPECT_TRUE(client.settings.tls);
    EXPECT_EQ(client.settings.username, "ha");
    EXPECT_EQ(client.settings.password, "secret");
    EXPECT_EQ(client.settings.willTopic, "corvane/desk/availability");
    EXPECT_EQ(client.settings.willPayload, "offline");

    publisher.setState("guard/state", "armed");
    EXPECT_TRUE(client.sent.empty()) << "nothing goes out before the broker accepted";
    client.handlers.connected();
    EXPECT_EQ(publisher.statusText(), "Connected");
    ASSERT_EQ(client.sent.size(), 3U);
    EXPECT_EQ(client.sent[0].topic, "corvane/desk/availability");
    EXPECT_EQ(client.sent[0].payload, "online");
    EXPECT_EQ(client.sent[1].topic, "corvane/desk/guard/state");
    EXPECT_EQ(client.sent[2].topic, "homeassistant/event/corvane_desk/alert/config");
    const auto discovery = nlohmann::json::parse(client.sent[2].payload);
    EXPECT_EQ(discovery["~"], "corvane/desk");
    EXPECT_EQ(discovery["unique_id"], "corvane_desk_alert");
    for (const auto& message : client.sent) EXPECT_TRUE(message.retain) << message.topic;

    client.sent.clear();
    client.handlers.disconnected("lost");
    loop.advance(1s);
    client.handlers.connected();
    EXPECT_EQ(client.sent.size(), 3U) << "a reconnect sends availability, discovery and state again";
}

TEST_F(HomeAssistantPublisherTest, WhatChangesWhileTheBrokerIsAwayArrivesOnReconnectAndRemovalsClearTheBroker) {
    connectTo();
    publisher.setEntity("sensor", "bt_a", {{"state_topic", "~/bluetooth/a/signal"}});
    publisher.setState("bluetooth/a/signal", "-60");
    client.handlers.connected();
    client.sent.clear();
    publisher.setState("bluetooth/a/signal", "-60");
    EXPECT_TRUE(client.sent.empty()) << "an unchanged state is not sent again";

    client.handlers.disconnected("lost");
    publisher.setState("guard/state", "a");
    publisher.setState("guard/state", "b");
    publisher.removeEntity("sensor", "bt_a");
    publisher.clearState("bluetooth/a/signal");
    loop.advance(1s);
    client.handlers.connected();
    std::map<std::string, std::string> retained;
    for (const auto& message : client.sent) {
        if (message.retain) retained[message.topic] = message.payload;
    }
    EXPECT_EQ(retained["corvane/desk/guard/state"], "b");
    EXPECT_EQ(retained.at("homeassistant/sensor/corvane_desk/bt_a/config"), "");
    EXPECT_EQ(retained.at("corvane/desk/bluetooth/a/signal"), "");

    client.sent.clear();
    client.handlers.disconnected("lost");
    loop.advance(2s);
    client.handlers.connected();
    for (const auto& message : client.sent) EXPECT_FALSE(message.payload.empty()) << message.topic << " cleared once only";
}

TEST_F(HomeAssistantPublisherTest, RetriesWithDoublingBackOffThatResetsOnSuccess) {
    connectTo();
    client.handlers.disconnected("refused");
    EXPECT_EQ(publisher.statusText(), "Cannot reach the broker · retrying");
    const auto attemptsAfter = [&](std::chrono::milliseconds wait) {
        loop.advance(wait);
        return client.attempts;
    };
    EXPECT_EQ(attemptsAfter(999ms), 1);
    EXPECT_EQ(attemptsAfter(1ms), 2);
    client.handlers.disconnected("refused");
    EXPECT_EQ(attemptsAfter(1999ms), 2);
    EXPECT_EQ(attemptsAfter(1ms), 3);
    for (int i = 0; i < 10; ++i) {
        client.handlers.disconnected("refused");
        loop.advance(HomeAssistantPublisher::kLongestRetry);
    }
    EXPECT_EQ(client.attempts, 13) << "the wait never grows past the longest";
    client.handlers.connected();
    client.handlers.disconnected("lost");
    EXPECT_EQ(attemptsAfter(1s), 14);

    publisher.configure({"", {}, {}, {}, "desk"});
    EXPECT_EQ(publisher.statusText(), "Not configured");
    loop.advance(1h);
    EXPECT_EQ(client.attempts, 14);
}

TEST_F(HomeAssistantPublisherTest, AlertsFanOutAsEventsWhileEveryNotificationReachesTheDesktop) {
    const LocalNotification alert{"guard", "Bike moved", "It is 40 m away", LocalNotification::Sound::critical};
    const LocalNotification message{"msg", "Ana", "hello", LocalNotification::Sound::standard, LocalNotification::Kind::meshMessage};
    publisher.post(alert);
    EXPECT_EQ(desktop.posted.size(), 1U) << "not configured still notifies the desktop";

    connectTo();
    client.handlers.connected();
    client.sent.clear();
    publisher.post(alert);
    publisher.post(message);
    EXPECT_EQ(desktop.posted, (std::vector{alert, alert, message}));
    ASSERT_EQ(client.sent.size(), 1U) << "mesh messages are not alerts";
    EXPECT_EQ(client.sent[0].topic, "corvane/desk/alert");
    EXPECT_FALSE(client.sent[0].retain);
    const auto event = nlohmann::json::parse(client.sent[0].payload);
    EXPECT_EQ(event["event_type"], "alert");
    EXPECT_EQ(event["title"], "Bike moved");
    EXPECT_EQ(event["body"], "It is 40 m away");
}

struct HomeAssistantEntitiesTest : CorvaneModelFixture {
    std::string lastState(const std::string& topic) const {
        std::string found = "(none)";
        for (const auto& message : client.sent) {
            if (message.topic == topic) found = message.payload;
        }
        return found;
    }
    void browse(std::vector<BrowsedService> services) {
        services_.deliver("_ipp._tcp", std::move(services));
        loop_.runPending();
    }

    FakeMqttClient client;
    HomeAssistantPublisher publisher{loop_, client, notifications_};
};

// Away only once the grace delay has run out, with nothing else happening
// meanwhile; forgotten when no longer tracked.
TEST_F(HomeAssistantEntitiesTest, NetworkDeviceStaysHomeThroughItsGraceDelay) {
    start();
    HomeAssistantEntities entities(model(), loop_, publisher, "hall");
    publisher.configure({"mqtt://broker.lan", {}, {}, {}, "desk"});
    client.handlers.connected();
    model().localNetwork().start();
    browse({{"Office", "_ipp._tcp", "local.", std::nullopt}});
    const std::string id = LocalNetworkDevice::identifier("Office", "local.");
    model().localNetwork().track(id);
    loop_.runPending();
    const std::string topic = "corvane/desk/network/" + HomeAssistantPublisher::objectIdentifier(id) + "/state";
    EXPECT_EQ(lastState(topic), "home");

    browse({});
    loop_.advance(std::chrono::seconds(static_cast<int>(LocalNetworkDevice::kDefaultLossAlertDelay)) - 1s);
    EXPECT_EQ(lastState(topic), "home");
    loop_.advance(2s);
    EXPECT_EQ(lastState(topic), "not_home");

    model().localNetwork().stopTracking(id);
    loop_.runPending();
    EXPECT_EQ(lastState(topic), "");
    EXPECT_EQ(lastState("homeassistant/device_tracker/corvane_desk/net_" + HomeAssistantPublisher::objectIdentifier(id) +
                        "/config"),
              "");
}

// The password never reaches the defaults, and goes only to the broker it was kept for.
TEST_F(HomeAssistantPublisherTest, PasswordIsKeptInAPrivateFileForItsBrokerOnly) {
    const auto folder = std::filesystem::temp_directory_path() / ("corvane-ha-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    const std::string file = (folder / "config" / "password.json").string();
    FakeDefaultsStore defaults;
    {
        HomeAssistantLink link(publisher, defaults, file, "desk");
        ASSERT_TRUE(link.apply({"mqtt://broker.lan", "ha", "s3cret", "", "hall"}));
    }
    for (const auto& [key, value] : defaults.values) {
        const auto* text = std::get_if<std::string>(&value);
        EXPECT_TRUE(text == nullptr || text->find("s3cret") == std::string::npos) << key;
    }
    using std::filesystem::perms;
    EXPECT_EQ(std::filesystem::status(file).permissions(), perms::owner_read | perms::owner_write);
    EXPECT_EQ(std::filesystem::status(folder / "config").permissions(), perms::owner_all);
    HomeAssistantLink link(publisher, defaults, file, "desk");
    EXPECT_EQ(link.settings(), (HomeAssistantLink::Settings{"mqtt://broker.lan", "ha", "s3cret", "", "hall"}));
    link.startForThisRun("mqtt://other.lan");
    EXPECT_FALSE(client.settings.username || client.settings.password);
    link.startForThisRun("mqtt://broker.lan");
    EXPECT_EQ(client.settings.password, "s3cret");
    std::filesystem::remove_all(folder);
}

TEST(MqttBrokerAddressTest, ParsesSchemesPortsAndRejectsTheRest) {
    const auto plain = MqttBrokerAddress::parse("homeassistant.local");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->host, "homeassistant.local");
    EXPECT_EQ(plain->port, 1883);
    EXPECT_FALSE(plain->tls);
    const auto secure = MqttBrokerAddress::parse("mqtts://10.0.0.2:8884/");
    ASSERT_TRUE(secure);
    EXPECT_EQ(secure->host, "10.0.0.2");
    EXPECT_EQ(secure->port, 8884);
    EXPECT_TRUE(secure->tls);
    EXPECT_EQ(MqttBrokerAddress::parse("mqtt://h:65535")->port, 65535);
    for (const char* bad : {"", "http://h", "mqtt://", "mqtt://h:0", "mqtt://h:65536", "mqtt://h:12x", "mqtt://u@h"}) {
        EXPECT_FALSE(MqttBrokerAddress::parse(bad)) << bad;
    }
}

}  // namespace
}  // namespace corvane
