// SPDX-License-Identifier: GPL-3.0-or-later
#include "headless/SignalWatcher.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <limits.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace corvane {
namespace {

int signalPipe[2] = {-1, -1};
std::atomic<int> signalsSeen{0};

// Everything the handler needs to run "rm -rf -- FOLDER", made beforehand:
// the handler may not allocate.
char fastExitFolder[PATH_MAX] = {};
char rmProgram[] = "/bin/rm";
char rmForce[] = "-rf";
char rmEnd[] = "--";
char* rmArguments[] = {rmProgram, rmForce, rmEnd, fastExitFolder, nullptr};
char* noEnvironment[] = {nullptr};

void removeFastExitFolder() {
    if (fastExitFolder[0] == '\0') return;
    const pid_t child = _Fork();
    if (child == 0) {
        execve(rmProgram, rmArguments, noEnvironment);
        _exit(127);
    }
    if (child > 0) {
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
}

extern "C" void onTerminationSignal(int signal) {
    const int savedErrno = errno;
    if (signalsSeen.fetch_add(1) >= 1) {
        removeFastExitFolder();
        _exit(128 + signal);
    }
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const auto written = write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

}  // namespace

SignalWatcher::SignalWatcher(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal)) {
    std::signal(SIGPIPE, SIG_IGN);
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
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

SignalWatcher::~SignalWatcher() {
    // Signals during the rest of the shutdown still end the process: the
    // handler stays, only the loop side goes.
    notifier_.reset();
}

void SignalWatcher::removeOnFastExit(const std::string& folder) {
    // Cleared first, so a signal now never sees half a path.
    fastExitFolder[0] = '\0';
    if (folder.empty() || folder.size() >= sizeof fastExitFolder) return;
    std::memcpy(fastExitFolder + 1, folder.data() + 1, folder.size() - 1);
    fastExitFolder[folder.size()] = '\0';
    fastExitFolder[0] = folder[0];
}

}  // namespace corvane
