// SPDX-License-Identifier: GPL-3.0-or-later
// halvo-meshtastic-bridge: speaks the application's JSON-line protocol on
// standard input and output and the Meshtastic device API on a USB serial
// port. Started by corvane as `halvo-meshtastic-bridge serve --jsonl`.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include <google/protobuf/stubs/common.h>

#include "BridgeLoop.h"
#include "BridgeSession.h"
#include "core/WriteAll.h"

namespace {

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    const int saved = errno;
    const char byte = 1;
    (void)!::write(signalPipe[1], &byte, 1);
    errno = saved;
}

constexpr const char* kUsage =
    "usage: halvo-meshtastic-bridge serve --jsonl\n"
    "Bridges Corvane to a Meshtastic radio on a USB serial port; JSON lines on standard input and output.\n";

}  // namespace

int main(int argc, char** argv) {
    using namespace corvane::bridge;
    using corvane::writeAll;
    if (argc != 3 || std::string_view(argv[1]) != "serve" || std::string_view(argv[2]) != "--jsonl") {
        std::fputs(kUsage, stderr);
        return 2;
    }
    // A vanished reader must show up as a failed write, not kill us silently.
    std::signal(SIGPIPE, SIG_IGN);
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return 1;
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);

    int status = 0;
    {
        BridgeLoop loop;
        BridgeSession session(
            loop, [](std::string_view line) { return writeAll(STDOUT_FILENO, line); },
            [](std::string_view text) {
                (void)writeAll(STDERR_FILENO, text);
                return true;
            });
        loop.watch(signalPipe[0], [&] {
            session.shutdown();
            loop.stop(0);
        });
        loop.watch(STDIN_FILENO, [&] {
            char buffer[65536];
            const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (count > 0) {
                session.feed(std::string_view(buffer, static_cast<std::size_t>(count)));
                return;
            }
            if (count < 0 && (errno == EINTR || errno == EAGAIN)) return;
            session.shutdown();
            loop.stop(0);
        });
        session.start();
        status = loop.run();
        // Also when the loop ended on a failed write to the application.
        session.shutdown();
    }
    // The session and its messages are gone; this frees protobuf's default
    // instances, so leak checkers see a clean exit.
    google::protobuf::ShutdownProtobufLibrary();
    return status;
}
