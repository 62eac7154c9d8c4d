// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/LineSplitter.h"

namespace corvane {
namespace {

std::vector<std::string> split(const std::vector<std::string>& chunks, std::size_t maxLength = 64) {
    LineSplitter splitter(maxLength);
    std::vector<std::string> lines;
    const auto collect = [&](std::string_view line) { lines.emplace_back(line); };
    for (const auto& chunk : chunks) splitter.feed(chunk, collect);
    splitter.finish(collect);
    return lines;
}

using Lines = std::vector<std::string>;

TEST(LineSplitter, SplitsAtEveryKindOfBreakAndSkipsEmptyLines) {
    EXPECT_EQ(split({"a\nb\r\nc\rd"}), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(split({"\n\n\r\n\ra\n\n"}), (Lines{"a"}));
    EXPECT_EQ(split({"a\n\rb"}), (Lines{"a", "b"}));
}

TEST(LineSplitter, ChunkBoundariesDoNotChangeTheLines) {
    const std::string stream = "first\r\nsecond\rthird\n\r\nfourth";
    const Lines expected{"first", "second", "third", "fourth"};
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        EXPECT_EQ(split({stream.substr(0, cut), stream.substr(cut)}), expected) << cut;
    }
    std::vector<std::string> chunks;
    for (char c : stream) chunks.emplace_back(1, c);
    EXPECT_EQ(split(chunks), expected);
}

TEST(LineSplitter, DropsOverlongLinesWholeAndKeepsReading) {
    const std::string exact(64, 'x');
    const std::string over(65, 'y');
    EXPECT_EQ(split({exact + "\n" + over + "\nok\n"}), (Lines{exact, "ok"}));
    EXPECT_EQ(split({std::string(40, 'y'), std::string(40, 'y'), "\nok"}), (Lines{"ok"}));
    EXPECT_EQ(split({over}), Lines{});
}

}  // namespace
}  // namespace corvane
