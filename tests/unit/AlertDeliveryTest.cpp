// SPDX-License-Identifier: GPL-3.0-or-later
// The Messages alert script, its errors, and the text helpers alert
// identifiers and user input go through.
#include <gtest/gtest.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "app/MessagesAlertSender.h"
#include "core/DoubleText.h"
#include "core/TextTrim.h"
#include "support/FakeScriptRunner.h"

namespace corvane {
namespace {

TEST(MessagesAlertSenderTest, EscapesBackslashFirstThenQuotesAndLineBreaks) {
    const std::string six = MessagesAlertSender::escaped("\\\"\n");
    EXPECT_EQ(six, R"(\\\"\n)");
    EXPECT_EQ(six.size(), 6u);
    EXPECT_EQ(MessagesAlertSender::escaped("\r\n"), R"(\r\n)");
    EXPECT_EQ(MessagesAlertSender::escaped("\\n"), R"(\\n)");  // a literal backslash-n stays two characters
    EXPECT_EQ(MessagesAlertSender::escaped("tab\there\x01 «ünï» 🚲"), "tab\there\x01 «ünï» 🚲");
}

TEST(MessagesAlertSenderTest, SendsTheExactScriptWithTheTrimmedRecipient) {
    FakeScriptRunner runner;
    const auto sent = MessagesAlertSender::send("  Bike \"Red\" left\nthe garage  ", " \u00a0+49 170 1234567\r\n", runner);
    EXPECT_TRUE(sent);
    ASSERT_EQ(runner.scripts.size(), 1u);
    EXPECT_EQ(runner.scripts[0],
              "tell application \"Messages\"\n"
              "    set targetService to first service whose service type = iMessage\n"
              "    set targetRecipient to buddy \"+49 170 1234567\" of targetService\n"
              "    send \"  Bike \\\"Red\\\" left\\nthe garage  \" to targetRecipient\n"
              "end tell");

    MessagesAlertSender::send("x", "me\\\"@example.com", runner);
    EXPECT_NE(runner.scripts[1].find(R"(buddy "me\\\"@example.com" of)"), std::string::npos) << runner.scripts[1];
}

TEST(MessagesAlertSenderTest, BlankRecipientIsRefusedBeforeAnyScript) {
    FakeScriptRunner runner;
    for (const std::string_view recipient : {"", "   ", " \n\t\r\n", "\u2028\u3000"}) {
        const auto sent = MessagesAlertSender::send("hello", recipient, runner);
        ASSERT_FALSE(sent);
        EXPECT_EQ(sent.error().kind(), MessagesAlertError::Kind::missingRecipient);
        EXPECT_EQ(sent.error().description(), "Enter an iPhone phone number or Apple Account email address first.");
    }
    EXPECT_TRUE(runner.scripts.empty());
}

TEST(MessagesAlertSenderTest, ScriptOutcomesBecomeTheUsersErrorTexts) {
    FakeScriptRunner runner;
    const auto description = [&runner](ScriptOutcome outcome) {
        runner.outcome = std::move(outcome);
        const auto sent = MessagesAlertSender::send("hello", "me@example.com", runner);
        EXPECT_FALSE(sent);
        if (sent) return std::string("(sent)");
        EXPECT_EQ(sent.error().kind(), MessagesAlertError::Kind::scriptFailed);
        return sent.error().description();
    };
    EXPECT_EQ(description({ScriptOutcome::Kind::notCreated, std::nullopt}),
              "Messages could not send the alert: The automation script could not be created.");
    EXPECT_EQ(description({ScriptOutcome::Kind::failed, "Messages got an error: Not signed in."}),
              "Messages could not send the alert: Messages got an error: Not signed in.");
    EXPECT_EQ(description({ScriptOutcome::Kind::failed, std::nullopt}),
              "Messages could not send the alert: Unknown automation error.");
    EXPECT_EQ(runner.scripts.size(), 3u);
}

TEST(DoubleTextTest, ShortestRoundTripWithAFractionAlwaysShown) {
    // The last two would be too long written out.
    for (const auto& [value, text] : {std::pair{1772357400.0, "1772357400.0"}, {1772357400.123, "1772357400.123"},
                                      {0.0, "0.0"}, {-1.5, "-1.5"}, {5e-324, "5e-324"}, {1e300, "1e+300"}})
        EXPECT_EQ(doubleDescription(value), text);

    // Times as identifiers carry them: every one must read back exactly and
    // carry no digit it does not need.
    std::mt19937_64 random(20260301);
    std::uniform_real_distribution<double> seconds(1.0e9, 2.1e9);
    for (int i = 0; i < 2000; ++i) {
        const double value = seconds(random);
        const std::string text = doubleDescription(value);
        double back = 0;
        std::from_chars(text.data(), text.data() + text.size(), back);
        ASSERT_EQ(back, value) << text;
        // One fractional digit fewer must no longer read back.
        const auto digits = static_cast<int>(text.size() - text.find('.') - 1);
        if (digits > 1) {
            char shorter[40];
            std::snprintf(shorter, sizeof shorter, "%.*f", digits - 1, value);
            ASSERT_NE(std::strtod(shorter, nullptr), value) << text;
        }
    }
}

TEST(TextTrimTest, TrimsUnicodeWhiteSpaceAndLineBreaksAtBothEndsOnly) {
    const std::pair<const char*, const char*> cases[] = {
        {"\t\r\n\v\f x y \u0085", "x y"},
        // NBSP, ideographic space, en quad, line and paragraph separators.
        {"\u00a0\u3000\u2000a\u00a0b\u2028\u2029", "a\u00a0b"},
        {"\u200bzero width\ufeff", "\u200bzero width\ufeff"}, {" \n\u3000 ", ""}, {"", ""},
        // Broken UTF-8 is kept, also where it touches the blanks; the last is a cut-off U+3000.
        {" \xff ", "\xff"}, {"\xe2\x80 a", "\xe2\x80 a"}, {"a \xe3\x80", "a \xe3\x80"}};
    for (const auto& [in, out] : cases) EXPECT_EQ(trimmedWhitespaceAndNewlines(in), out) << in;
}

}  // namespace
}  // namespace corvane
