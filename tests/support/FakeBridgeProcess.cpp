// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/FakeBridgeProcess.h"

#include <stdexcept>

namespace corvane {

void FakeBridgeProcess::Child::output(std::string_view chunk) {
    if (destroyed || exited || !notices.onLine) return;
    splitter.feed(chunk, [this](std::string_view line) {
        if (!destroyed) notices.onLine(line);
    });
}

void FakeBridgeProcess::Child::readFailure(const std::string& message) {
    if (destroyed || exited || !notices.onReadFailure) return;
    notices.onReadFailure(message);
}

void FakeBridgeProcess::Child::exit() {
    if (destroyed || exited || !started) return;
    splitter.finish([this](std::string_view line) {
        if (!destroyed) notices.onLine(line);
    });
    exited = true;
    running = false;
    if (!destroyed && notices.onExit) notices.onExit();
}

MeshtasticBridgeRequest FakeBridgeProcess::Child::request(int index) const {
    const auto size = static_cast<int>(written.size());
    const auto position = index < 0 ? size + index : index;
    if (position < 0 || position >= size) throw std::out_of_range("no such written line");
    auto decoded = decodeMeshtasticBridgeRequest(written[static_cast<std::size_t>(position)]);
    if (!decoded) throw std::runtime_error("written line is not a request: " + written[static_cast<std::size_t>(position)]);
    return *decoded;
}

FakeBridgeProcess::~FakeBridgeProcess() {
    if (child_->running) {
        // What the real adapter does to a child that outlives it.
        ++child_->terminateCount;
        child_->running = false;
    }
    child_->destroyed = true;
    child_->notices = {};
}

Result<Done, std::string> FakeBridgeProcess::start(const std::string& executable,
                                                   const std::vector<std::string>& arguments, Notices notices) {
    child_->executable = executable;
    child_->arguments = arguments;
    if (child_->startFailure) return fail(*child_->startFailure);
    child_->started = true;
    child_->running = true;
    child_->notices = std::move(notices);
    return Done{};
}

Result<Done, std::string> FakeBridgeProcess::writeLine(std::string_view line) {
    if (child_->writeFailure) return fail(*std::exchange(child_->writeFailure, std::nullopt));
    if (!child_->running) return fail(std::string("Broken pipe"));
    child_->written.emplace_back(line);
    return Done{};
}

void FakeBridgeProcess::terminate() { ++child_->terminateCount; }

std::function<std::unique_ptr<BridgeProcess>()> FakeBridgeFactory::factory() {
    return [this] {
        auto child = std::make_shared<FakeBridgeProcess::Child>();
        child->startFailure = std::exchange(nextStartFailure, std::nullopt);
        children.push_back(child);
        return std::make_unique<FakeBridgeProcess>(child);
    };
}

}  // namespace corvane
