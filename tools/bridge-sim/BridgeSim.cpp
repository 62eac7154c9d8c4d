// SPDX-License-Identifier: GPL-3.0-or-later
#include "BridgeSim.h"

#include <sys/stat.h>
#include <time.h>

#include <chrono>
#include <thread>
#include <utility>
#include <variant>

#include "core/NetworkRadioAddress.h"

namespace corvane::sim {
namespace {

using namespace std::chrono_literals;

constexpr auto kRestartDuration = 1500ms;
constexpr auto kGarbageSplitPause = 20ms;

MeshtasticRadioSettings initialSettings() {
    // Close to the recommended setup but not equal to it, so that applying
    // the recommendation visibly changes something.
    MeshtasticRadioSettings settings = MeshtasticRadioSettings::recommended();
    settings.hopLimit = 4;
    settings.rxBoostedGain = false;
    return settings;
}

}  // namespace

BridgeSim::BridgeSim(SimOptions options, std::optional<SimScript> script, SimLoop& loop, SimOutput& out,
                     SimOutput& err, std::unique_ptr<SimOutput> log, std::unique_ptr<SimOutput> stamps)
    : options_(std::move(options)),
      script_(std::move(script)),
      loop_(loop),
      out_(out),
      err_(err),
      log_(std::move(log)),
      stamps_(std::move(stamps)),
      demo_(loop, options_.speed, [this](MeshtasticBridgeResponse response) { news(std::move(response)); }),
      settings_(initialSettings()) {}

void BridgeSim::start() { flood(options_.stderrFlood); }

void BridgeSim::feed(std::string_view chunk) {
    splitter_.feed(chunk, [this](std::string_view line) {
        if (!loop_.stopping()) receiveLine(line);
    });
}

void BridgeSim::finish() {
    splitter_.finish([this](std::string_view line) {
        if (!loop_.stopping()) receiveLine(line);
    });
}

void BridgeSim::receiveLine(std::string_view line) {
    if (log_) {
        std::string entry(line);
        entry.push_back('\n');
        log_->write(entry);
    }
    ++requestsRead_;
    const bool lastBeforeExit = options_.exitAfter && requestsRead_ == *options_.exitAfter;
    if (lastBeforeExit && options_.exitBeforeAnswer) {
        loop_.stop(3);
        return;
    }
    const auto request = decodeMeshtasticBridgeRequest(line);
    if (!request) {
        MeshtasticBridgeResponse response;
        response.protocolVersion = options_.protocolVersion;
        response.event = MeshtasticBridgeEvent::error;
        response.error = "Unreadable request line";
        std::function<void()> afterWrite;
        if (lastBeforeExit) afterWrite = [this] { loop_.stop(3); };
        queue(Reply{encodeLine(response).value_or(std::string()), std::move(afterWrite)});
        return;
    }
    handle(*request, lastBeforeExit);
}

void BridgeSim::handle(const MeshtasticBridgeRequest& request, bool lastBeforeExit) {
    if (options_.noAnswer.contains(request.command)) {
        if (lastBeforeExit) loop_.stop(3);
        return;
    }
    std::function<void()> afterWrite;
    const auto response = answer(request, afterWrite);
    if (lastBeforeExit) afterWrite = [this] { loop_.stop(3); };
    auto line = encodeLine(response);
    if (!line) {
        // Only a stored settings value could fail to encode; say so rather
        // than leave the caller waiting for its time-out.
        MeshtasticBridgeResponse failure;
        failure.protocolVersion = options_.protocolVersion;
        failure.requestID = request.requestID;
        failure.event = MeshtasticBridgeEvent::error;
        failure.error = "Reply could not be encoded";
        line = encodeLine(failure);
    }
    queue(Reply{line.value_or(std::string()), std::move(afterWrite)});
}

MeshtasticBridgeResponse BridgeSim::answer(const MeshtasticBridgeRequest& request,
                                           std::function<void()>& afterWrite) {
    MeshtasticBridgeResponse response;
    response.protocolVersion = options_.protocolVersion;
    response.requestID = request.requestID;
    const auto refuse = [&response](std::string text) {
        response.event = MeshtasticBridgeEvent::error;
        response.error = std::move(text);
        return response;
    };
    if (request.protocolVersion != kMeshtasticBridgeProtocolVersion) {
        return refuse("Unsupported protocol version " + std::to_string(request.protocolVersion));
    }
    if (const auto configured = options_.errors.find(request.command); configured != options_.errors.end()) {
        response.event = MeshtasticBridgeEvent::error;
        response.error = configured->second;
        return response;
    }
    switch (request.command) {
    case MeshtasticBridgeCommand::connect: {
        if (!request.port) return refuse("connect needs a port");
        struct stat info {};
        if (isNetworkRadioPort(*request.port)) {
            // The stand-in's mesh is the same behind a network radio; only the name is checked.
            if (auto checked = parseNetworkRadioPort(*request.port); !checked) {
                return refuse("Not a network radio address: " + request.port->substr(kNetworkRadioPrefix.size()));
            }
        } else if (options_.checkPort && ::stat(request.port->c_str(), &info) != 0) {
            return refuse("No such device: " + *request.port);
        }
        response.event = MeshtasticBridgeEvent::connected;
        response.port = request.port;
        afterWrite = [this] { connected(); };
        return response;
    }
    case MeshtasticBridgeCommand::disconnect:
        response.event = MeshtasticBridgeEvent::disconnected;
        response.status = "Disconnected";
        afterWrite = [this] {
            ++scriptRun_;
            demo_.stop();
        };
        return response;
    case MeshtasticBridgeCommand::sendText:
        if (!request.text) return refuse("sendText needs a text");
        response.event = MeshtasticBridgeEvent::sent;
        response.packetID = nextPacketID_++;
        if (options_.demo) afterWrite = [this, request] { demo_.textSent(request); };
        return response;
    case MeshtasticBridgeCommand::readRadioSettings:
        response.event = MeshtasticBridgeEvent::radioSettings;
        response.settings = settings_;
        return response;
    case MeshtasticBridgeCommand::applyRadioSettings:
        if (!request.settings) return refuse("applyRadioSettings needs settings");
        settings_ = *request.settings;
        response.event = MeshtasticBridgeEvent::status;
        response.status = "Settings applied";
        if (options_.restartAfterApply) afterWrite = [this] { simulateRestart(); };
        return response;
    }
    return refuse("Unknown command");
}

void BridgeSim::queue(Reply reply) {
    if (options_.reverse < 2) {
        release(std::move(reply));
        return;
    }
    held_.push_back(std::move(reply));
    if (held_.size() < options_.reverse) return;
    auto batch = std::exchange(held_, {});
    for (auto it = batch.rbegin(); it != batch.rend() && !loop_.stopping(); ++it) release(std::move(*it));
}

void BridgeSim::release(Reply reply) {
    if (options_.replyDelay.count() > 0) {
        loop_.after(options_.replyDelay, [this, reply = std::move(reply)] { writeReply(reply); });
        return;
    }
    writeReply(reply);
}

void BridgeSim::writeReply(const Reply& reply) {
    flood(options_.stderrFlood);
    if (options_.oversized > 0) {
        // A decodable status line, so a reader that fails to drop it shows it.
        const std::string head = "{\"protocolVersion\":" + std::to_string(options_.protocolVersion) +
                                 ",\"event\":\"status\",\"status\":\"";
        const std::string tail = "\"}";
        const std::size_t size = options_.oversized;
        std::string line = head.size() + tail.size() <= size
                               ? head + std::string(size - head.size() - tail.size(), 'x') + tail
                               : std::string(size, 'x');
        line.push_back('\n');
        writeLine(line);
    }
    if (options_.garbage) {
        writeLine("\x01this is not JSON {\n");
        writeLine("\n");
        writeLine("{\"protocolVersion\":" + std::to_string(options_.protocolVersion) +
                  ",\"event\":\"noSuchEvent\"}\r\n");
        std::string line = reply.line;
        if (!line.empty() && line.back() == '\n') line.pop_back();
        line += "\r\n";
        const auto half = line.size() / 2;
        writeLine(std::string_view(line).substr(0, half));
        std::this_thread::sleep_for(kGarbageSplitPause);
        writeLine(std::string_view(line).substr(half));
    } else {
        writeLine(reply.line);
    }
    if (!loop_.stopping() && reply.afterWrite) reply.afterWrite();
}

void BridgeSim::writeLine(std::string_view line) {
    if (!out_.write(line)) loop_.stop(1);
}

long long BridgeSim::stampNow() const {
    if (!stamps_) return 0;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<long long>(now.tv_sec) * 1000000LL + now.tv_nsec / 1000;
}

void BridgeSim::stamp(long long micros) {
    if (stamps_) stamps_->write(std::to_string(micros) + "\n");
}

void BridgeSim::news(MeshtasticBridgeResponse response) {
    if (loop_.stopping()) return;
    response.protocolVersion = options_.protocolVersion;
    if (const auto line = encodeLine(response)) writeLine(*line);
}

void BridgeSim::flood(std::size_t bytes) {
    // A parent that stopped reading standard error is not our failure to report.
    if (bytes > 0) err_.writeFiller(bytes);
}

void BridgeSim::connected() {
    ++scriptRun_;
    if (options_.demo) {
        demo_.start();
    } else if (options_.localNode) {
        MeshtasticBridgeResponse local;
        local.event = MeshtasticBridgeEvent::localNode;
        local.localNodeID = options_.localNode;
        news(local);
    }
    if (script_) playScript(0, scriptRun_);
}

void BridgeSim::simulateRestart() {
    MeshtasticBridgeResponse restarting;
    restarting.event = MeshtasticBridgeEvent::status;
    restarting.status = "Radio restarting";
    news(restarting);
    loop_.after(options_.scaled(kRestartDuration), [this, run = scriptRun_] {
        if (run != scriptRun_) return;
        MeshtasticBridgeResponse back;
        back.event = MeshtasticBridgeEvent::status;
        back.status = "Connected";
        news(back);
        const auto localNode = options_.demo ? std::optional<std::uint32_t>(kDemoLocalNodeNumber) : options_.localNode;
        if (localNode) {
            MeshtasticBridgeResponse local;
            local.event = MeshtasticBridgeEvent::localNode;
            local.localNodeID = localNode;
            news(local);
        }
    });
}

void BridgeSim::playScript(std::size_t step, std::uint64_t run) {
    for (; step < script_->steps.size() && run == scriptRun_ && !loop_.stopping(); ++step) {
        const auto& current = script_->steps[step];
        if (const auto* line = std::get_if<SimScript::Line>(&current)) {
            const auto writing = stampNow();
            writeLine(line->text + "\n");
            stamp(writing);
        } else if (const auto* sleep = std::get_if<SimScript::Sleep>(&current)) {
            loop_.after(sleep->duration, [this, step, run] { playScript(step + 1, run); });
            return;
        } else if (const auto* exit = std::get_if<SimScript::Exit>(&current)) {
            loop_.stop(exit->status);
            return;
        } else if (const auto* bytes = std::get_if<SimScript::Stderr>(&current)) {
            flood(bytes->bytes);
        }
    }
}

}  // namespace corvane::sim
