// SPDX-License-Identifier: GPL-3.0-or-later
#include "FrameReader.h"

#include <utility>

namespace corvane::bridge {

FrameReader::FrameReader(Acceptor accept, TextHandler onText)
    : accept_(std::move(accept)), onText_(std::move(onText)) {}

void FrameReader::feed(std::string_view bytes) {
    pending_.append(bytes);
    scan();
}

void FrameReader::flush() {
    if (!pending_.empty()) onText_(pending_);
    pending_.clear();
}

void FrameReader::abandonHeld() {
    if (pending_.empty()) return;
    onText_(std::string_view(pending_).substr(0, 1));
    pending_.erase(0, 1);
    scan();
}

void FrameReader::scan() {
    std::size_t pos = 0;
    std::size_t textStart = 0;
    const auto byteAt = [this](std::size_t i) { return static_cast<unsigned char>(pending_[i]); };
    const auto emitText = [&](std::size_t end) {
        if (end > textStart) onText_(std::string_view(pending_).substr(textStart, end - textStart));
        textStart = end;
    };
    while (pos < pending_.size()) {
        if (byteAt(pos) != kStart1) {
            ++pos;
            continue;
        }
        const std::size_t available = pending_.size() - pos;
        if (available < 2) break;
        if (byteAt(pos + 1) != kStart2) {
            ++pos;
            continue;
        }
        if (available < kHeaderSize) break;
        const std::size_t length = (std::size_t{byteAt(pos + 2)} << 8) | byteAt(pos + 3);
        if (length > kMaxPayload) {
            ++pos;
            continue;
        }
        if (available < kHeaderSize + length) break;
        // Whatever the candidate turns out to be, the bytes before it are text.
        emitText(pos);
        const auto payload = std::string_view(pending_).substr(pos + kHeaderSize, length);
        if (!accept_(payload)) {
            ++pos;
            continue;
        }
        pos += kHeaderSize + length;
        textStart = pos;
    }
    // What is left from `pos` may still become a frame; everything before is text.
    emitText(pos);
    pending_.erase(0, pos);
}

std::string frameBytes(std::string_view payload) {
    std::string frame;
    frame.reserve(FrameReader::kHeaderSize + payload.size());
    frame.push_back(static_cast<char>(FrameReader::kStart1));
    frame.push_back(static_cast<char>(FrameReader::kStart2));
    frame.push_back(static_cast<char>((payload.size() >> 8) & 0xFF));
    frame.push_back(static_cast<char>(payload.size() & 0xFF));
    frame.append(payload);
    return frame;
}

}  // namespace corvane::bridge
