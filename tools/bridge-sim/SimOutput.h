// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Blocking, whole-buffer writes to one file descriptor (standard output,
// standard error or the request log). Owned by main() or BridgeSim, used on the
// loop thread. A write either goes out complete or the writer reports failure
// and stays failed; nothing is buffered in user space, so every line is
// visible to the reader as soon as write() returns.
#include <cstddef>
#include <string_view>

namespace corvane::sim {

class SimOutput {
public:
    explicit SimOutput(int fd, bool ownsFd = false) : fd_(fd), ownsFd_(ownsFd) {}
    ~SimOutput();
    SimOutput(const SimOutput&) = delete;
    SimOutput& operator=(const SimOutput&) = delete;

    bool write(std::string_view bytes);
    // `count` filler bytes in lines of at most 80 characters.
    bool writeFiller(std::size_t count);
    bool failed() const { return failed_; }

private:
    int fd_;
    bool ownsFd_;
    bool failed_ = false;
};

}  // namespace corvane::sim
