// SPDX-License-Identifier: GPL-3.0-or-later
#include "SerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace corvane::bridge {
namespace {

// A radio that accepts nothing for this long is treated as gone.
constexpr int kWriteStallMilliseconds = 2000;

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

}  // namespace

Result<std::unique_ptr<SerialPort>, std::string> SerialPort::open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(openErrorText(path, errno));
    std::unique_ptr<SerialPort> port(new SerialPort(fd));
    if (::ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY) return fail(openErrorText(path, errno));
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) return fail(path + " is not a serial device.");
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | CRTSCTS);
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

SerialPort::~SerialPort() {
    if (fd_ >= 0) ::close(fd_);
}

bool SerialPort::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
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

SerialPort::ReadStatus SerialPort::read(std::string& into) {
    char buffer[4096];
    bool any = false;
    for (;;) {
        const ssize_t count = ::read(fd_, buffer, sizeof buffer);
        if (count > 0) {
            into.append(buffer, static_cast<std::size_t>(count));
            any = true;
            continue;
        }
        if (count < 0 && errno == EINTR) continue;
        if (count < 0 && errno == EAGAIN) return any ? ReadStatus::data : ReadStatus::nothing;
        // End of file or EIO: the device went away (unplugged, hung up).
        return any ? ReadStatus::data : ReadStatus::lost;
    }
}

}  // namespace corvane::bridge
