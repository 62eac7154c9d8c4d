// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the CorvaneModel tests share: a model on virtual time with map-backed defaults, a recording notification
// centre and scripted bridge children, its device and data folders in a fresh temp folder. The bridge executable
// is /bin/true: it only has to exist, the fake factory runs nothing. Helpers play the bridge's part.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <memory>

#include "app/CorvaneModel.h"
#include "support/FakeBluetoothPlatform.h"
#include "support/FakeBridgeProcess.h"
#include "support/FakeDefaultsStore.h"
#include "support/FakeDeviceFolderWatcher.h"
#include "support/FakeNotificationCenter.h"
#include "support/FakePhoneChannel.h"
#include "support/FakeServiceBrowser.h"
#include "support/ManualEventLoop.h"

namespace corvane {

using Event = MeshtasticBridgeEvent;
using Response = MeshtasticBridgeResponse;
// The connection state and the error text, as a window shows them together.
using Shown = std::pair<std::string, std::optional<std::string>>;

class CorvaneModelFixture : public ::testing::Test {
protected:
    CorvaneModelFixture() {
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_ / "dev");
        // The variables only steer this test program's lookups; the destructor clears them.
        ::setenv("HALVO_MESHTASTIC_BRIDGE_PATH", "/bin/true", 1);
        ::setenv("CORVANE_DEVICE_DIR", (root_ / "dev").c_str(), 1);
        ::setenv("XDG_DATA_HOME", root_.c_str(), 1);
    }
    ~CorvaneModelFixture() override {
        model_.reset();
        for (const char* name : {"HALVO_MESHTASTIC_BRIDGE_PATH", "CORVANE_DEVICE_DIR", "XDG_DATA_HOME"}) ::unsetenv(name);
        std::filesystem::remove_all(root_);
    }

    // Builds the model from the current defaults and lets its start-up run.
    CorvaneModel& start() {
        model_ = std::make_unique<CorvaneModel>(CorvaneModel::Dependencies{
            .loop = loop_, .defaults = defaults_, .notifications = notifications_, .serviceBrowser = services_,
            .makeProcess = [this, makeChild = bridges_.factory()] {
                bridges_.nextStartFailure = launchFailure_;
                return makeChild();
            },
            .dataFolder = (root_ / "Halvo Corvane").string(), .deviceFolder = (root_ / "Corvane").string(),
            .deviceWatcher = &deviceWatcher_,
            .bluetooth = bluetooth_.ports((root_ / "Corvane").string()), .phone = &phone_});
        loop_.runPending();
        return *model_;
    }
    // start() with one listed device, answered with a successful connect.
    CorvaneModel& startConnected() {
        addDevice("ttyACM0");
        start();
        acceptConnect(device("ttyACM0"));
        EXPECT_EQ(model_->connectionState(), "Connected");
        return *model_;
    }
    CorvaneModel& model() { return *model_; }
    Shown shown() const { return {model_->connectionState(), model_->errorMessage()}; }

    void addDevice(const std::string& name) { std::ofstream(device(name)).put('\n'); }
    std::string deviceFolder() const { return (root_ / "dev").string(); }
    std::string device(const std::string& name) const { return (root_ / "dev" / name).string(); }
    std::string dataFile(const std::string& name) const { return (root_ / "Halvo Corvane" / name).string(); }
    FakeBridgeProcess::Child& bridge() { return bridges_.last(); }
    std::size_t launches() const { return bridges_.children.size(); }
    // Makes every following launch fail with `text` (absent: launches work).
    void failLaunches(std::optional<std::string> text) { launchFailure_ = std::move(text); }

    // A line from the current child: unsolicited, or the answer to its request `index`.
    void emit(const Response& response) {
        const auto line = encodeLine(response);
        ASSERT_TRUE(line.has_value());
        bridge().output(*line);
        loop_.runPending();
    }
    void reply(Response response, int index = -1) {
        response.requestID = bridge().request(index).requestID;
        emit(response);
    }
    void acceptConnect(const std::string& port, int index = -1) {
        reply(news(Event::connected, [&](Response& r) { r.port = port; }), index);
    }
    void emitNode(const MeshNode& node) { emit(news(Event::node, [&](Response& r) { r.node = node; })); }
    void emitMessage(const MeshMessage& message) { emit(news(Event::message, [&](Response& r) { r.message = message; })); }
    void emitLocalNode(std::optional<std::uint32_t> number) {
        emit(news(Event::localNode, [&](Response& r) { r.localNodeID = number; }));
    }
    // A bridge line of kind `event`, its other fields set by `fill`.
    static Response news(Event event, const std::function<void(Response&)>& fill = [](Response&) {}) {
        Response response;
        response.event = event;
        fill(response);
        return response;
    }

    // A fix `metresNorth` of the park point (a metre is 1/111194.93 degree on the model's sphere), `secondsLater`.
    MeshPosition positionAt(std::uint32_t node, double metresNorth, int secondsLater) const {
        return {.id = Uuid::random(), .nodeNumber = node, .latitude = 52.52 + metresNorth / 111194.92664455873,
                .longitude = 13.405, .altitude = std::nullopt, .timestamp = base_ + std::chrono::seconds(secondsLater), .precisionBits = {}};
    }
    MeshNode makeNode(std::uint32_t number, std::string longName, std::optional<MeshPosition> position = {}) const {
        return {.number = number, .longName = std::move(longName), .shortName = {}, .hardware = {}, .batteryLevel = {},
                .voltage = {}, .signalToNoise = {}, .hopsAway = 0, .lastSeen = base_, .position = std::move(position)};
    }
    MeshMessage makeMessage(std::uint32_t packet, std::uint32_t sender, std::string text) const {
        return {.id = Uuid::random(), .packetID = packet, .sender = sender, .recipient = CorvaneModel::kBroadcastNode,
                .channel = 0, .text = std::move(text), .timestamp = base_, .isOutgoing = false};
    }

    ManualEventLoop loop_;
    FakeDefaultsStore defaults_;
    FakeNotificationCenter notifications_;
    FakeServiceBrowser services_{loop_};
    FakeBridgeFactory bridges_;
    FakeDeviceFolderWatcher deviceWatcher_;
    FakeBluetoothPlatform bluetooth_;
    FakePhoneChannel phone_;
    const Timestamp base_ = loop_.now();

private:
    inline static int counter_ = 0;
    const std::filesystem::path root_ = std::filesystem::temp_directory_path() /
        ("corvane-model-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
    std::optional<std::string> launchFailure_;
    std::unique_ptr<CorvaneModel> model_;
};

}  // namespace corvane
