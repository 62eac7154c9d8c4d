// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The BridgeProcess adapter on QProcess: one instance, one child. Standard
// output, a pipe of the adapter's own so its end is seen while the child
// still runs, is split into lines with LineSplitter; standard error is read
// and thrown away as it arrives. All notices come from Qt's event loop of the
// thread that started the child. Because an instance never runs a second
// child, a late notice can only ever concern its own child. The child gets
// SIGTERM when this process dies (PR_SET_PDEATHSIG). Stopping it closes its
// standard input, sends SIGTERM and kills it two seconds later if it is still
// there. Destroying the instance ends a child still running: end of input and
// SIGTERM, at most about a second of waiting, then SIGKILL and reaping.
#include <memory>

#include "app/ports/BridgeProcess.h"
#include "core/LineSplitter.h"

class QProcess;
class QSocketNotifier;

namespace corvane {

class QProcessBridgeProcess final : public BridgeProcess {
public:
    QProcessBridgeProcess();
    ~QProcessBridgeProcess() override;

    Result<Done, std::string> start(const std::string& executable, const std::vector<std::string>& arguments,
                                    Notices notices) override;
    Result<Done, std::string> writeLine(std::string_view line) override;
    void terminate() override;
    bool isRunning() const override;

private:
    void readOutput();
    void finished();
    void readFailed();
    void writeFailed();
    void closeOutput();
    // True when a notice arrived inside writeLine(); it is then re-run from
    // the loop, as the port promises.
    bool deferred(void (QProcessBridgeProcess::*notice)());

    std::unique_ptr<QProcess> process_;
    int outputFd_ = -1;
    std::unique_ptr<QSocketNotifier> outputNotifier_;
    Notices notices_;
    LineSplitter splitter_;
    bool exited_ = false;
    bool writing_ = false;
    bool writeRefused_ = false;
};

}  // namespace corvane
