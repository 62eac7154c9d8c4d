// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge/FrameReader.h"

namespace corvane::bridge {
namespace {

using namespace std::string_literals;

struct Seen {
    std::vector<std::string> frames;
    std::string text;
};

// Payloads starting with 'X' stand for bytes that do not decode.
Seen read(const std::vector<std::string>& chunks) {
    Seen seen;
    FrameReader reader(
        [&](std::string_view payload) {
            if (!payload.empty() && payload.front() == 'X') return false;
            seen.frames.emplace_back(payload);
            return true;
        },
        [&](std::string_view text) { seen.text.append(text); });
    for (const auto& chunk : chunks) reader.feed(chunk);
    reader.flush();
    return seen;
}

std::string header(std::size_t length) {
    return "\x94\xC3"s + static_cast<char>(length >> 8) + static_cast<char>(length & 0xFF);
}

struct Case {
    const char* name;
    std::string input;
    std::vector<std::string> frames;
    std::string text;
};

std::vector<Case> cases() {
    const std::string big(512, 'p');
    return {
        {"debug text between frames",
         "boot\r\n" + frameBytes("ab") + "dbg\n" + frameBytes("cd"),
         {"ab", "cd"},
         "boot\r\ndbg\n"},
        {"garbage and a lone 0x94 at the end",
         "\x01\x94zz\xC3" + frameBytes("a") + "\x94",
         {"a"},
         "\x01\x94zz\xC3\x94"},
        {"a length over 512", header(513) + frameBytes("ok"), {"ok"}, header(513)},
        // The false header's 3-byte payload reaches into the real frame; the
        // search resumes right after its 0x94 and still finds that frame.
        {"false header in text", header(3) + "X" + frameBytes("a"), {"a"}, header(3) + "X"},
        {"0x94 0xC3 inside a payload", frameBytes("\x94\xC3\x00\x01z") + "t", {"\x94\xC3\x00\x01z"}, "t"},
        {"lengths 0 and 512", frameBytes("") + frameBytes(big) + "!", {"", big}, "!"},
        {"frame cut off by the end", "a" + header(5) + "xy", {}, "a" + header(5) + "xy"},
    };
}

TEST(BridgeFrameReaderTest, EveryWayOfSplittingGivesTheSameFramesAndText) {
    for (const auto& c : cases()) {
        SCOPED_TRACE(c.name);
        const auto& in = c.input;
        const auto check = [&](const std::vector<std::string>& chunks, const std::string& how) {
            const auto seen = read(chunks);
            EXPECT_EQ(seen.frames, c.frames) << how;
            EXPECT_EQ(seen.text, c.text) << how;
        };
        check({in}, "whole");
        std::vector<std::string> bytes;
        for (char b : in) bytes.emplace_back(1, b);
        check(bytes, "byte by byte");
        for (std::size_t i = 0; i <= in.size(); ++i) {
            if (in.size() > 64) {
                check({in.substr(0, i), in.substr(i)}, "cut at " + std::to_string(i));
                continue;
            }
            for (std::size_t j = i; j <= in.size(); ++j) {
                check({in.substr(0, i), in.substr(i, j - i), in.substr(j)},
                      "cuts at " + std::to_string(i) + "," + std::to_string(j));
            }
        }
    }
}

TEST(BridgeFrameReaderTest, AHeldFalseHeaderIsGivenUpAndTheFrameBehindItRead) {
    // Its length reaches past the real frame, and nothing more comes.
    Seen seen;
    FrameReader reader([&](std::string_view payload) { return seen.frames.emplace_back(payload), true; },
                       [&](std::string_view text) { seen.text.append(text); });
    reader.feed("log " + header(300) + frameBytes("ab") + "x");
    EXPECT_TRUE(seen.frames.empty());
    ASSERT_TRUE(reader.holding());
    reader.abandonHeld();
    EXPECT_EQ(seen.frames, std::vector<std::string>{"ab"});
    EXPECT_EQ(seen.text, "log " + header(300) + "x");
    EXPECT_FALSE(reader.holding());
}

}  // namespace
}  // namespace corvane::bridge
