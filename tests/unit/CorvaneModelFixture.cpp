#include "unit/CorvaneModelFixture.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace corvane {
namespace {

namespace fs = std::filesystem;

constexpr double kMetresPerDegree = 111194.92664455873;

fs::path freshRoot() {
    static int counter = 0;
    auto root = fs::temp_directory_path() /
                ("corvane-model-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    fs::remove_all(root);
    fs::create_directories(root / "dev");
    return root;
}

}  // namespace

EnvironmentOverride::EnvironmentOverride(std::initializer_list<std::pair<const char*, std::string>> values) {
    for (const auto& [name, value] : values) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        ::setenv(name, value.c_str(), 1);
    }
}

EnvironmentOverride::~EnvironmentOverride() {
    for (const auto& [name, value] : saved_) {
        if (value) ::setenv(name.c_str(), value->c_str(), 1);
        else ::unsetenv(name.c_str());
    }
}

CorvaneModelFixture::CorvaneModelFixture()
    : base_(loop_.now()),
      root_(freshRoot()),
      devices_(root_ / "dev"),
      data_(root_ / "Halvo Corvane"),
      environment_({{"HALVO_MESHTASTIC_BRIDGE_PATH", "/bin/true"},
                    {"CORVANE_DEVICE_DIR", devices_.string()},
                    {"XDG_DATA_HOME", root_.string()}}) {}

CorvaneModelFixture::~CorvaneModelFixture() {
    model_.reset();
    fs::remove_all(root_);
}

CorvaneModel& CorvaneModelFixture::start() {
    auto makeChild = bridges_.factory();
    model_ = std::make_unique<CorvaneModel>(CorvaneModel::Dependencies{
        .loop = loop_,
        .defaults = defaults_,
        .notifications = notifications_,
        .makeProcess =
            [this, makeChild] {
                bridges_.nextStartFailure = launchFailure_;
                return makeChild();
            },
        .dataFolder = data_.string(),
    });
    loop_.runPending();
    return *model_;
}

CorvaneModel& CorvaneModelFixture::startConnected() {
    addDevice("ttyACM0");
    start();
    acceptConnect(device("ttyACM0"));
    EXPECT_EQ(model_->connectionState(), "Connected");
    return *model_;
}

void CorvaneModelFixture::addDevice(const std::string& name) { std::ofstream(devices_ / name).put('\n'); }

void CorvaneModelFixture::reply(MeshtasticBridgeResponse response, int index) {
    response.requestID = bridge().request(index).requestID;
    emit(response);
}

void CorvaneModelFixture::acceptConnect(const std::string& port, int index) {
    auto response = event(MeshtasticBridgeEvent::connected);
    response.port = port;
    reply(response, index);
    loop_.runPending();
}

void CorvaneModelFixture::emit(const MeshtasticBridgeResponse& response) {
    const auto line = encodeLine(response);
    ASSERT_TRUE(line.has_value());
    bridge().output(*line);
    loop_.runPending();
}

void CorvaneModelFixture::emitNode(const MeshNode& node) {
    auto response = event(MeshtasticBridgeEvent::node);
    response.node = node;
    emit(response);
}

void CorvaneModelFixture::emitMessage(const MeshMessage& message) {
    auto response = event(MeshtasticBridgeEvent::message);
    response.message = message;
    emit(response);
}

void CorvaneModelFixture::emitLocalNode(std::optional<std::uint32_t> number) {
    auto response = event(MeshtasticBridgeEvent::localNode);
    response.localNodeID = number;
    emit(response);
}

MeshtasticBridgeResponse CorvaneModelFixture::event(MeshtasticBridgeEvent kind) {
    MeshtasticBridgeResponse response;
    response.event = kind;
    return response;
}

MeshPosition CorvaneModelFixture::positionAt(std::uint32_t node, double metresNorth, int secondsLater) const {
    return MeshPosition{.id = Uuid::random(),
                        .nodeNumber = node,
                        .latitude = kParkLatitude + metresNorth / kMetresPerDegree,
                        .longitude = kParkLongitude,
                        .altitude = std::nullopt,
                        .timestamp = base_ + std::chrono::seconds(secondsLater)};
}

MeshNode CorvaneModelFixture::makeNode(std::uint32_t number, std::string longName,
                                       std::optional<MeshPosition> position) const {
    MeshNode node;
    node.number = number;
    node.longName = std::move(longName);
    node.lastSeen = base_;
    node.hopsAway = 0;
    node.position = std::move(position);
    return node;
}

MeshMessage CorvaneModelFixture::makeMessage(std::uint32_t packet, std::uint32_t sender, std::string text) const {
    return MeshMessage{.id = Uuid::random(),
                       .packetID = packet,
                       .sender = sender,
                       .recipient = CorvaneModel::kBroadcastNode,
                       .channel = 0,
                       .text = std::move(text),
                       .timestamp = base_,
                       .isOutgoing = false};
}

}  // namespace corvane
