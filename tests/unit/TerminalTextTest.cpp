// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>

#include "headless/TerminalPrinter.h"
#include "headless/TerminalText.h"

namespace corvane {
namespace {

TEST(TerminalTextTest, ControlsSeparatorsAndInvalidBytesShowAsEscapesAndTextPassesUnchanged) {
    using namespace std::string_literals;
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"Harbour Relay · Ærø ✓ 🚲 \\n", "Harbour Relay · Ærø ✓ 🚲 \\n"},
        {"a\nb\r\tc", "a\\nb\\r\\tc"},
        {"\x1b[2J\x07\x7f"s + "\0z"s, "\\x1b[2J\\x07\\x7f\\x00z"},
        {"\u0085\u009b31m\u00a0", "\\x85\\x9b31m\u00a0"},  // C1 controls; NBSP is text
        {"x\u2028y\u2029z", "x\\u2028y\\u2029z"},
        {"\xff\xc3", "\\xff\\xc3"},                    // stray byte, truncated sequence
        {"\xc0\xaf\xed\xa0\x80", "\\xc0\\xaf\\xed\\xa0\\x80"},  // overlong "/", a surrogate
        {"\xf4\x90\x80\x80\xe2\x80", "\\xf4\\x90\\x80\\x80\\xe2\\x80"},  // past U+10FFFF, cut short
        {"\xe2\x80\xa8\xc2\x9b", "\\u2028\\x9b"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(terminalText(in), out) << in;
}

// The output sink applies the rule to every line, and a write that fails
// (the reader gone) is reported once, not per line.
TEST(TerminalPrinterTest, LinesAreStampedAndMadeVisibleAndAFailedWriteIsReportedOnce) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    int broken = 0;
    TerminalPrinter printer(file, [&broken] { ++broken; });
    printer.print("Node heard: \x1b[2Jx\ny");
    std::rewind(file);
    char text[128] = {};
    const auto size = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    EXPECT_TRUE(std::regex_match(std::string(text, size), std::regex(R"(\d\d:\d\d:\d\d Node heard: \\x1b\[2Jx\\ny\n)")))
        << text;
    EXPECT_EQ(broken, 0);

    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    TerminalPrinter failing(full, [&broken] { ++broken; });
    failing.print("a");
    failing.print("b");
    std::fclose(full);
    EXPECT_EQ(broken, 1);
}

}  // namespace
}  // namespace corvane
