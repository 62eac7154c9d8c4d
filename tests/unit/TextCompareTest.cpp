// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <clocale>
#include <cstdlib>
#include <optional>
#include <vector>

#include "core/TextCompare.h"

namespace corvane {
namespace {

using Names = std::vector<std::string>;

int sign(std::weak_ordering order) { return order < 0 ? -1 : (order > 0 ? 1 : 0); }

Names sorted(Names names, const TextCompare& rules) {
    std::sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) { return rules.less(a, b); });
    return names;
}

// Sets LC_ALL, LC_COLLATE and LANG (null: unset) for one scope and puts the old values back.
class LocaleEnvironment {
public:
    explicit LocaleEnvironment(std::array<const char*, 3> values) {
        for (std::size_t i = 0; i < kNames.size(); ++i) {
            const char* old = std::getenv(kNames[i]);
            if (old) saved_[i] = old;
            put(kNames[i], values[i]);
        }
        TextCompare::reloadProcessLocale();
    }
    ~LocaleEnvironment() {
        for (std::size_t i = 0; i < kNames.size(); ++i) put(kNames[i], saved_[i] ? saved_[i]->c_str() : nullptr);
        TextCompare::reloadProcessLocale();
    }

private:
    static void put(const char* name, const char* value) { value ? ::setenv(name, value, 1) : ::unsetenv(name); }
    static constexpr std::array<const char*, 3> kNames{"LC_ALL", "LC_COLLATE", "LANG"};
    std::array<std::optional<std::string>, 3> saved_;
};

TEST(TextCompare, ProcessLocaleFollowsPosixPrecedenceAndPosixUsesRootRulesNotAsciiOrder) {
    // The test binary never calls setlocale, so the environment decides.
    ASSERT_STREQ(std::setlocale(LC_COLLATE, nullptr), "C");
    for (const auto& values : std::initializer_list<std::array<const char*, 3>>{{nullptr, nullptr, "C"}, {}}) {
        const LocaleEnvironment environment(values);
        EXPECT_EQ(TextCompare::processLocaleName(), "C");
        EXPECT_EQ(TextCompare::forProcessLocale().localeId(), "");
        EXPECT_EQ(sorted({"Node 10", "node 2", "Alpha"}, TextCompare::forProcessLocale()), (Names{"Alpha", "node 2", "Node 10"}));
    }
    EXPECT_EQ(sorted({"b", "B2", "a10", "A9", "_x", "Zeta"}, TextCompare("POSIX")),
              (Names{"_x", "A9", "a10", "b", "B2", "Zeta"}));
    {
        const LocaleEnvironment environment({"sv_SE.UTF-8", "de_DE.UTF-8", "en_US.UTF-8"});
        EXPECT_EQ(TextCompare::processLocaleName(), "sv_SE.UTF-8");
        EXPECT_EQ(TextCompare::forProcessLocale().localeId(), "sv_SE");
        EXPECT_EQ(sign(localizedStandardCompare("\xC3\xA4", "z")), 1);  // ä after z in Swedish
    }
    {
        const LocaleEnvironment environment({"", "de_DE.UTF-8", "sv_SE.UTF-8"});
        EXPECT_EQ(TextCompare::forProcessLocale().localeId(), "de_DE");
        EXPECT_EQ(sign(localizedStandardCompare("\xC3\xA4", "z")), -1);
    }
    for (const auto& [posix, icu] : std::initializer_list<std::pair<const char*, const char*>>{
             {"de_DE.UTF-8@euro", "de_DE"}, {"sv", "sv"}, {"C.UTF-8", ""}, {"POSIX", ""}, {"", ""}})
        EXPECT_EQ(TextCompare::icuLocaleId(posix), icu) << posix;
}

TEST(TextCompare, RealLocalesApplyTheirOwnRulesDigitRunsByValueCaseIgnoredAccentsKept) {
    const TextCompare german("de_DE.UTF-8");
    EXPECT_EQ(sorted({"\xC3\x96stra", "Zeta", "Alpha"}, TextCompare("sv_SE.UTF-8")), (Names{"Alpha", "Zeta", "\xC3\x96stra"}));
    EXPECT_EQ(sorted({"\xC3\x96stra", "Zeta", "Alpha"}, german), (Names{"Alpha", "\xC3\x96stra", "Zeta"}));
    // Numeric runs and case-insensitivity hold in every locale.
    EXPECT_EQ(sorted({"Node 10", "node 2", "Alpha"}, german), (Names{"Alpha", "node 2", "Node 10"}));

    // Equal up to case is equivalent (callers tie-break); accents order ("e" < "é") but stay next to their base
    // letter; NFC and NFD spellings are the same text; ill-formed UTF-8 still gives a consistent answer.
    const struct { const char* a; const char* b; int sign; } cases[] = {
        {"node 2", "Node 10", -1}, {"node 9", "node 10", -1}, {"Node 100", "node 20", 1}, {"x2y10", "x2y9a", 1},
        {"T-Echo 1", "T-Echo 1a", -1}, {"node", "Node", 0}, {"HALVO BASE", "halvo base", 0}, {"", "", 0},
        {"", "a", -1}, {"e", "\xC3\xA9", -1}, {"\xC3\xA9", "f", -1}, {"Caf\xC3\xA9", "Cafe\xCC\x81", 0},
        {"a\xFF", "a\xFF", 0}, {"a\xFF", "a", 1}, {"a", "a\xFF", -1}};
    const TextCompare rules("C");
    for (const auto& c : cases) EXPECT_EQ(sign(rules.compare(c.a, c.b)), c.sign) << c.a << " vs " << c.b;
}

}  // namespace
}  // namespace corvane
