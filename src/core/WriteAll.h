// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One complete write to a file descriptor: retried after partial writes and
// interruptions; false on any other failure (errno tells which).
#include <string_view>

namespace corvane {

bool writeAll(int fd, std::string_view bytes);

}  // namespace corvane
