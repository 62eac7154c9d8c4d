#pragma once
// Turns SIGINT and SIGTERM into a call on the Qt event loop (through a
// self-pipe, the only safe way out of a signal handler), so the program can
// shut down in order. A second signal ends the process at once. One instance
// per process, created on the main thread.
#include <functional>
#include <memory>

class QSocketNotifier;

namespace corvane {

class SignalWatcher {
public:
    explicit SignalWatcher(std::function<void(int signal)> onSignal);
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

private:
    std::function<void(int)> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace corvane
