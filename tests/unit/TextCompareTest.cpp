#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "core/TextCompare.h"

namespace corvane {
namespace {

int sign(std::weak_ordering order) { return order < 0 ? -1 : (order > 0 ? 1 : 0); }

std::vector<std::string> sorted(std::vector<std::string> names, const TextCompare& rules) {
    std::sort(names.begin(), names.end(),
              [&](const std::string& a, const std::string& b) { return rules.less(a, b); });
    return names;
}

// Sets the locale variables for one test and puts the old values back.
class LocaleEnvironment {
public:
    LocaleEnvironment(const char* lcAll, const char* lcCollate, const char* lang) {
        set("LC_ALL", lcAll);
        set("LC_COLLATE", lcCollate);
        set("LANG", lang);
        TextCompare::reloadProcessLocale();
    }
    ~LocaleEnvironment() {
        for (const auto& [name, value] : saved_) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
        TextCompare::reloadProcessLocale();
    }
    LocaleEnvironment(const LocaleEnvironment&) = delete;
    LocaleEnvironment& operator=(const LocaleEnvironment&) = delete;

private:
    void set(const char* name, const char* value) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        if (value) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }

    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(TextCompare, PosixLocaleUsesRootRulesNotAsciiOrder) {
    // The test binary never calls setlocale, so the environment decides.
    ASSERT_STREQ(std::setlocale(LC_COLLATE, nullptr), "C");
    const LocaleEnvironment environment(nullptr, nullptr, "C");
    EXPECT_EQ(TextCompare::processLocaleName(), "C");
    EXPECT_EQ(TextCompare::forProcessLocale().localeId(), "");

    std::vector<std::string> names{"Node 10", "node 2", "Alpha"};
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return localizedStandardCompare(a, b) < 0; });
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "node 2", "Node 10"}));

    EXPECT_EQ(sorted({"b", "B2", "a10", "A9", "_x", "Zeta"}, TextCompare("POSIX")),
              (std::vector<std::string>{"_x", "A9", "a10", "b", "B2", "Zeta"}));
}

TEST(TextCompare, ProcessLocaleFollowsPosixPrecedence) {
    {
        const LocaleEnvironment environment("sv_SE.UTF-8", "de_DE.UTF-8", "en_US.UTF-8");
        EXPECT_EQ(TextCompare::processLocaleName(), "sv_SE.UTF-8");
        EXPECT_EQ(TextCompare::forProcessLocale().localeId(), "sv_SE");
        EXPECT_EQ(sign(localizedStandardCompare("\xC3\xA4", "z")), 1);  // ä after z in Swedish
    }
    {
        const LocaleEnvironment environment("", "de_DE.UTF-8", "sv_SE.UTF-8");
        EXPECT_EQ(TextCompare::forProcessLocale().localeId(), "de_DE");
        EXPECT_EQ(sign(localizedStandardCompare("\xC3\xA4", "z")), -1);
    }
    {
        const LocaleEnvironment environment(nullptr, nullptr, nullptr);
        EXPECT_EQ(TextCompare::processLocaleName(), "C");
        EXPECT_EQ(TextCompare::forProcessLocale().localeId(), "");
    }
    EXPECT_EQ(TextCompare::icuLocaleId("de_DE.UTF-8@euro"), "de_DE");
    EXPECT_EQ(TextCompare::icuLocaleId("sv"), "sv");
    EXPECT_EQ(TextCompare::icuLocaleId("C.UTF-8"), "");
    EXPECT_EQ(TextCompare::icuLocaleId("POSIX"), "");
    EXPECT_EQ(TextCompare::icuLocaleId(""), "");
}

TEST(TextCompare, RealLocalesApplyTheirOwnRules) {
    const TextCompare swedish("sv_SE.UTF-8");
    const TextCompare german("de_DE.UTF-8");
    EXPECT_EQ(sorted({"\xC3\x96stra", "Zeta", "Alpha"}, swedish),
              (std::vector<std::string>{"Alpha", "Zeta", "\xC3\x96stra"}));
    EXPECT_EQ(sorted({"\xC3\x96stra", "Zeta", "Alpha"}, german),
              (std::vector<std::string>{"Alpha", "\xC3\x96stra", "Zeta"}));
    // Numeric runs and case-insensitivity hold in every locale.
    EXPECT_EQ(sorted({"Node 10", "node 2", "Alpha"}, german),
              (std::vector<std::string>{"Alpha", "node 2", "Node 10"}));
}

TEST(TextCompare, DigitRunsByValueCaseIgnoredAccentsKept) {
    const TextCompare rules("C");
    EXPECT_EQ(sign(rules.compare("node 2", "Node 10")), -1);
    EXPECT_EQ(sign(rules.compare("node 9", "node 10")), -1);
    EXPECT_EQ(sign(rules.compare("Node 100", "node 20")), 1);
    EXPECT_EQ(sign(rules.compare("x2y10", "x2y9a")), 1);
    EXPECT_EQ(sign(rules.compare("T-Echo 1", "T-Echo 1a")), -1);

    // Equal up to case is equivalent; callers tie-break if they need to.
    EXPECT_EQ(sign(rules.compare("node", "Node")), 0);
    EXPECT_EQ(sign(rules.compare("HALVO BASE", "halvo base")), 0);
    EXPECT_EQ(sign(rules.compare("", "")), 0);
    EXPECT_EQ(sign(rules.compare("", "a")), -1);

    // Accents still order ("e" before "é") but stay next to their base letter.
    EXPECT_EQ(sign(rules.compare("e", "\xC3\xA9")), -1);
    EXPECT_EQ(sign(rules.compare("\xC3\xA9", "f")), -1);
    // NFC and NFD spellings are the same text.
    EXPECT_EQ(sign(rules.compare("Caf\xC3\xA9", "Cafe\xCC\x81")), 0);

    // Ill-formed UTF-8 still gives a consistent answer instead of failing.
    EXPECT_EQ(sign(rules.compare("a\xFF", "a\xFF")), 0);
    EXPECT_NE(sign(rules.compare("a\xFF", "a")), 0);
}

TEST(TextCompare, FoldRemovesCaseAndDiacritics) {
    EXPECT_EQ(TextCompare::fold("\xC3\x84rger"), "arger");  // Ärger
    EXPECT_EQ(TextCompare::fold("\xC3\x84rger"), TextCompare::fold("arger"));
    EXPECT_EQ(TextCompare::fold("Living Room"), "living room");
    EXPECT_EQ(TextCompare::fold("\xC3\x89" "cole"), "ecole");                  // École
    EXPECT_EQ(TextCompare::fold("E\xCC\x81" "cole"), "ecole");                 // decomposed É
    EXPECT_EQ(TextCompare::fold("Stra\xC3\x9F" "e"), "strasse");               // Straße
    EXPECT_EQ(TextCompare::fold("\xC4\xB0stanbul"), "istanbul");               // İstanbul
    EXPECT_EQ(TextCompare::fold("Bob\xE2\x80\x99s iMac"), "bob\xE2\x80\x99s imac");  // punctuation kept
    // Letters that are not base + mark stay (ø has no decomposition).
    EXPECT_EQ(TextCompare::fold("\xC3\x98rsted"), "\xC3\xB8rsted");
    // Hangul syllables decompose into letters, not marks, and come back whole.
    EXPECT_EQ(TextCompare::fold("\xED\x95\x9C"), "\xED\x95\x9C");
    EXPECT_EQ(TextCompare::fold(""), "");
}

}  // namespace
}  // namespace corvane
