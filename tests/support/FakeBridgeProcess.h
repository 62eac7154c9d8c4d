// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A scripted BridgeProcess for unit tests. The test keeps the shared Child
// record of every instance (through FakeBridgeFactory) and plays the child's
// part: it reads the lines written, delivers output chunks, read failures and
// the exit. Deliveries run synchronously when the test calls them, which
// stands for the loop handing the notice over; they do nothing once the
// instance is destroyed or (for output) after the exit, as the port's
// contract says. Single-threaded.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/ports/BridgeProcess.h"
#include "core/LineSplitter.h"
#include "core/MeshtasticBridgeRequest.h"

namespace corvane {

class FakeBridgeProcess final : public BridgeProcess {
public:
    struct Child {
        std::string executable;
        std::vector<std::string> arguments;
        std::vector<std::string> written;
        bool started = false;
        bool running = false;
        bool destroyed = false;
        bool exited = false;
        int terminateCount = 0;
        // Scripted failures of the next calls.
        std::optional<std::string> startFailure;
        std::optional<std::string> writeFailure;

        // Raw output bytes, split into lines as the real adapter does.
        void output(std::string_view chunk);
        void readFailure(const std::string& message);
        // Ends the child: a last unterminated line is delivered, then the exit.
        void exit();
        // The request carried by written line `index` (negative counts from the end).
        MeshtasticBridgeRequest request(int index = -1) const;

        Notices notices;
        LineSplitter splitter;
    };

    explicit FakeBridgeProcess(std::shared_ptr<Child> child) : child_(std::move(child)) {}
    ~FakeBridgeProcess() override;

    Result<Done, std::string> start(const std::string& executable, const std::vector<std::string>& arguments,
                                    Notices notices) override;
    Result<Done, std::string> writeLine(std::string_view line) override;
    void terminate() override;
    bool isRunning() const override { return child_->running; }

private:
    std::shared_ptr<Child> child_;
};

// Makes a fresh FakeBridgeProcess per launch and keeps every Child record.
class FakeBridgeFactory {
public:
    std::function<std::unique_ptr<BridgeProcess>()> factory();
    std::vector<std::shared_ptr<FakeBridgeProcess::Child>> children;
    // Applied to the next child made, then cleared.
    std::optional<std::string> nextStartFailure;

    FakeBridgeProcess::Child& last() { return *children.back(); }
};

}  // namespace corvane
