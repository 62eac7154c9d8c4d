// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application's single link to the Halvo Meshtastic Bridge: finds the
// executable, starts it as a child, writes requests, matches reply lines to
// the requests waiting for them, hands every other line to one event handler
// and stops the child. Owned by the model; lives on the loop thread and is
// touched only there. Promises:
// - every completion is called exactly once, from the loop, never from inside
//   the call that started the operation (the one exception: destroying the
//   MeshRadio drops the completions still pending without calling them);
// - a pending request is removed from the map before it is resolved, so
//   reply, time-out, write failure and stop cannot both resolve it;
// - the event handler runs synchronously for each line, in arrival order;
// - notices from a child that was already stopped never touch a newer one;
// - destroying the MeshRadio ends a running child.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "app/MeshRadioError.h"
#include "app/ports/BridgeProcess.h"
#include "app/ports/EventLoop.h"
#include "core/MeshtasticBridgeRequest.h"
#include "core/MeshtasticBridgeResponse.h"
#include "core/Result.h"

namespace corvane {

class MeshRadio {
public:
    template <typename T>
    using Completion = std::function<void(Result<T, MeshRadioError>)>;
    using EventHandler = std::function<void(const MeshtasticBridgeResponse&)>;
    using StopHandler = std::function<void(const MeshRadioError&)>;
    using ProcessFactory = std::function<std::unique_ptr<BridgeProcess>()>;

    struct Timeouts {
        EventLoop::Duration connect = std::chrono::seconds(8);
        EventLoop::Duration disconnect = std::chrono::seconds(2);
        EventLoop::Duration request = std::chrono::seconds(5);
        // A read sent while the radio restarts to apply its settings: the
        // bridge holds it until the radio is back, 32 s after the apply at
        // the latest (a network radio included).
        EventLoop::Duration restartRead = std::chrono::seconds(35);
    };
    enum class SettingsRead { now, afterRestart };

    MeshRadio(EventLoop& loop, ProcessFactory makeProcess);
    // Shorter time-outs let tests against a real child stay quick.
    MeshRadio(EventLoop& loop, ProcessFactory makeProcess, Timeouts timeouts);
    ~MeshRadio();
    MeshRadio(const MeshRadio&) = delete;
    MeshRadio& operator=(const MeshRadio&) = delete;

    // The first executable candidate; the environment is read at each call.
    static std::optional<std::string> installedBridgeURL();
    // The folder of the running application, where a bridge installed with it
    // sits; set once by main(). Empty (the default) leaves that candidate out.
    static void setApplicationFolder(std::string folder);
    // "Installed" or "Not installed".
    static std::string bridgeStatus();
    // $CORVANE_DEVICE_DIR, else /dev.
    static std::string deviceFolder();
    // Supported serial devices in deviceFolder(), sorted.
    static std::vector<std::string> availablePorts();

    // Stops any running bridge, then starts a fresh one on `port` (or the
    // first available device when `port` is absent or missing) and completes
    // with the device the bridge connected.
    void connect(std::optional<std::string> port, EventHandler onEvent, Completion<std::string> completion);
    // Never fails.
    void disconnect(Completion<Done> completion);
    void sendText(std::string text, std::optional<std::uint32_t> recipient, std::uint32_t channel,
                  Completion<std::uint32_t> completion);
    void requestRadioSettings(Completion<Done> completion);
    void requestRadioSettings(SettingsRead when, Completion<Done> completion);
    void applyRadioSettings(const MeshtasticRadioSettings& settings, Completion<Done> completion);

    // Told when the bridge stops without the owner asking: the child exited,
    // its output failed, or it speaks another protocol version. Called after
    // the pending requests have failed.
    void setStopHandler(StopHandler onStopped);

    bool isRunning() const;

private:
    struct Pending {
        Completion<MeshtasticBridgeResponse> completion;
        TimerHandle timeout;
    };
    struct Retired {
        std::uint64_t generation;
        std::unique_ptr<BridgeProcess> process;
    };
    class CallScope;

    Result<Done, MeshRadioError> launchBridge();
    void request(MeshtasticBridgeRequest request, EventLoop::Duration timeout,
                 Completion<MeshtasticBridgeResponse> completion);
    void receive(std::string_view line);
    void stopBridge(const MeshRadioError& error);
    void stopUnexpectedly(std::uint64_t generation, const MeshRadioError& error);
    void disconnectThen(std::function<void()> next);
    void continueConnect(std::optional<std::string> port, EventHandler onEvent, Completion<std::string> completion);
    void processExited(std::uint64_t generation);
    bool isCurrent(std::uint64_t generation) const;
    std::optional<Pending> takePending(const Uuid& requestID);

    // Runs `completion` now when called from the loop, or posts it when the
    // owner is still inside one of the public calls.
    template <typename T>
    void resolve(const Completion<T>& completion, std::type_identity_t<Result<T, MeshRadioError>> result);

    EventLoop& loop_;
    ProcessFactory makeProcess_;
    Timeouts timeouts_;
    std::unique_ptr<BridgeProcess> process_;
    std::uint64_t generation_ = 0;
    std::vector<Retired> retired_;
    std::unordered_map<Uuid, Pending, UuidHash> pending_;
    EventHandler eventHandler_;
    StopHandler onStopped_;
    int callDepth_ = 0;
    // Expires with the object; posted work and timers check it before
    // touching `this`.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace corvane
