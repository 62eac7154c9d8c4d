// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CorvaneModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "core/DoubleText.h"
#include "core/MeshMath.h"
#include "core/MeshTextLimit.h"
#include "core/NetworkRadioAddress.h"
#include "core/TextCompare.h"
#include "core/TextTrim.h"
#include "core/UserFolders.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

constexpr auto kReconnectDelay = 5s;
constexpr auto kSettingsRereadDelay = 3s;

constexpr std::string_view kArmedWaiting = "Armed · waiting for movement";
constexpr std::string_view kNetworkRadiosKey = "networkRadios";
constexpr std::string_view kNoPositionMarked = "No position marked";
// The read after an apply is answered only once the radio has restarted.
constexpr std::string_view kWaitingForRestart = "Applied · radio restarting, reading back…";

// Distances are shown in whole metres, truncated toward zero.
std::string wholeMetres(double distance) {
    if (!std::isfinite(distance)) return "?";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.0f", std::trunc(distance));
    return buffer;
}

}  // namespace

CorvaneModel::CorvaneModel(Dependencies dependencies)
    : loop_(dependencies.loop),
      defaults_(dependencies.defaults),
      phoneAlerts_(dependencies.loop, dependencies.defaults, dependencies.phone),
      alertForwarder_(dependencies.notifications, phoneAlerts_),
      notifications_(alertForwarder_),
      wakeFanOut_(dependencies.bluetooth.wake),
      bluetoothTrackers_(dependencies.loop, dependencies.defaults, alertForwarder_,
                         {.central = dependencies.bluetooth.central,
                          .location = dependencies.bluetooth.location,
                          .wake = wakeFanOut_,
                          .sound = dependencies.bluetooth.sound,
                          .scripts = dependencies.bluetooth.scripts,
                          .dataFolder = std::move(dependencies.bluetooth.dataFolder)}),
      store_(dependencies.dataFolder + "/positions.json"),
      messageStore_(dependencies.dataFolder + "/messages.json"),
      deviceWatcher_(dependencies.deviceWatcher),
      meshHealth_(dependencies.loop, dependencies.defaults, alertForwarder_,
                  [this](std::uint32_t number) { return displayName(number); }),
      radio_(dependencies.loop, std::move(dependencies.makeProcess), dependencies.radioTimeouts),
      localNetwork_({.loop = dependencies.loop,
                     .browser = dependencies.serviceBrowser,
                     .notifications = alertForwarder_,
                     .dataFolder = dependencies.deviceFolder}) {
    const double storedRadius = defaults_.number("parkingRadius").value_or(0);
    setParkingRadius(storedRadius == 0 ? 75.0 : storedRadius);

    if (const auto stored = defaults_.string("guardProfile")) {
        if (const auto profile = guardProfileFromRaw(*stored)) setGuardProfile(*profile);
    }

    if (!defaults_.number("guardedNode")) {
        if (const auto bikeNode = defaults_.number("bikeNode")) {
            defaults_.setNumber("guardedNode", *bikeNode);
            setGuardProfile(GuardProfile::bicycle);
        }
    }

    if (const auto data = defaults_.data("parkedPosition")) {
        const std::string_view text(reinterpret_cast<const char*>(data->data()), data->size());
        parkedPosition_ = decodeMeshPositionWithReferenceDate(text);
    }
    if (parkedPosition_) parkingStatus_ = kArmedWaiting;

    // The watch follows the guard and the radio link from whatever changed them.
    healthContext_ = changed_.subscribe([this] {
        meshHealth_.setGuard({.node = guardedNodeID(), .armed = parkedPosition_.has_value(), .profile = guardProfile_});
        meshHealth_.setRadioConnected(connectedPort_.has_value());
    });
    healthWake_ = wakeFanOut_.woke.subscribe([this] { meshHealth_.didWake(); });

    radio_.setStopHandler([this](const MeshRadioError& error) { bridgeStopped(error); });
    startUpTask_ = loop_.singleShot(EventLoop::Duration::zero(), [this] { startUp(); });
}

CorvaneModel::~CorvaneModel() {
    // What arrived during the read is written rather than lost.
    if (!storesLoaded_ && !untilStoresLoaded_.empty()) {
        storesRead(readStoredRecords(store_.reader(), messageStore_.reader()));
    }
    if (watchingDevices_) deviceWatcher_->stop();
}

std::optional<std::string> CorvaneModel::defaultDataFolder() {
    const auto data = userDataFolder();
    if (!data) return std::nullopt;
    return *data + "/Halvo Corvane";
}

template <typename T, typename U>
void CorvaneModel::assign(T& field, U&& value) {
    field = std::forward<U>(value);
    changed_.notify();
}

CorvaneModel::StoredRecords CorvaneModel::readStoredRecords(const std::function<PositionStore::Snapshot()>& positions,
                                                            const std::function<MessageStore::Snapshot()>& messages) {
    StoredRecords read{.positions = positions(), .messages = messages(), .history = {}, .messageLog = {}};
    read.history = read.positions.records;
    read.messageLog = read.messages.records;
    return read;
}

void CorvaneModel::readStores() {
    loop_.runInBackground([this, alive = std::weak_ptr<char>(lifetime_), readPositions = store_.reader(),
                           readMessages = messageStore_.reader()]() -> EventLoop::Callback {
        auto read = std::make_shared<StoredRecords>(readStoredRecords(readPositions, readMessages));
        return [this, alive, read] {
            if (alive.lock()) storesRead(std::move(*read));
        };
    });
}

void CorvaneModel::storesRead(StoredRecords read) {
    if (storesLoaded_) return;
    storesLoaded_ = true;
    store_.adopt(std::move(read.positions));
    messageStore_.adopt(std::move(read.messages));
    history_ = std::move(read.history);
    messages_ = std::move(read.messageLog);
    changed_.notify();
    for (const auto& work : std::exchange(untilStoresLoaded_, {})) work();
}

void CorvaneModel::startUp() {
    // From the loop's first turn, so the read does not compete with the
    // building of the window for the cores.
    readStores();
    refreshPorts();
    connect(std::nullopt, false);
}

// MARK: Published fields the windows write

void CorvaneModel::setSelectedPort(std::string port) { assign(selectedPort_, std::move(port)); }
void CorvaneModel::setSelectedNodeID(std::optional<std::uint32_t> node) { assign(selectedNodeID_, node); }
void CorvaneModel::setErrorMessage(std::optional<std::string> message) { assign(errorMessage_, std::move(message)); }
void CorvaneModel::setMessageRecipient(std::optional<std::uint32_t> node) { assign(messageRecipient_, node); }
void CorvaneModel::setMessageChannel(std::uint32_t channel) { assign(messageChannel_, channel); }

// A radius that is not a number or infinite could not be stored, and the
// model and the settings file would disagree about it: refused.
void CorvaneModel::setParkingRadius(double radius) {
    if (!std::isfinite(radius)) return;
    assign(parkingRadius_, radius);
    defaults_.setNumber("parkingRadius", radius);
}

void CorvaneModel::setGuardProfile(GuardProfile profile) {
    assign(guardProfile_, profile);
    defaults_.setString("guardProfile", rawValue(profile));
}

// MARK: Computed views

std::optional<std::uint32_t> CorvaneModel::guardedNodeID() const {
    const auto stored = defaults_.number("guardedNode");
    if (!stored || !std::isfinite(*stored) || *stored < 0 || *stored >= 4294967296.0) return std::nullopt;
    return static_cast<std::uint32_t>(*stored);
}

// The remote nodes other than the guarded one, split by whether the local
// radio hears them directly.
std::vector<MeshNode> CorvaneModel::remoteNodes(bool directlyHeard) const {
    const auto guarded = guardedNodeID();
    const Timestamp now = loop_.now();
    std::vector<MeshNode> result;
    for (const auto& node : nodes_) {
        if (node.number == localNodeID_ || node.number == guarded) continue;
        const bool heard = node.reachability(now, std::chrono::duration<double>(kNearbyWindow).count()) ==
                           MeshNodeReachability::directlyHeard();
        if (heard == directlyHeard) result.push_back(node);
    }
    return result;
}

std::vector<MeshNode> CorvaneModel::directlyHeardNodes() const { return remoteNodes(true); }

std::vector<MeshNode> CorvaneModel::otherMeshNodes() const { return remoteNodes(false); }

std::string CorvaneModel::displayName(std::uint32_t number) const {
    if (number == kBroadcastNode) return "Everyone";
    if (const auto it = nodeIndex_.find(number); it != nodeIndex_.end()) {
        if (!it->second.longName.empty()) return it->second.longName;
        if (!it->second.shortName.empty()) return it->second.shortName;
    }
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "!%08x", number);
    return buffer;
}

std::vector<MeshPosition> CorvaneModel::positions(std::uint32_t number) const {
    std::vector<MeshPosition> result;
    std::copy_if(history_.begin(), history_.end(), std::back_inserter(result),
                 [number](const MeshPosition& position) { return position.nodeNumber == number; });
    return result;
}

// MARK: Connection lifecycle

void CorvaneModel::refreshPorts() {
    // Network radios follow the USB ones; only a USB radio is picked on its
    // own, a network radio only once the user chose it (it may be far away,
    // or someone else's).
    std::vector<std::string> ports = MeshRadio::availablePorts();
    usbPortCount_ = ports.size();
    for (auto& radio : networkRadios()) ports.push_back(std::move(radio));
    assign(availablePorts_, std::move(ports));
    const std::string saved = defaults_.string("serialPort").value_or("");
    const auto listed = [this](const std::string& port) {
        return std::find(availablePorts_.begin(), availablePorts_.end(), port) != availablePorts_.end();
    };
    if (listed(saved)) {
        setSelectedPort(saved);
    } else if (usbPortCount_ == 1) {
        setSelectedPort(availablePorts_.front());
    } else if (!listed(selectedPort_)) {
        setSelectedPort({});
    }
}

std::vector<std::string> CorvaneModel::networkRadios() const {
    return decodeNetworkRadios(defaults_.string(kNetworkRadiosKey).value_or(""));
}

void CorvaneModel::addNetworkRadio(const std::string& port) {
    if (!isNetworkRadioPort(port)) return;
    auto radios = networkRadios();
    if (std::find(radios.begin(), radios.end(), port) == radios.end()) radios.push_back(port);
    defaults_.setString(kNetworkRadiosKey, encodeNetworkRadios(radios));
    refreshPorts();
    setSelectedPort(port);
}

void CorvaneModel::removeNetworkRadio(const std::string& port) {
    auto radios = networkRadios();
    const auto kept = std::remove(radios.begin(), radios.end(), port);
    if (kept == radios.end()) return;
    radios.erase(kept, radios.end());
    defaults_.setString(kNetworkRadiosKey, encodeNetworkRadios(radios));
    if (defaults_.string("serialPort") == port) defaults_.remove("serialPort");
    refreshPorts();
}

void CorvaneModel::connect(std::optional<std::string> port, bool showErrors) {
    reconnectTask_.cancel();
    const std::int64_t generation = ++connectionGeneration_;
    refreshPorts();

    if (!port) port = radioForThisRun_;
    if (!port) {
        if (!selectedPort_.empty()) {
            port = selectedPort_;
        } else if (usbPortCount_ != 1) {
            assign(connectedPort_, std::nullopt);
            assign(connectionState_, std::string(availablePorts_.empty() ? "USB radio not connected"
                                                                         : "Choose a USB radio in Settings"));
            updateDeviceWatch();
            return;
        }
    }

    assign(connectionState_, std::string("Connecting…"));
    assign(errorMessage_, std::nullopt);
    updateDeviceWatch();

    radio_.connect(
        port, [this](const MeshtasticBridgeResponse& response) { handle(response); },
        [this, generation, showErrors](Result<std::string, MeshRadioError> result) {
            if (generation != connectionGeneration_) return;
            if (result) {
                connectedGeneration_ = generation;
                assign(connectedPort_, *result);
                setSelectedPort(*result);
                if (!radioForThisRun_) defaults_.setString("serialPort", *result);
                assign(connectionFailure_, std::nullopt);
                assign(connectionState_, std::string("Connected"));
                return;
            }
            assign(connectedPort_, std::nullopt);
            if (result.error().kind() == MeshRadioError::Kind::noRadio) {
                assign(connectionFailure_, std::nullopt);
                assign(connectionState_, std::string("USB base not connected"));
                assign(errorMessage_, std::nullopt);
                updateDeviceWatch();
                return;
            }
            assign(connectionFailure_, result.error().description());
            assign(connectionState_, std::string("USB connection failed"));
            if (showErrors) assign(errorMessage_, result.error().description());
            scheduleReconnect();
        });
}

void CorvaneModel::scheduleReconnect() {
    reconnectTask_ = loop_.singleShot(kReconnectDelay, [this] { connect(std::nullopt, false); });
    updateDeviceWatch();
}

// Waiting for a radio (none listed, or retrying) is when one plugged in
// should be used at once. A user's own disconnect is not waiting: it stays.
void CorvaneModel::updateDeviceWatch() {
    if (deviceWatcher_ == nullptr) return;
    const bool waiting = connectionState_ == "USB radio not connected" ||
                         connectionState_ == "USB base not connected" || reconnectTask_.holdsTimer();
    if (waiting == watchingDevices_) return;
    watchingDevices_ = waiting;
    if (waiting) {
        deviceWatcher_->start(MeshRadio::deviceFolder(), [this] { deviceFolderChanged(); });
    } else {
        deviceWatcher_->stop();
    }
}

void CorvaneModel::deviceFolderChanged() {
    const auto ports = MeshRadio::availablePorts();
    const bool appeared = std::any_of(ports.begin(), ports.end(), [this](const std::string& port) {
        return std::find(availablePorts_.begin(), availablePorts_.end(), port) == availablePorts_.end();
    });
    if (appeared) connect(std::nullopt, false);
}

// A bridge that stops on its own after a connection was made is a connection
// failure, not a connection that still works: show it and try again. Stops
// during an attempt (the old bridge ending while a new connect replaces it
// included) are left to that attempt's own failure path.
void CorvaneModel::bridgeStopped(const MeshRadioError& error) {
    if (!connectedPort_ || connectedGeneration_ != connectionGeneration_) return;
    ++connectionGeneration_;
    assign(connectedPort_, std::nullopt);
    assign(connectionFailure_, error.description());
    assign(connectionState_, std::string("USB connection failed"));
    assign(errorMessage_, error.description());
    scheduleReconnect();
}

void CorvaneModel::disconnect() {
    reconnectTask_.cancel();
    ++connectionGeneration_;
    radio_.disconnect([](const Result<Done, MeshRadioError>&) {});
    assign(connectedPort_, std::nullopt);
    assign(connectionFailure_, std::nullopt);
    assign(connectionState_, std::string("Disconnected"));
    updateDeviceWatch();
}

// MARK: Bridge events

void CorvaneModel::handle(const MeshtasticBridgeResponse& response) {
    switch (response.event) {
    case MeshtasticBridgeEvent::ready:
    case MeshtasticBridgeEvent::connected:
    case MeshtasticBridgeEvent::sent: return;
    case MeshtasticBridgeEvent::disconnected:
        assign(connectedPort_, std::nullopt);
        assign(connectionState_, response.status.value_or("Disconnected"));
        return;
    case MeshtasticBridgeEvent::status:
        if (response.status) assign(connectionState_, *response.status);
        return;
    case MeshtasticBridgeEvent::localNode: assign(localNodeID_, response.localNodeID); return;
    case MeshtasticBridgeEvent::node:
        if (response.node) upsert(*response.node);
        return;
    case MeshtasticBridgeEvent::channel:
        if (response.channel) {
            const std::uint32_t index = *response.channel;
            channels_[index] = response.channelName.value_or(index == 0 ? "Primary" : "Channel " + std::to_string(index));
            changed_.notify();
        }
        return;
    case MeshtasticBridgeEvent::message:
        if (response.message) receiveMessage(*response.message);
        return;
    case MeshtasticBridgeEvent::radioSettings:
        assign(loraConfig_, response.settings);
        assign(radioSettingsState_, std::string("Loaded from radio"));
        return;
    case MeshtasticBridgeEvent::error: assign(errorMessage_, response.error); return;
    }
}

// Guarded node first, then long names in the localized standard order. Names
// that compare equal fall back to node numbers, which makes the order total:
// updating one entry in place gives exactly what a full sort would.
bool CorvaneModel::comesBefore(const MeshNode& a, const MeshNode& b, std::optional<std::uint32_t> guarded) const {
    if (a.number == guarded) return b.number != guarded;
    if (b.number == guarded) return false;
    const std::string& keyA = sortKeys_.at(a.number);
    const std::string& keyB = sortKeys_.at(b.number);
    if (keyA != keyB) return keyA < keyB;
    return a.number < b.number;
}

void CorvaneModel::sortNodes() {
    nodes_.clear();
    nodes_.reserve(nodeIndex_.size());
    for (const auto& [number, node] : nodeIndex_) nodes_.push_back(node);
    orderedForGuarded_ = guardedNodeID();
    std::sort(nodes_.begin(), nodes_.end(),
              [this](const MeshNode& a, const MeshNode& b) { return comesBefore(a, b, orderedForGuarded_); });
    changed_.notify();
}

void CorvaneModel::placeNode(const MeshNode& node, bool known, bool renamed) {
    if (guardedNodeID() != orderedForGuarded_) {
        sortNodes();
        return;
    }
    const auto current = std::find_if(nodes_.begin(), nodes_.end(),
                                      [&node](const MeshNode& listed) { return listed.number == node.number; });
    if (known && !renamed && current != nodes_.end()) {
        *current = node;
    } else {
        if (current != nodes_.end()) nodes_.erase(current);
        const auto place = std::lower_bound(
            nodes_.begin(), nodes_.end(), node,
            [this](const MeshNode& a, const MeshNode& b) { return comesBefore(a, b, orderedForGuarded_); });
        nodes_.insert(place, node);
    }
    changed_.notify();
}

void CorvaneModel::upsert(const MeshNode& node) {
    std::optional<MeshPosition> previous;
    const auto it = nodeIndex_.find(node.number);
    const bool known = it != nodeIndex_.end();
    const bool renamed = !known || it->second.longName != node.longName;
    if (known) previous = it->second.position;
    nodeIndex_.insert_or_assign(node.number, node);
    if (renamed) sortKeys_[node.number] = TextCompare::forProcessLocale().sortKey(node.longName);
    placeNode(node, known, renamed);
    meshHealth_.heard(node);
    if (!selectedNodeID_) setSelectedNodeID(guardedNodeID().value_or(node.number));
    if (!node.position || node.position == previous) return;
    if (!storesLoaded_) {
        untilStoresLoaded_.push_back([this, fix = *node.position, number = node.number] { recordFix(fix, number); });
        return;
    }
    recordFix(*node.position, node.number);
}

void CorvaneModel::recordFix(const MeshPosition& fix, std::uint32_t nodeNumber) {
    if (holdsFix(fix)) return;
    history_.push_back(fix);
    changed_.notify();
    // The verdict and its alert go first: the file write waits for the disk
    // (two fsyncs), and a person waiting for the alert should not.
    checkParking(fix, nodeNumber);
    (void)store_.append(fix, PositionStore::kMaximumCount);
}

bool CorvaneModel::holdsFix(const MeshPosition& fix) const {
    // A radio hands over its node database at every connect, each fix with
    // its own time: one already in the history is old news, not a new fix.
    return std::any_of(history_.rbegin(), history_.rend(), [&fix](const MeshPosition& held) {
        return held.nodeNumber == fix.nodeNumber && held.timestamp == fix.timestamp &&
               held.latitude == fix.latitude && held.longitude == fix.longitude;
    });
}

void CorvaneModel::receiveMessage(const MeshMessage& message) {
    if (!storesLoaded_) {
        untilStoresLoaded_.push_back([this, message] { receiveMessage(message); });
        return;
    }
    const bool duplicate =
        message.packetID != 0 && std::any_of(messages_.begin(), messages_.end(), [&](const MeshMessage& stored) {
            return stored.packetID == message.packetID && stored.sender == message.sender;
        });
    if (duplicate) return;
    messages_.push_back(message);
    changed_.notify();
    if (!message.isOutgoing) meshHealth_.heardFrom(message.sender);
    // Announced before the write for the same reason as positions.
    if (!message.isOutgoing) notifyMessage(message);
    (void)messageStore_.append(message, MessageStore::kMaximumCount);
}

void CorvaneModel::notifyMessage(const MeshMessage& message) {
    notifications_.post({.identifier = "message-" + message.id.string(),
                         .title = displayName(message.sender),
                         .body = message.text,
                         .sound = LocalNotification::Sound::standard,
                         .kind = LocalNotification::Kind::meshMessage});
}

// MARK: Guarded device

void CorvaneModel::setGuarded(const MeshNode& node) {
    defaults_.setNumber("guardedNode", node.number);
    changed_.notify();
    setSelectedNodeID(node.number);
    // The guarded node leads the list; keep that true from now on, not only
    // from the next update of some node.
    sortNodes();
}

void CorvaneModel::markGuardedPosition() {
    const auto guarded = guardedNodeID();
    const auto it = guarded ? nodeIndex_.find(*guarded) : nodeIndex_.end();
    if (it == nodeIndex_.end() || !it->second.position) {
        setErrorMessage("The guarded device does not have a position yet.");
        return;
    }
    assign(parkedPosition_, it->second.position);
    hasSentMovementAlert_ = false;
    movementDetector_.reset();
    assign(parkingStatus_, std::string(kArmedWaiting));
    if (const auto encoded = encodeWithReferenceDate(*parkedPosition_)) {
        defaults_.setData("parkedPosition", DefaultsStore::Data(encoded->begin(), encoded->end()));
    }
    notifications_.requestAuthorization();
}

void CorvaneModel::clearParking() {
    assign(parkedPosition_, std::nullopt);
    hasSentMovementAlert_ = false;
    movementDetector_.reset();
    assign(parkingStatus_, std::string(kNoPositionMarked));
    defaults_.remove("parkedPosition");
}

void CorvaneModel::clearGuardedDevice() {
    defaults_.remove("guardedNode");
    changed_.notify();
    clearParking();
    sortNodes();
}

std::optional<std::string> CorvaneModel::guardPrecision() const {
    const auto guarded = guardedNodeID();
    if (!guarded) return std::nullopt;
    double box = parkedPosition_ ? MeshMath::precisionBoxMeters(*parkedPosition_) : 0;
    if (const auto it = nodeIndex_.find(*guarded); it != nodeIndex_.end() && it->second.position) {
        box = std::max(box, MeshMath::precisionBoxMeters(*it->second.position));
    }
    if (box <= 0) return std::nullopt;
    std::string text = "Shares its position at reduced precision (about " + wholeMetres(std::round(box)) +
                       " m): movement inside that area cannot be detected";
    if (parkedPosition_ && parkingRadius_ < box) text += "; the alert radius is smaller than that area";
    return text + ".";
}

void CorvaneModel::checkParking(const MeshPosition& position, std::uint32_t nodeNumber) {
    if (guardedNodeID() != nodeNumber || !parkedPosition_) return;
    const BicycleMovementResult result = movementDetector_.evaluate(position, *parkedPosition_, parkingRadius_);
    const std::string metres = wholeMetres(result.distance());
    switch (result.kind()) {
    case BicycleMovementResult::Kind::inside:
        assign(parkingStatus_, "Armed · " + metres + " m from parked position");
        return;
    case BicycleMovementResult::Kind::confirming:
        assign(parkingStatus_, "Confirming movement · " + std::to_string(result.count()) + " of " +
                                   std::to_string(result.required()) + " readings · " + metres + " m");
        return;
    case BicycleMovementResult::Kind::moved:
        assign(parkingStatus_, "Movement detected · " + metres + " m from parked position");
        if (hasSentMovementAlert_) return;
        hasSentMovementAlert_ = true;
        notifications_.post(
            {.identifier = "guarded-device-moved-" +
                           doubleDescription(unixSeconds(loop_.now())),
             .title = guardProfile_ == GuardProfile::bicycle ? "Bicycle moved" : "Guarded device moved",
             .body = "Two positions place the device outside the marked area. Latest distance: about " + metres + " m.",
             .sound = LocalNotification::Sound::critical});
        return;
    case BicycleMovementResult::Kind::ignored: return;
    }
}

// MARK: Messaging

void CorvaneModel::sendMessage(std::string_view text) {
    std::string trimmed = trimmedWhitespaceAndNewlines(text);
    if (trimmed.empty()) return;
    if (auto tooLong = meshTextTooLong(trimmed, messageRecipient_)) {
        setErrorMessage(*tooLong);
        return;
    }
    radio_.sendText(trimmed, messageRecipient_, messageChannel_,
                    [this, trimmed](Result<std::uint32_t, MeshRadioError> result) {
                        if (!result) {
                            setErrorMessage(result.error().description());
                            return;
                        }
                        const MeshMessage message{.id = Uuid::random(),
                                                  .packetID = *result,
                                                  .sender = localNodeID_.value_or(0),
                                                  .recipient = messageRecipient_.value_or(kBroadcastNode),
                                                  .channel = messageChannel_,
                                                  .text = trimmed,
                                                  .timestamp = loop_.now(),
                                                  .isOutgoing = true};
                        keepSentMessage(message);
                    });
}

void CorvaneModel::keepSentMessage(const MeshMessage& message) {
    if (!storesLoaded_) {
        untilStoresLoaded_.push_back([this, message] { keepSentMessage(message); });
        return;
    }
    messages_.push_back(message);
    changed_.notify();
    if (auto stored = messageStore_.append(message, MessageStore::kMaximumCount); !stored) {
        setErrorMessage(stored.error().message);
    }
}

// MARK: Radio settings

bool CorvaneModel::isRadioConnected() const { return localNodeID_ && connectedPort_; }

void CorvaneModel::requestRadioSettings() { readRadioSettings(MeshRadio::SettingsRead::now); }

void CorvaneModel::readRadioSettings(MeshRadio::SettingsRead when) {
    if (!isRadioConnected()) {
        assign(radioSettingsState_, std::string("Connect the USB radio first."));
        return;
    }
    const bool restarting = when == MeshRadio::SettingsRead::afterRestart;
    assign(radioSettingsState_, std::string(restarting ? kWaitingForRestart : "Reading from radio…"));
    radio_.requestRadioSettings(when, [this](Result<Done, MeshRadioError> result) {
        if (result) return;
        setErrorMessage(result.error().description());
        assign(radioSettingsState_, std::string("Could not read settings"));
    });
}

void CorvaneModel::applyRadioSettings(const MeshtasticRadioSettings& settings) {
    if (!isRadioConnected()) {
        setErrorMessage("Connect the USB radio before applying settings.");
        return;
    }
    assign(radioSettingsState_, std::string("Applying to radio…"));
    radio_.applyRadioSettings(settings, [this, settings](Result<Done, MeshRadioError> result) {
        if (!result) {
            setErrorMessage(result.error().description());
            assign(radioSettingsState_, std::string("Could not apply settings"));
            return;
        }
        assign(loraConfig_, settings);
        assign(radioSettingsState_, std::string("Applied · verifying after restart…"));
        const std::uint64_t task = nextRereadTask_++;
        rereadTasks_.emplace(task, loop_.singleShot(kSettingsRereadDelay, [this, task] {
            rereadTasks_.erase(task);
            readRadioSettings(MeshRadio::SettingsRead::afterRestart);
        }));
    });
}

}  // namespace corvane
