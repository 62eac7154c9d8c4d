// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/LineSplitter.h"

#include <algorithm>

namespace corvane {

LineSplitter::LineSplitter(std::size_t maxLineLength) : maxLineLength_(maxLineLength) {}

void LineSplitter::take(std::string_view part) {
    if (overlong_) return;
    if (pending_.size() + part.size() > maxLineLength_) {
        overlong_ = true;
        std::string().swap(pending_);
        return;
    }
    pending_.append(part);
}

void LineSplitter::endLine(const LineHandler& onLine) {
    if (!overlong_ && !pending_.empty()) onLine(pending_);
    pending_.clear();
    overlong_ = false;
}

void LineSplitter::feed(std::string_view chunk, const LineHandler& onLine) {
    std::size_t start = 0;
    if (afterCarriageReturn_ && !chunk.empty()) {
        afterCarriageReturn_ = false;
        if (chunk.front() == '\n') start = 1;
    }
    while (start < chunk.size()) {
        const auto rest = chunk.substr(start);
        const auto it = std::find_if(rest.begin(), rest.end(), [](char c) { return c == '\n' || c == '\r'; });
        const auto length = static_cast<std::size_t>(it - rest.begin());
        take(rest.substr(0, length));
        if (it == rest.end()) return;
        endLine(onLine);
        start += length + 1;
        if (*it == '\r') {
            if (start < chunk.size()) {
                if (chunk[start] == '\n') ++start;
            } else {
                afterCarriageReturn_ = true;
            }
        }
    }
}

void LineSplitter::finish(const LineHandler& onLine) {
    endLine(onLine);
    afterCarriageReturn_ = false;
}

}  // namespace corvane
