// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MeshRadio.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "core/NetworkRadioAddress.h"
#include "core/MeshtasticSerialPort.h"
#include "core/UserFolders.h"

namespace corvane {

namespace {

constexpr const char* kIncompatibleVersionText = "Halvo Meshtastic Bridge uses an incompatible protocol version.";
constexpr const char* kDefaultBridgeErrorText = "Halvo Meshtastic Bridge reported an error.";

std::string& applicationFolder() {
    static std::string folder;
    return folder;
}

bool isExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

bool fileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

template <typename T>
void call(const MeshRadio::Completion<T>& completion, std::type_identity_t<Result<T, MeshRadioError>> result) {
    if (completion) completion(std::move(result));
}

}  // namespace

class MeshRadio::CallScope {
public:
    explicit CallScope(MeshRadio& radio) : radio_(radio) { ++radio_.callDepth_; }
    ~CallScope() { --radio_.callDepth_; }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

private:
    MeshRadio& radio_;
};

MeshRadio::MeshRadio(EventLoop& loop, ProcessFactory makeProcess)
    : MeshRadio(loop, std::move(makeProcess), Timeouts{}) {}

MeshRadio::MeshRadio(EventLoop& loop, ProcessFactory makeProcess, Timeouts timeouts)
    : loop_(loop), makeProcess_(std::move(makeProcess)), timeouts_(timeouts) {}

MeshRadio::~MeshRadio() {
    alive_.reset();
    // Pending completions belong to an owner that is going away with us.
    pending_.clear();
    if (process_ && process_->isRunning()) process_->terminate();
    process_.reset();
    retired_.clear();
}

std::optional<std::string> MeshRadio::installedBridgeURL() {
    std::vector<std::string> candidates;
    if (auto configured = environmentValue("HALVO_MESHTASTIC_BRIDGE_PATH"); !configured.empty()) {
        // A bare name would be checked here, in the working folder, but
        // looked up on PATH when started: name the file that was checked.
        if (configured.find('/') == std::string::npos) {
            if (char* folder = ::getcwd(nullptr, 0)) {
                configured = std::string(folder) + "/" + configured;
                std::free(folder);
            }
        }
        candidates.push_back(std::move(configured));
    }
    if (const auto data = userDataFolder()) {
        candidates.push_back(*data + "/Halvo Corvane/Bridge/HalvoMeshtasticBridge");
    }
    // Installed with the application, as the bundle would carry it.
    if (!applicationFolder().empty()) candidates.push_back(applicationFolder() + "/halvo-meshtastic-bridge");
    candidates.emplace_back("/Applications/Halvo Meshtastic Bridge.app/Contents/MacOS/HalvoMeshtasticBridge");
    candidates.emplace_back("/opt/homebrew/bin/halvo-meshtastic-bridge");
    candidates.emplace_back("/usr/local/bin/halvo-meshtastic-bridge");
    candidates.emplace_back("/usr/bin/halvo-meshtastic-bridge");
    for (auto& candidate : candidates) {
        if (isExecutableFile(candidate)) return std::move(candidate);
    }
    return std::nullopt;
}

void MeshRadio::setApplicationFolder(std::string folder) { applicationFolder() = std::move(folder); }

std::string MeshRadio::bridgeStatus() { return installedBridgeURL() ? "Installed" : "Not installed"; }

std::string MeshRadio::deviceFolder() {
    auto folder = environmentValue("CORVANE_DEVICE_DIR");
    return folder.empty() ? "/dev" : folder;
}

std::vector<std::string> MeshRadio::availablePorts() {
    const auto folder = deviceFolder();
    std::vector<std::string> ports;
    DIR* directory = ::opendir(folder.c_str());
    if (directory == nullptr) return ports;
    while (const dirent* entry = ::readdir(directory)) {
        const std::string_view name(entry->d_name);
        if (MeshtasticSerialPort::isSupportedDeviceName(name)) ports.push_back(folder + "/" + std::string(name));
    }
    ::closedir(directory);
    std::sort(ports.begin(), ports.end());
    return ports;
}

template <typename T>
void MeshRadio::resolve(const Completion<T>& completion, std::type_identity_t<Result<T, MeshRadioError>> result) {
    if (!completion) return;
    if (callDepth_ == 0) {
        completion(std::move(result));
        return;
    }
    loop_.post([alive = std::weak_ptr<int>(alive_), completion, result = std::move(result)]() mutable {
        if (!alive.expired()) completion(std::move(result));
    });
}

void MeshRadio::setStopHandler(StopHandler onStopped) { onStopped_ = std::move(onStopped); }

bool MeshRadio::isRunning() const { return process_ && process_->isRunning(); }

bool MeshRadio::isCurrent(std::uint64_t generation) const { return process_ && generation_ == generation; }

void MeshRadio::connect(std::optional<std::string> port, EventHandler onEvent, Completion<std::string> completion) {
    CallScope scope(*this);
    disconnectThen([this, port = std::move(port), onEvent = std::move(onEvent),
                    completion = std::move(completion)]() mutable {
        continueConnect(std::move(port), std::move(onEvent), std::move(completion));
    });
}

void MeshRadio::continueConnect(std::optional<std::string> port, EventHandler onEvent,
                                Completion<std::string> completion) {
    std::string device;
    if (port && (isNetworkRadioPort(*port) || fileExists(*port))) {
        device = std::move(*port);
    } else {
        auto ports = availablePorts();
        if (ports.empty()) {
            resolve(completion, fail(MeshRadioError::noRadio()));
            return;
        }
        device = std::move(ports.front());
    }
    eventHandler_ = std::move(onEvent);
    if (auto launched = launchBridge(); !launched) {
        resolve(completion, fail(launched.error()));
        return;
    }
    MeshtasticBridgeRequest connectRequest(MeshtasticBridgeCommand::connect);
    connectRequest.port = std::move(device);
    request(std::move(connectRequest), timeouts_.connect,
            [completion = std::move(completion)](const Result<MeshtasticBridgeResponse, MeshRadioError>& reply) {
                if (!reply) return call(completion, fail(reply.error()));
                if (reply->protocolVersion != kMeshtasticBridgeProtocolVersion ||
                    reply->event != MeshtasticBridgeEvent::connected || !reply->port) {
                    return call(completion, fail(MeshRadioError::invalidBridgeReply()));
                }
                call(completion, Result<std::string, MeshRadioError>(*reply->port));
            });
}

void MeshRadio::disconnect(Completion<Done> completion) {
    CallScope scope(*this);
    disconnectThen([this, completion = std::move(completion)] { resolve(completion, Result<Done, MeshRadioError>(Done{})); });
}

void MeshRadio::disconnectThen(std::function<void()> next) {
    if (!isRunning()) {
        stopBridge(MeshRadioError::cancelled());
        next();
        return;
    }
    // Resolving the disconnect request may come late (after its time-out or
    // after a newer connect); only the child it was sent to is stopped then.
    const auto generation = generation_;
    request(MeshtasticBridgeRequest(MeshtasticBridgeCommand::disconnect), timeouts_.disconnect,
            [this, generation, next = std::move(next)](const Result<MeshtasticBridgeResponse, MeshRadioError>&) {
                if (isCurrent(generation)) stopBridge(MeshRadioError::cancelled());
                next();
            });
}

void MeshRadio::sendText(std::string text, std::optional<std::uint32_t> recipient, std::uint32_t channel,
                         Completion<std::uint32_t> completion) {
    CallScope scope(*this);
    MeshtasticBridgeRequest sendRequest(MeshtasticBridgeCommand::sendText);
    sendRequest.text = std::move(text);
    sendRequest.recipient = recipient;
    sendRequest.channel = channel;
    request(std::move(sendRequest), timeouts_.request,
            [completion = std::move(completion)](const Result<MeshtasticBridgeResponse, MeshRadioError>& reply) {
                if (!reply) return call(completion, fail(reply.error()));
                if (reply->event != MeshtasticBridgeEvent::sent || !reply->packetID) {
                    return call(completion, fail(MeshRadioError::invalidBridgeReply()));
                }
                call(completion, Result<std::uint32_t, MeshRadioError>(*reply->packetID));
            });
}

namespace {

// The settings requests only care whether the bridge accepted them.
MeshRadio::Completion<MeshtasticBridgeResponse> discardingReply(MeshRadio::Completion<Done> completion) {
    return [completion = std::move(completion)](const Result<MeshtasticBridgeResponse, MeshRadioError>& reply) {
        if (!reply) return call(completion, fail(reply.error()));
        call(completion, Result<Done, MeshRadioError>(Done{}));
    };
}

}  // namespace

void MeshRadio::requestRadioSettings(Completion<Done> completion) {
    requestRadioSettings(SettingsRead::now, std::move(completion));
}

void MeshRadio::requestRadioSettings(SettingsRead when, Completion<Done> completion) {
    CallScope scope(*this);
    request(MeshtasticBridgeRequest(MeshtasticBridgeCommand::readRadioSettings),
            when == SettingsRead::afterRestart ? timeouts_.restartRead : timeouts_.request,
            discardingReply(std::move(completion)));
}

void MeshRadio::applyRadioSettings(const MeshtasticRadioSettings& settings, Completion<Done> completion) {
    CallScope scope(*this);
    MeshtasticBridgeRequest applyRequest(MeshtasticBridgeCommand::applyRadioSettings);
    applyRequest.settings = settings;
    request(std::move(applyRequest), timeouts_.request, discardingReply(std::move(completion)));
}

Result<Done, MeshRadioError> MeshRadio::launchBridge() {
    if (process_) return Done{};
    auto executable = installedBridgeURL();
    if (!executable) return fail(MeshRadioError::bridgeMissing());
    auto process = makeProcess_();
    const auto generation = generation_ + 1;
    BridgeProcess::Notices notices;
    notices.onLine = [this, generation](std::string_view line) {
        if (isCurrent(generation)) receive(line);
    };
    notices.onReadFailure = [this, generation](const std::string& message) {
        stopUnexpectedly(generation, MeshRadioError::readFailed(message));
    };
    // A child that no longer takes requests cannot answer any: waiting for
    // the time-outs would only hide that.
    notices.onWriteFailure = [this, generation](const std::string& message) {
        stopUnexpectedly(generation, MeshRadioError::writeFailed(message));
    };
    notices.onExit = [this, generation] { processExited(generation); };
    auto started = process->start(*executable, {"serve", "--jsonl"}, std::move(notices));
    if (!started) return fail(MeshRadioError::launchFailed(started.error()));
    generation_ = generation;
    process_ = std::move(process);
    return Done{};
}

void MeshRadio::processExited(std::uint64_t generation) {
    stopUnexpectedly(generation, MeshRadioError::bridgeStopped());
    // The instance is inside its own notice now; free it once that returns.
    loop_.post([this, alive = std::weak_ptr<int>(alive_), generation] {
        if (alive.expired()) return;
        std::erase_if(retired_, [generation](const Retired& retired) { return retired.generation == generation; });
    });
}

void MeshRadio::stopUnexpectedly(std::uint64_t generation, const MeshRadioError& error) {
    if (!isCurrent(generation)) return;
    stopBridge(error);
    if (auto onStopped = onStopped_) onStopped(error);
}

std::optional<MeshRadio::Pending> MeshRadio::takePending(const Uuid& requestID) {
    auto node = pending_.extract(requestID);
    if (node.empty()) return std::nullopt;
    return std::move(node.mapped());
}

void MeshRadio::request(MeshtasticBridgeRequest bridgeRequest, EventLoop::Duration timeout,
                        Completion<MeshtasticBridgeResponse> completion) {
    if (!isRunning()) {
        resolve(completion, fail(MeshRadioError::bridgeStopped()));
        return;
    }
    const auto line = encodeLine(bridgeRequest);
    if (!line) {
        resolve(completion, fail(MeshRadioError::unencodableRequest()));
        return;
    }
    const auto id = bridgeRequest.requestID;
    pending_.emplace(id, Pending{std::move(completion), TimerHandle()});
    if (auto written = process_->writeLine(*line); !written) {
        if (auto entry = takePending(id)) resolve(entry->completion, fail(MeshRadioError::writeFailed(written.error())));
        return;
    }
    const auto entry = pending_.find(id);
    if (entry == pending_.end()) return;
    entry->second.timeout = loop_.singleShot(timeout, [this, id] {
        if (auto timedOut = takePending(id)) resolve(timedOut->completion, fail(MeshRadioError::requestTimedOut()));
    });
}

void MeshRadio::receive(std::string_view line) {
    const auto response = decodeMeshtasticBridgeResponse(line);
    if (!response) return;
    if (response->protocolVersion != kMeshtasticBridgeProtocolVersion) {
        stopUnexpectedly(generation_, MeshRadioError::bridge(kIncompatibleVersionText));
        return;
    }
    if (response->requestID) {
        if (auto entry = takePending(*response->requestID)) {
            if (response->event == MeshtasticBridgeEvent::error) {
                resolve(entry->completion, fail(MeshRadioError::bridge(response->error.value_or(kDefaultBridgeErrorText))));
            } else {
                resolve(entry->completion, Result<MeshtasticBridgeResponse, MeshRadioError>(*response));
            }
        }
        if (response->event == MeshtasticBridgeEvent::connected || response->event == MeshtasticBridgeEvent::sent) {
            return;
        }
    }
    // A copy, because the handler may replace itself through connect().
    if (auto handler = eventHandler_) handler(*response);
}

void MeshRadio::stopBridge(const MeshRadioError& error) {
    if (process_) {
        if (process_->isRunning()) process_->terminate();
        // Kept until its exit notice: freeing it now would wait for the child.
        retired_.push_back(Retired{generation_, std::move(process_)});
    }
    auto pending = std::move(pending_);
    pending_.clear();
    for (auto& [id, entry] : pending) {
        entry.timeout.cancel();
        resolve(entry.completion, fail(error));
    }
}

}  // namespace corvane
