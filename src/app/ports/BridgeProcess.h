// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One child process speaking JSON lines on its standard input and output: the
// Halvo Meshtastic Bridge. MeshRadio owns each instance and makes a fresh one
// for every launch, so every notice an instance gives belongs to its one child.
// Used on the loop thread only. Contract that adapters and fakes keep:
// - start() launches `executable` with exactly `arguments`, the environment
//   inherited; it returns the platform's error text when the child cannot be
//   started, and then no notice ever follows. start() is called at most once.
// - writeLine() hands one whole line to the child's standard input in one
//   write; it fails (with a readable text) when the child is gone or the
//   write is refused (the child closed its input, say). A refusal noticed
//   only later, for bytes the pipe could not take at once, is onWriteFailure.
// - The owner never destroys an instance from inside one of its notices (it
//   defers that to the loop).
// - onLine delivers the child's standard output split into lines (LF, CR or
//   CRLF; empty lines skipped; a line over 1 MiB dropped whole), in arrival
//   order, one call per line, a trailing unterminated line when the output
//   ends (the output closing, not only the child exiting). Standard error is read and discarded so the child never blocks on it.
// - onReadFailure is given when reading the output fails; onExit exactly once
//   when the child has ended, after the last of its lines.
// - Notices are delivered from the loop, never from inside start(),
//   writeLine() or terminate(); none is delivered after the instance is
//   destroyed.
// - terminate() asks the child to end (end of input, SIGTERM) and makes sure
//   it does (SIGKILL after a short grace), so onExit follows; isRunning() is
//   true from a successful start until the child has been seen to end.
// - Destroying an instance whose child still runs ends and reaps that child
//   within about a second (SIGTERM, then SIGKILL).
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Result.h"

namespace corvane {

class BridgeProcess {
public:
    struct Notices {
        std::function<void(std::string_view line)> onLine;
        std::function<void(const std::string& message)> onReadFailure;
        std::function<void(const std::string& message)> onWriteFailure;
        std::function<void()> onExit;
    };

    virtual ~BridgeProcess() = default;

    virtual Result<Done, std::string> start(const std::string& executable, const std::vector<std::string>& arguments,
                                            Notices notices) = 0;
    virtual Result<Done, std::string> writeLine(std::string_view line) = 0;
    virtual void terminate() = 0;
    virtual bool isRunning() const = 0;

protected:
    BridgeProcess() = default;
    BridgeProcess(const BridgeProcess&) = delete;
    BridgeProcess& operator=(const BridgeProcess&) = delete;
};

}  // namespace corvane
