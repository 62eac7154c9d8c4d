// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Turns SIGINT, SIGTERM and SIGHUP (the terminal or the service manager going
// away) into a call on the Qt event loop (through a self-pipe, the only safe
// way out of a signal handler), so the program can shut down in order.
// SIGPIPE is ignored: a closed standard output shows as a failed write, which
// the printer turns into an orderly end. A second signal ends the process at
// once, removing the folder named by removeOnFastExit() first (the demo's
// temporary folder). One instance per process, created on the main thread.
#include <functional>
#include <memory>
#include <string>

class QSocketNotifier;

namespace corvane {

class SignalWatcher {
public:
    explicit SignalWatcher(std::function<void(int signal)> onSignal);
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

    // The folder a fast exit removes (with /bin/rm, which a signal handler
    // may start); empty, or too long a path, removes nothing.
    static void removeOnFastExit(const std::string& folder);

private:
    std::function<void(int)> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace corvane
