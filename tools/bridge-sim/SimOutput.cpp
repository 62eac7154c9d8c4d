// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimOutput.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

namespace corvane::sim {

SimOutput::~SimOutput() {
    if (ownsFd_ && fd_ >= 0) ::close(fd_);
}

bool SimOutput::write(std::string_view bytes) {
    while (!failed_ && !bytes.empty()) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            failed_ = true;
            break;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return !failed_;
}

bool SimOutput::writeFiller(std::size_t count) {
    std::string block;
    for (std::size_t i = 0; block.size() < 8192; ++i) {
        block += (i % 80 == 79) ? '\n' : static_cast<char>('a' + static_cast<char>(i % 26));
    }
    while (count > 0 && !failed_) {
        const std::size_t part = std::min(count, block.size());
        write(std::string_view(block).substr(0, part));
        count -= part;
    }
    return !failed_;
}

}  // namespace corvane::sim
