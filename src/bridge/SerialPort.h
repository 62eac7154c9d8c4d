// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The radio's USB serial device, opened the way the Meshtastic device API
// expects it: raw 8N1 at 115200 baud, no controlling terminal, exclusive, non-
// blocking for poll(). Owned by the session; one thread. Closing happens in
// the destructor. Errors come back as texts the user can act on.
#include <memory>
#include <string>
#include <string_view>

#include "core/Result.h"

namespace corvane::bridge {

class SerialPort {
public:
    static Result<std::unique_ptr<SerialPort>, std::string> open(const std::string& path);
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    int fd() const { return fd_; }
    // Writes everything or reports failure (the port is gone or stuck).
    bool write(std::string_view bytes);

    enum class ReadStatus { data, nothing, lost };
    // Appends what is waiting to `into`.
    ReadStatus read(std::string& into);

private:
    explicit SerialPort(int fd) : fd_(fd) {}
    int fd_;
};

}  // namespace corvane::bridge
