// SPDX-License-Identifier: GPL-3.0-or-later
#include "RadioPort.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

namespace corvane::bridge {
namespace {

// A radio that accepts nothing for this long is treated as gone.
constexpr int kWriteStallMilliseconds = 2000;
// A network radio on the local network answers well within this.
constexpr int kConnectMilliseconds = 1500;

std::string openErrorText(const std::string& path, int error) {
    switch (error) {
    case EACCES:
    case EPERM: return "Permission denied: add yourself to the dialout group";
    case EBUSY: return path + " is in use by another program.";
    case ENOENT:
    case ENODEV:
    case ENXIO: return "No USB radio at " + path + ".";
    default: return "Cannot open " + path + ": " + std::strerror(error);
    }
}

std::string connectErrorText(const RadioPort::TcpAddress& address, const std::string& why) {
    return "Cannot reach the network radio at " + address.host + ":" + std::to_string(address.port) + ": " + why;
}

}  // namespace

std::optional<RadioPort::TcpAddress> RadioPort::tcpAddress(std::string_view name) {
    constexpr std::string_view kPrefix = "tcp:";
    if (name.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
    name.remove_prefix(kPrefix.size());
    TcpAddress address;
    // "[v6]:port", "host:port", "host" or a bare IPv6 address.
    std::string_view host = name;
    std::string_view port;
    if (!name.empty() && name.front() == '[') {
        const auto close = name.find(']');
        if (close == std::string_view::npos) return TcpAddress{};
        host = name.substr(1, close - 1);
        if (close + 1 < name.size()) {
            if (name[close + 1] != ':') return TcpAddress{};
            port = name.substr(close + 2);
        }
    } else if (const auto colon = name.rfind(':'); colon != std::string_view::npos && name.find(':') == colon) {
        host = name.substr(0, colon);
        port = name.substr(colon + 1);
    }
    if (!port.empty()) {
        unsigned value = 0;
        const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (error != std::errc{} || end != port.data() + port.size() || value == 0 || value > 65535) {
            return TcpAddress{};
        }
        address.port = static_cast<std::uint16_t>(value);
    }
    address.host = std::string(host);
    return address;
}

Result<std::unique_ptr<RadioPort>, std::string> RadioPort::open(const std::string& name) {
    if (const auto address = tcpAddress(name)) {
        if (address->host.empty()) return fail("Not a network radio address: " + name.substr(4));
        return openTcp(*address);
    }
    return openSerial(name);
}

Result<std::unique_ptr<RadioPort>, std::string> RadioPort::openSerial(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(openErrorText(path, errno));
    std::unique_ptr<RadioPort> port(new RadioPort(fd, false));
    if (::ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY) return fail(openErrorText(path, errno));
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) return fail(path + " is not a serial device.");
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    // With HUPCL our close drops DTR and RTS, and boards that wire those to
    // their reset line (Heltec V3 and others) restart at the next open.
    settings.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | CRTSCTS | HUPCL);
    // VMIN 0 would make an empty non-blocking read return 0, which reads as
    // a hang-up; with 1 it fails with EAGAIN instead.
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    ::cfsetispeed(&settings, B115200);
    ::cfsetospeed(&settings, B115200);
    if (::tcsetattr(fd, TCSANOW, &settings) != 0) return fail(openErrorText(path, errno));
    // Boot text buffered before we came is of no use.
    ::tcflush(fd, TCIFLUSH);
    return port;
}

Result<std::unique_ptr<RadioPort>, std::string> RadioPort::openTcp(const TcpAddress& address) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const auto service = std::to_string(address.port);
    if (const int error = ::getaddrinfo(address.host.c_str(), service.c_str(), &hints, &found); error != 0) {
        return fail(connectErrorText(address, ::gai_strerror(error)));
    }
    std::string why = "no address";
    for (addrinfo* candidate = found; candidate; candidate = candidate->ai_next) {
        const int fd = ::socket(candidate->ai_family, candidate->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                                candidate->ai_protocol);
        if (fd < 0) continue;
        std::unique_ptr<RadioPort> port(new RadioPort(fd, true));
        int error = 0;
        if (::connect(fd, candidate->ai_addr, candidate->ai_addrlen) != 0) {
            error = errno;
            if (error == EINPROGRESS) {
                pollfd waiting{.fd = fd, .events = POLLOUT, .revents = 0};
                const int ready = ::poll(&waiting, 1, kConnectMilliseconds);
                socklen_t length = sizeof error;
                if (ready <= 0) {
                    error = ETIMEDOUT;
                } else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
                    error = errno;
                }
            }
        }
        if (error == 0) {
            ::freeaddrinfo(found);
            const int on = 1;
            // Frames are small and answered one by one.
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            return port;
        }
        why = std::strerror(error);
    }
    ::freeaddrinfo(found);
    return fail(connectErrorText(address, why));
}

RadioPort::~RadioPort() {
    if (fd_ >= 0) ::close(fd_);
}

bool RadioPort::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = network_ ? ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL)
                                         : ::write(fd_, bytes.data(), bytes.size());
        if (written > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(written));
            continue;
        }
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && errno != EAGAIN) return false;
        pollfd waiting{.fd = fd_, .events = POLLOUT, .revents = 0};
        if (::poll(&waiting, 1, kWriteStallMilliseconds) <= 0 || (waiting.revents & (POLLERR | POLLHUP))) {
            return false;
        }
    }
    return true;
}

RadioPort::ReadStatus RadioPort::read(std::string& into) {
    char buffer[4096];
    bool any = false;
    for (;;) {
        const ssize_t count = ::read(fd_, buffer, sizeof buffer);
        if (count > 0) {
            into.append(buffer, static_cast<std::size_t>(count));
            any = true;
            // A short read took all there was: asking again would only say
            // EAGAIN, one system call more for every frame.
            if (static_cast<std::size_t>(count) < sizeof buffer) return ReadStatus::data;
            continue;
        }
        if (count < 0 && errno == EINTR) continue;
        if (count < 0 && errno == EAGAIN) return any ? ReadStatus::data : ReadStatus::nothing;
        // End of file, EIO or a reset connection: the radio went away
        // (unplugged, hung up, its network connection dropped).
        return any ? ReadStatus::data : ReadStatus::lost;
    }
}

}  // namespace corvane::bridge
