// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bridge proper: answers the application's request lines (standard input)
// and drives one Meshtastic radio on a serial port or a TCP connection. Owned
// by main(); runs on the BridgeLoop thread. Promises:
// - every request gets exactly one reply that echoes its requestID;
// - `connected` goes out as soon as the radio's own node is known; lines the
//   handshake produced before that wait for it;
// - every `rebooted` frame starts the handshake again with a fresh nonce, and
//   a handshake without my_info is asked for again;
// - the firmware's reboot after a settings apply (about 7 s later, then its
//   boot) is hidden: the port is reopened if it went away and the handshake
//   repeated; reads asked meanwhile are answered from that handshake, all of
//   them at the latest kRebootWindow after the apply's reply;
// - any other loss of the port is one unsolicited `disconnected` line.
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "BridgeLoop.h"
#include "FrameReader.h"
#include "RadioTranslator.h"
#include "RadioPort.h"
#include "bridge/meshtastic.pb.h"
#include "core/LineSplitter.h"
#include "core/MeshtasticBridgeRequest.h"
#include "core/MeshtasticBridgeResponse.h"

namespace corvane::bridge {

class BridgeSession {
public:
    using Output = std::function<bool(std::string_view)>;

    // From the `sent` reply to an apply until every read asked after it is
    // answered, at the latest.
    static constexpr std::chrono::seconds kRebootWindow{30};

    BridgeSession(BridgeLoop& loop, Output out, Output debugText);
    ~BridgeSession();
    BridgeSession(const BridgeSession&) = delete;
    BridgeSession& operator=(const BridgeSession&) = delete;

    void start();
    void feed(std::string_view requestBytes);
    // Standard input closed or a termination signal: let the radio go.
    void shutdown();

private:
    // A request waiting for the radio, answered otherwise when `fallback` fires.
    struct Pending {
        Uuid requestID;
        BridgeLoop::TimerId fallback = 0;
    };

    void handle(const MeshtasticBridgeRequest& request);
    void connect(const MeshtasticBridgeRequest& request);
    void disconnect(const MeshtasticBridgeRequest& request);
    void sendText(const MeshtasticBridgeRequest& request);
    void readSettings(const MeshtasticBridgeRequest& request);
    void applySettings(const MeshtasticBridgeRequest& request);

    bool openPort(const std::string& path, std::string& error);
    void closePort(bool sayGoodbye);
    void beginHandshake();
    void askForConfig();
    void handshakeTimedOut();
    void startReboot();
    void rebootWindowEnded();
    void answerHeldReads(const std::string& refusal);
    void scheduleReopen();
    void watchHeldFrame();
    void portReadable();
    void portLost();
    void tryReopen();
    bool sendToRadio(const mesh::ToRadio& message);
    bool acceptFrame(std::string_view payload);
    void fromRadio(const mesh::FromRadio& message);
    void adminAnswer(const mesh::MeshPacket& packet);
    void admin(const mesh::MeshPacket& packet, const mesh::AdminMessage& message);
    void loraKnown(const mesh::Config::LoRaConfig& lora, std::optional<Uuid> requestID);
    void queueStatus(const mesh::QueueStatus& status);
    void scheduleHeartbeat();
    // Keeps `requestID` under `packetID` until answered; after `wait`
    // `onTimeout` answers it instead.
    void track(std::map<std::uint32_t, Pending>& pending, std::uint32_t packetID, const Uuid& requestID,
               std::chrono::milliseconds wait, std::function<void(const Uuid&)> onTimeout);
    void failPending(const std::string& text);

    void reply(const MeshtasticBridgeRequest& request, MeshtasticBridgeResponse response);
    void refuse(const Uuid& requestID, std::string text);
    void emit(MeshtasticBridgeResponse response);
    void writeLine(const MeshtasticBridgeResponse& response);

    std::string notConnectedText() const;
    std::string lostDuringRequestText() const;
    std::uint32_t randomNonZero();
    std::uint32_t nextPacketID();

    BridgeLoop& loop_;
    Output out_;
    Output debugText_;
    LineSplitter requests_;
    FrameReader frames_;
    std::mt19937 random_;

    std::unique_ptr<RadioPort> port_;
    std::string portPath_;
    bool isNetwork_ = false;
    std::optional<Uuid> connectRequest_;
    std::optional<std::uint32_t> localNode_;
    std::uint32_t nonce_ = 0;
    bool sawFrame_ = false;
    bool announced_ = false;
    // From an apply's reply (or an unasked `rebooted`) until my_info again.
    bool rebooting_ = false;
    // Until the radio shows it restarted (a `rebooted` frame, the port gone).
    bool rebootPending_ = false;
    std::vector<MeshtasticBridgeResponse> held_;
    std::optional<mesh::Config::LoRaConfig> lora_;
    std::string sessionPasskey_;
    std::map<std::uint32_t, Pending> sends_;
    std::map<std::uint32_t, Pending> reads_;
    std::vector<Uuid> readsAfterHandshake_;
    RadioTranslator translator_;

    BridgeLoop::TimerId wakeTimer_ = 0;
    BridgeLoop::TimerId answerTimer_ = 0;
    BridgeLoop::TimerId heartbeatTimer_ = 0;
    BridgeLoop::TimerId reopenTimer_ = 0;
    BridgeLoop::TimerId retryTimer_ = 0;
    BridgeLoop::TimerId rebootTimer_ = 0;
    BridgeLoop::TimerId rebootFallbackTimer_ = 0;
    BridgeLoop::TimerId heldFrameTimer_ = 0;
};

}  // namespace corvane::bridge
