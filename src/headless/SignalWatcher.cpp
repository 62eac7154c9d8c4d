#include "headless/SignalWatcher.h"

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace corvane {
namespace {

int signalPipe[2] = {-1, -1};
std::atomic<int> signalsSeen{0};

extern "C" void onTerminationSignal(int signal) {
    if (signalsSeen.fetch_add(1) >= 1) _exit(128 + signal);
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const auto written = write(signalPipe[1], &byte, 1);
}

}  // namespace

SignalWatcher::SignalWatcher(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal)) {
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        unsigned char byte = 0;
        while (read(signalPipe[0], &byte, 1) == 1) onSignal_(byte);
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

SignalWatcher::~SignalWatcher() {
    // Signals during the rest of the shutdown still end the process: the
    // handler stays, only the loop side goes.
    notifier_.reset();
}

}  // namespace corvane
