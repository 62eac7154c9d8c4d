#pragma once
// What the CorvaneModel tests share: a model on virtual time, wired to map-
// backed defaults, a recording notification centre and scripted bridge
// children, with its device folder and data folder in a fresh temp folder.
// The bridge executable is /bin/true: it only has to exist, since the fake
// factory never runs anything. Helpers play the bridge's part and build the
// records the tests feed in.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/CorvaneModel.h"
#include "support/FakeBridgeProcess.h"
#include "support/FakeDefaultsStore.h"
#include "support/FakeNotificationCenter.h"
#include "support/ManualEventLoop.h"

namespace corvane {

// Sets environment variables for its lifetime and restores them afterwards.
class EnvironmentOverride {
public:
    EnvironmentOverride(std::initializer_list<std::pair<const char*, std::string>> values);
    ~EnvironmentOverride();
    EnvironmentOverride(const EnvironmentOverride&) = delete;
    EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

class CorvaneModelFixture : public ::testing::Test {
protected:
    // Where the parked positions of the tests lie; one metre north is
    // 1/111194.93 of a degree on the model's sphere.
    static constexpr double kParkLatitude = 52.52;
    static constexpr double kParkLongitude = 13.405;

    CorvaneModelFixture();
    ~CorvaneModelFixture() override;

    // Builds the model from the current defaults and lets its start-up run.
    CorvaneModel& start();
    // start() with one listed device, answered with a successful connect.
    CorvaneModel& startConnected();
    CorvaneModel& model() { return *model_; }

    void addDevice(const std::string& name);
    std::string device(const std::string& name) const { return (devices_ / name).string(); }
    std::string dataFile(const std::string& name) const { return (data_ / name).string(); }

    FakeBridgeProcess::Child& bridge() { return bridges_.last(); }
    std::size_t launches() const { return bridges_.children.size(); }
    // Makes every following launch fail with `text` (absent: launches work).
    void failLaunches(std::optional<std::string> text) { launchFailure_ = std::move(text); }

    // Answers request `index` of the current child.
    void reply(MeshtasticBridgeResponse response, int index = -1);
    void acceptConnect(const std::string& port, int index = -1);
    // An unsolicited line from the current child.
    void emit(const MeshtasticBridgeResponse& response);
    void emitNode(const MeshNode& node);
    void emitMessage(const MeshMessage& message);
    void emitLocalNode(std::optional<std::uint32_t> number);

    static MeshtasticBridgeResponse event(MeshtasticBridgeEvent kind);
    // A fix `metresNorth` of the park point, `secondsLater` after `base`.
    MeshPosition positionAt(std::uint32_t node, double metresNorth, int secondsLater) const;
    MeshNode makeNode(std::uint32_t number, std::string longName, std::optional<MeshPosition> position = {}) const;
    MeshMessage makeMessage(std::uint32_t packet, std::uint32_t sender, std::string text) const;

    ManualEventLoop loop_;
    FakeDefaultsStore defaults_;
    FakeNotificationCenter notifications_;
    FakeBridgeFactory bridges_;
    Timestamp base_;

private:
    std::filesystem::path root_;
    std::filesystem::path devices_;
    std::filesystem::path data_;
    EnvironmentOverride environment_;
    std::optional<std::string> launchFailure_;
    std::unique_ptr<CorvaneModel> model_;
};

}  // namespace corvane
