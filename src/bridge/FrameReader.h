// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Splits the byte stream of a Meshtastic serial port into frames (0x94 0xC3,
// a 16-bit big-endian length of at most 512, one protobuf) and the radio's
// debug text between them. Owned by the bridge session; one thread. A header
// whose length is too large, or whose payload the acceptor refuses, is taken
// for text: the search resumes one byte after its 0x94, so a false header in
// debug text never swallows a real frame that follows. Bytes are held only
// while they may still begin a frame (at most one frame's worth); the owner
// gives up on a candidate whose bytes stop coming (a false header whose length
// reaches past a real frame would otherwise hold that frame back).
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace corvane::bridge {

class FrameReader {
public:
    static constexpr unsigned char kStart1 = 0x94;
    static constexpr unsigned char kStart2 = 0xC3;
    static constexpr std::size_t kHeaderSize = 4;
    static constexpr std::size_t kMaxPayload = 512;

    // Takes a complete candidate payload; returns false when it is not a
    // frame. Called once per candidate, after the text that precedes it.
    using Acceptor = std::function<bool(std::string_view payload)>;
    using TextHandler = std::function<void(std::string_view text)>;

    FrameReader(Acceptor accept, TextHandler onText);

    void feed(std::string_view bytes);
    // Hands out held bytes as text (the port closed; no frame can complete).
    void flush();
    // True while bytes wait for the rest of a frame that may begin with them.
    bool holding() const { return !pending_.empty(); }
    // The held candidate is no frame: its 0x94 is text, the search goes on.
    void abandonHeld();

private:
    void scan();

    Acceptor accept_;
    TextHandler onText_;
    std::string pending_;
};

// The bytes of one frame around `payload` (at most kMaxPayload bytes).
std::string frameBytes(std::string_view payload);

}  // namespace corvane::bridge
