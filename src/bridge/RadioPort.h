// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The byte stream to one radio: its USB serial device, opened the way the
// Meshtastic device API expects it (raw 8N1 at 115200 baud, no controlling
// terminal, exclusive, HUPCL cleared so that closing does not drop DTR and the
// next open does not reset the board), or, for a port named "tcp:HOST[:PORT]",
// a TCP connection to a network radio (port 4403 unless given), which serves
// the same framed stream. Non-blocking for poll(). Owned by the session; one
// thread. Closing happens in the destructor. Errors come back as texts the
// user can act on.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/Result.h"

namespace corvane::bridge {

class RadioPort {
public:
    static constexpr std::uint16_t kDefaultTcpPort = 4403;

    static Result<std::unique_ptr<RadioPort>, std::string> open(const std::string& name);
    ~RadioPort();
    RadioPort(const RadioPort&) = delete;
    RadioPort& operator=(const RadioPort&) = delete;

    // Host and port of a "tcp:" name; absent for a device path. A malformed
    // name gives a host that is empty.
    struct TcpAddress {
        std::string host;
        std::uint16_t port = kDefaultTcpPort;
    };
    static std::optional<TcpAddress> tcpAddress(std::string_view name);

    int fd() const { return fd_; }
    bool isNetwork() const { return network_; }
    // Writes everything or reports failure (the port is gone or stuck).
    bool write(std::string_view bytes);

    enum class ReadStatus { data, nothing, lost };
    // Appends what is waiting to `into`.
    ReadStatus read(std::string& into);

private:
    RadioPort(int fd, bool network) : fd_(fd), network_(network) {}
    static Result<std::unique_ptr<RadioPort>, std::string> openSerial(const std::string& path);
    static Result<std::unique_ptr<RadioPort>, std::string> openTcp(const TcpAddress& address);

    int fd_;
    bool network_;
};

}  // namespace corvane::bridge
