#include <gtest/gtest.h>

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

}  // namespace
}  // namespace corvane
