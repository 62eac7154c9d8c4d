// SPDX-License-Identifier: GPL-3.0-or-later
#include "BridgeSession.h"

#include <utility>

#include "RadioProtocol.h"

namespace corvane::bridge {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kWakeBytes = 32;
constexpr auto kWakePause = 100ms;
// The application waits 8 s for `connected`.
constexpr auto kNoAnswer = 6s;
constexpr auto kQueueFallback = 1500ms;
constexpr auto kReadFallback = 2500ms;
constexpr auto kReopenInterval = 250ms;
// The firmware restarts this long after commit_edit_settings, and needs about
// this long to boot before it answers.
constexpr auto kFirmwareRebootDelay = 7s;
constexpr auto kBootTime = 3s;
// A want_config unanswered this long (sent while the radio booted) is repeated.
constexpr auto kHandshakeRetry = 2s;
constexpr auto kHeldFrameTimeout = 500ms;
// A serial client speaks at least every five minutes; four leave a margin.
constexpr auto kHeartbeat = 4min;
// want_config_id values the firmware reads as "configuration only" and
// "nodes only"; a random nonce must not hit them by chance.
constexpr std::uint32_t kConfigOnlyNonce = 69420;
constexpr std::uint32_t kNodesOnlyNonce = 69421;

constexpr const char* kPortLostText = "USB radio disconnected";
constexpr const char* kNetworkLostText = "Network radio disconnected";
constexpr const char* kRestartingText = "The radio is restarting to apply its settings.";
constexpr const char* kNotBackText = "The radio did not come back after restarting.";
constexpr const char* kNoLoraText = "The radio did not report its LoRa settings.";

Timestamp wallNow() { return std::chrono::system_clock::now(); }

MeshtasticBridgeResponse makeLine(MeshtasticBridgeEvent event, std::optional<Uuid> requestID = std::nullopt) {
    MeshtasticBridgeResponse made;
    made.event = event;
    made.requestID = requestID;
    return made;
}

MeshtasticBridgeResponse disconnectedLine(std::string status) {
    auto made = makeLine(MeshtasticBridgeEvent::disconnected);
    made.status = std::move(status);
    return made;
}

MeshtasticBridgeResponse sentLine(std::optional<Uuid> requestID, std::uint32_t packetID) {
    auto made = makeLine(MeshtasticBridgeEvent::sent, requestID);
    made.packetID = packetID;
    return made;
}

}  // namespace

BridgeSession::BridgeSession(BridgeLoop& loop, Output out, Output debugText)
    : loop_(loop),
      out_(std::move(out)),
      debugText_(std::move(debugText)),
      frames_([this](std::string_view payload) { return acceptFrame(payload); },
              [this](std::string_view text) { debugText_(text); }),
      random_(std::random_device{}()) {}

BridgeSession::~BridgeSession() { closePort(false); }

void BridgeSession::start() { emit(makeLine(MeshtasticBridgeEvent::ready)); }

void BridgeSession::feed(std::string_view requestBytes) {
    requests_.feed(requestBytes, [this](std::string_view line) {
        if (const auto request = decodeMeshtasticBridgeRequest(line)) {
            handle(*request);
            return;
        }
        MeshtasticBridgeResponse response;
        response.event = MeshtasticBridgeEvent::error;
        response.error = "Unreadable request line";
        writeLine(response);
    });
}

void BridgeSession::shutdown() { closePort(true); }

std::string BridgeSession::notConnectedText() const {
    return isNetwork_ ? "The network radio is not connected." : "The USB radio is not connected.";
}

std::string BridgeSession::lostDuringRequestText() const {
    return isNetwork_ ? "The network radio was disconnected." : "The USB radio was disconnected.";
}

void BridgeSession::handle(const MeshtasticBridgeRequest& request) {
    if (request.protocolVersion != kMeshtasticBridgeProtocolVersion) {
        return refuse(request.requestID, "Unsupported protocol version " + std::to_string(request.protocolVersion));
    }
    switch (request.command) {
    case MeshtasticBridgeCommand::connect: return connect(request);
    case MeshtasticBridgeCommand::disconnect: return disconnect(request);
    case MeshtasticBridgeCommand::sendText: return sendText(request);
    case MeshtasticBridgeCommand::readRadioSettings: return readSettings(request);
    case MeshtasticBridgeCommand::applyRadioSettings: return applySettings(request);
    }
}

// MARK: Requests

void BridgeSession::connect(const MeshtasticBridgeRequest& request) {
    if (!request.port || request.port->empty()) return refuse(request.requestID, "connect needs a port");
    closePort(true);
    if (connectRequest_) refuse(*std::exchange(connectRequest_, std::nullopt), "Superseded by a newer connect.");
    std::string error;
    if (!openPort(*request.port, error)) return refuse(request.requestID, std::move(error));
    connectRequest_ = request.requestID;
    beginHandshake();
}

void BridgeSession::disconnect(const MeshtasticBridgeRequest& request) {
    closePort(true);
    if (connectRequest_) refuse(*std::exchange(connectRequest_, std::nullopt), "Disconnected.");
    reply(request, disconnectedLine("Disconnected"));
}

void BridgeSession::sendText(const MeshtasticBridgeRequest& request) {
    if (!request.text) return refuse(request.requestID, "sendText needs a text");
    if (rebooting_) return refuse(request.requestID, kRestartingText);
    if (!port_ || !localNode_) return refuse(request.requestID, notConnectedText());
    const auto packetID = nextPacketID();
    auto packet = textPacket(*request.text, request.recipient, request.channel.value_or(0), packetID);
    if (!packet) return refuse(request.requestID, packet.error());
    if (!sendToRadio(*packet)) return refuse(request.requestID, lostDuringRequestText());
    // Firmware without queue status reports says nothing more: a complete
    // write is then the best answer there is.
    track(sends_, packetID, request.requestID, kQueueFallback,
          [this, packetID](const Uuid& requestID) { emit(sentLine(requestID, packetID)); });
}

void BridgeSession::readSettings(const MeshtasticBridgeRequest& request) {
    if (rebooting_ || (port_ && !lora_ && localNode_)) {
        // The handshake under way (or the one after the restart) brings the
        // configuration.
        readsAfterHandshake_.push_back(request.requestID);
        return;
    }
    if (!port_ || !localNode_) return refuse(request.requestID, notConnectedText());
    mesh::AdminMessage get;
    get.set_get_config_request(mesh::AdminMessage::LORA_CONFIG);
    const auto packetID = nextPacketID();
    if (!sendToRadio(adminPacket(get, *localNode_, packetID))) {
        return refuse(request.requestID, lostDuringRequestText());
    }
    // A radio that does not answer admin requests still told us its
    // configuration during the handshake.
    track(reads_, packetID, request.requestID, kReadFallback, [this](const Uuid& requestID) {
        if (lora_) {
            loraKnown(*lora_, requestID);
        } else {
            refuse(requestID, kNoLoraText);
        }
    });
}

void BridgeSession::applySettings(const MeshtasticBridgeRequest& request) {
    if (!request.settings) return refuse(request.requestID, "applyRadioSettings needs settings");
    if (rebooting_) return refuse(request.requestID, kRestartingText);
    if (!port_ || !localNode_) return refuse(request.requestID, notConnectedText());
    if (!lora_) return refuse(request.requestID, "The radio has not reported its LoRa settings yet.");
    const auto withPasskey = [this](mesh::AdminMessage message) {
        if (!sessionPasskey_.empty()) message.set_session_passkey(sessionPasskey_);
        return message;
    };
    mesh::AdminMessage begin;
    begin.set_begin_edit_settings(true);
    mesh::AdminMessage set;
    *set.mutable_set_config()->mutable_lora() = loraWithSettings(*lora_, *request.settings);
    mesh::AdminMessage commit;
    commit.set_commit_edit_settings(true);
    const auto setID = nextPacketID();
    const bool written = sendToRadio(adminPacket(withPasskey(begin), *localNode_, nextPacketID())) &&
                         sendToRadio(adminPacket(withPasskey(set), *localNode_, setID)) &&
                         sendToRadio(adminPacket(withPasskey(commit), *localNode_, nextPacketID()));
    if (!written) return refuse(request.requestID, lostDuringRequestText());
    lora_ = set.set_config().lora();
    // A `sent` reply, not `status`: a status line would replace the
    // application's connection text.
    reply(request, sentLine(std::nullopt, setID));
    // The firmware restarts after every commit, changed or not.
    startReboot();
    rebootPending_ = true;
    loop_.cancel(rebootFallbackTimer_);
    // A radio whose port survives the restart and whose `rebooted` frame was
    // lost is asked again once it must have restarted.
    rebootFallbackTimer_ = loop_.after(kFirmwareRebootDelay + kBootTime, [this] {
        rebootFallbackTimer_ = 0;
        if (!rebootPending_ || !port_) return;
        rebootPending_ = false;
        beginHandshake();
    });
}

// MARK: The port

bool BridgeSession::openPort(const std::string& path, std::string& error) {
    auto opened = RadioPort::open(path);
    if (!opened) {
        error = opened.error();
        return false;
    }
    port_ = std::move(*opened);
    portPath_ = path;
    isNetwork_ = port_->isNetwork();
    loop_.watch(port_->fd(), [this] { portReadable(); });
    return true;
}

void BridgeSession::closePort(bool sayGoodbye) {
    for (auto* timer : {&wakeTimer_, &answerTimer_, &heartbeatTimer_, &reopenTimer_, &retryTimer_, &rebootTimer_,
                        &rebootFallbackTimer_, &heldFrameTimer_}) {
        loop_.cancel(*timer);
    }
    if (port_) {
        if (sayGoodbye) (void)port_->write(frameOf(disconnectMessage()));
        loop_.unwatch(port_->fd());
        port_.reset();
    }
    frames_.flush();
    failPending(lostDuringRequestText());
    localNode_.reset();
    lora_.reset();
    sessionPasskey_.clear();
    held_.clear();
    translator_.forget();
    announced_ = false;
    rebooting_ = false;
    rebootPending_ = false;
}

void BridgeSession::beginHandshake() {
    localNode_.reset();
    lora_.reset();
    sawFrame_ = false;
    loop_.cancel(wakeTimer_);
    loop_.cancel(retryTimer_);
    std::string wake(kWakeBytes, static_cast<char>(FrameReader::kStart2));
    if (!port_->write(wake)) return portLost();
    wakeTimer_ = loop_.after(kWakePause, [this] {
        wakeTimer_ = 0;
        askForConfig();
        scheduleHeartbeat();
    });
    if (!rebooting_ && !answerTimer_) answerTimer_ = loop_.after(kNoAnswer, [this] { handshakeTimedOut(); });
}

void BridgeSession::askForConfig() {
    do {
        nonce_ = randomNonZero();
    } while (nonce_ == kConfigOnlyNonce || nonce_ == kNodesOnlyNonce);
    if (!sendToRadio(wantConfig(nonce_))) return;
    // A want_config sent while the radio was still booting is lost.
    loop_.cancel(retryTimer_);
    retryTimer_ = loop_.after(kHandshakeRetry, [this] {
        retryTimer_ = 0;
        if (port_ && !localNode_) askForConfig();
    });
}

void BridgeSession::handshakeTimedOut() {
    answerTimer_ = 0;
    if (localNode_) return;
    const std::string text = sawFrame_ ? "The radio on " + portPath_ + " did not report its node number."
                                       : "No Meshtastic radio answered on " + portPath_ + ".";
    const auto pending = std::exchange(connectRequest_, std::nullopt);
    closePort(false);
    if (pending) refuse(*pending, text);
}

void BridgeSession::startReboot() {
    rebooting_ = true;
    loop_.cancel(rebootTimer_);
    rebootTimer_ = loop_.after(kRebootWindow, [this] {
        rebootTimer_ = 0;
        rebootWindowEnded();
    });
}

void BridgeSession::rebootWindowEnded() {
    if (!rebooting_) {
        // Back in time, but the handshake never told the LoRa settings.
        answerHeldReads(kNoLoraText);
        return;
    }
    answerHeldReads(kNotBackText);
    closePort(false);
    emit(disconnectedLine(kNotBackText));
}

void BridgeSession::answerHeldReads(const std::string& refusal) {
    for (const auto& requestID : std::exchange(readsAfterHandshake_, {})) {
        if (lora_) {
            loraKnown(*lora_, requestID);
        } else {
            refuse(requestID, refusal);
        }
    }
}

void BridgeSession::portReadable() {
    std::string bytes;
    const auto status = port_->read(bytes);
    if (!bytes.empty()) {
        frames_.feed(bytes);
        watchHeldFrame();
    }
    if (status == RadioPort::ReadStatus::lost && port_) portLost();
}

void BridgeSession::watchHeldFrame() {
    loop_.cancel(heldFrameTimer_);
    if (!frames_.holding()) return;
    // Frames arrive in one piece; a candidate whose bytes stopped coming is
    // a false header in text.
    heldFrameTimer_ = loop_.after(kHeldFrameTimeout, [this] {
        heldFrameTimer_ = 0;
        frames_.abandonHeld();
        watchHeldFrame();
    });
}

void BridgeSession::portLost() {
    if (rebooting_) {
        for (auto* timer : {&wakeTimer_, &answerTimer_, &heartbeatTimer_, &retryTimer_, &heldFrameTimer_}) {
            loop_.cancel(*timer);
        }
        loop_.unwatch(port_->fd());
        port_.reset();
        frames_.flush();
        rebootPending_ = false;
        localNode_.reset();
        scheduleReopen();
        return;
    }
    const auto pending = std::exchange(connectRequest_, std::nullopt);
    closePort(false);
    if (pending) {
        refuse(*pending, isNetwork_ ? "The network radio went away while connecting."
                                    : "The USB radio went away while connecting.");
        return;
    }
    emit(disconnectedLine(isNetwork_ ? kNetworkLostText : kPortLostText));
}

void BridgeSession::scheduleReopen() {
    loop_.cancel(reopenTimer_);
    reopenTimer_ = loop_.after(kReopenInterval, [this] {
        reopenTimer_ = 0;
        tryReopen();
    });
}

void BridgeSession::tryReopen() {
    std::string error;
    if (port_ || openPort(portPath_, error)) {
        beginHandshake();
        return;
    }
    // Until the reboot window ends, which gives up.
    scheduleReopen();
}

bool BridgeSession::sendToRadio(const mesh::ToRadio& message) {
    if (!port_) return false;
    if (port_->write(frameOf(message))) return true;
    portLost();
    return false;
}

void BridgeSession::scheduleHeartbeat() {
    loop_.cancel(heartbeatTimer_);
    heartbeatTimer_ = loop_.after(kHeartbeat, [this] {
        heartbeatTimer_ = 0;
        if (sendToRadio(heartbeat())) scheduleHeartbeat();
    });
}

void BridgeSession::track(std::map<std::uint32_t, Pending>& pending, std::uint32_t packetID, const Uuid& requestID,
                          std::chrono::milliseconds wait, std::function<void(const Uuid&)> onTimeout) {
    const auto timer = loop_.after(wait, [&pending, packetID, onTimeout = std::move(onTimeout)] {
        const auto found = pending.find(packetID);
        if (found == pending.end()) return;
        const auto waiting = found->second.requestID;
        pending.erase(found);
        onTimeout(waiting);
    });
    pending.insert_or_assign(packetID, Pending{requestID, timer});
}

void BridgeSession::failPending(const std::string& text) {
    auto sends = std::exchange(sends_, {});
    for (auto& [id, pending] : sends) {
        loop_.cancel(pending.fallback);
        refuse(pending.requestID, text);
    }
    auto reads = std::exchange(reads_, {});
    for (auto& [id, pending] : reads) {
        loop_.cancel(pending.fallback);
        refuse(pending.requestID, text);
    }
    for (const auto& requestID : std::exchange(readsAfterHandshake_, {})) refuse(requestID, text);
}

// MARK: Radio traffic

bool BridgeSession::acceptFrame(std::string_view payload) {
    auto message = parseFromRadio(payload);
    if (!message) return false;
    sawFrame_ = true;
    fromRadio(*message);
    return true;
}

void BridgeSession::fromRadio(const mesh::FromRadio& message) {
    const auto emitLine = [this](MeshtasticBridgeResponse line) { emit(std::move(line)); };
    if (translator_.translate(message, localNode_.value_or(0), wallNow(), emitLine)) return;
    switch (message.payload_variant_case()) {
    case mesh::FromRadio::kMyInfo: {
        localNode_ = message.my_info().my_node_num();
        loop_.cancel(answerTimer_);
        loop_.cancel(retryTimer_);
        if (const auto pending = std::exchange(connectRequest_, std::nullopt)) {
            auto connected = makeLine(MeshtasticBridgeEvent::connected, pending);
            connected.port = portPath_;
            emit(std::move(connected));
        }
        rebooting_ = false;
        rebootPending_ = false;
        loop_.cancel(rebootFallbackTimer_);
        // The window stays open only for reads still waiting for settings.
        if (readsAfterHandshake_.empty()) loop_.cancel(rebootTimer_);
        announced_ = true;
        auto local = makeLine(MeshtasticBridgeEvent::localNode);
        local.localNodeID = localNode_;
        emit(std::move(local));
        for (auto& held : std::exchange(held_, {})) emit(std::move(held));
        return;
    }
    case mesh::FromRadio::kConfig:
        if (message.config().has_lora()) loraKnown(message.config().lora(), std::nullopt);
        return;
    case mesh::FromRadio::kPacket: return adminAnswer(message.packet());
    case mesh::FromRadio::kQueueStatus: return queueStatus(message.queuestatus());
    case mesh::FromRadio::kRebooted:
        // Whoever restarted it, the radio forgot our session. The want_config
        // still to be sent after the wake-up pause needs no repeat.
        if (!port_ || wakeTimer_) return;
        rebootPending_ = false;
        loop_.cancel(rebootFallbackTimer_);
        // Once connected, a restart is hidden like the one after an apply; a
        // window still open for held reads keeps its end.
        if (localNode_ && !rebooting_) {
            rebooting_ = true;
            if (!rebootTimer_) startReboot();
        }
        beginHandshake();
        return;
    case mesh::FromRadio::kConfigCompleteId:
        // A stale completion (of an earlier session's nonce) says nothing
        // about ours; ours without a LoRa configuration leaves reads unanswered.
        if (message.config_complete_id() == nonce_ && localNode_ && !lora_) answerHeldReads(kNoLoraText);
        return;
    default: return;
    }
}

void BridgeSession::loraKnown(const mesh::Config::LoRaConfig& lora, std::optional<Uuid> requestID) {
    lora_ = lora;
    auto settings = settingsFromLora(lora);
    std::vector<std::optional<Uuid>> answers;
    if (requestID) {
        answers.emplace_back(requestID);
    } else {
        answers.emplace_back(std::nullopt);
        for (const auto& waiting : std::exchange(readsAfterHandshake_, {})) answers.emplace_back(waiting);
    }
    if (!rebooting_ && readsAfterHandshake_.empty()) loop_.cancel(rebootTimer_);
    for (const auto& answer : answers) {
        if (settings) {
            auto known = makeLine(MeshtasticBridgeEvent::radioSettings, answer);
            known.settings = *settings;
            emit(std::move(known));
        } else {
            auto refused = makeLine(MeshtasticBridgeEvent::error, answer);
            refused.error = settings.error();
            emit(std::move(refused));
        }
    }
}

void BridgeSession::adminAnswer(const mesh::MeshPacket& packet) {
    mesh::AdminMessage message;
    if (packet.has_decoded() && packet.decoded().portnum() == mesh::ADMIN_APP &&
        message.ParseFromString(packet.decoded().payload())) {
        admin(packet, message);
    }
}

void BridgeSession::admin(const mesh::MeshPacket& packet, const mesh::AdminMessage& message) {
    if (!message.session_passkey().empty()) sessionPasskey_ = message.session_passkey();
    if (!message.has_get_config_response() || !message.get_config_response().has_lora()) return;
    std::optional<Uuid> requestID;
    if (const auto found = reads_.find(packet.decoded().request_id()); found != reads_.end()) {
        loop_.cancel(found->second.fallback);
        requestID = found->second.requestID;
        reads_.erase(found);
    }
    loraKnown(message.get_config_response().lora(), requestID);
}

void BridgeSession::queueStatus(const mesh::QueueStatus& status) {
    const auto found = sends_.find(status.mesh_packet_id());
    if (found == sends_.end()) return;
    auto pending = found->second;
    sends_.erase(found);
    loop_.cancel(pending.fallback);
    if (status.res() != kQueueAccepted && status.res() != kQueueDeliveredLocally) {
        return refuse(pending.requestID, queueErrorText(status.res()));
    }
    emit(sentLine(pending.requestID, status.mesh_packet_id()));
}

// MARK: Output

void BridgeSession::reply(const MeshtasticBridgeRequest& request, MeshtasticBridgeResponse response) {
    response.requestID = request.requestID;
    emit(std::move(response));
}

void BridgeSession::refuse(const Uuid& requestID, std::string text) {
    auto refused = makeLine(MeshtasticBridgeEvent::error, requestID);
    refused.error = std::move(text);
    emit(std::move(refused));
}

void BridgeSession::emit(MeshtasticBridgeResponse response) {
    // News that the handshake produced before the radio named itself waits
    // for `connected`, so the application never sees nodes of a port it has
    // not yet accepted.
    const bool isNews = !response.requestID && response.event != MeshtasticBridgeEvent::ready &&
                        response.event != MeshtasticBridgeEvent::disconnected;
    if (isNews && !announced_) {
        held_.push_back(std::move(response));
        return;
    }
    writeLine(response);
}

void BridgeSession::writeLine(const MeshtasticBridgeResponse& response) {
    const auto line = encodeLine(response);
    if (!line) {
        debugText_("halvo-meshtastic-bridge: a line could not be encoded\n");
        return;
    }
    if (!out_(*line)) loop_.stop(1);
}

std::uint32_t BridgeSession::randomNonZero() {
    std::uniform_int_distribution<std::uint32_t> pick(1, 0xFFFFFFFFu);
    return pick(random_);
}

std::uint32_t BridgeSession::nextPacketID() { return randomNonZero(); }

}  // namespace corvane::bridge
