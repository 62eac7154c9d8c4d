// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Text rules for what users read: the ordering of names in lists (case-
// insensitive, digit runs by numeric value, locale-aware, like Apple's
// localizedStandardCompare) and folding for case- and diacritic-insensitive
// matching. Backed by an ICU collator, which is costly to open, so one
// instance is kept per process locale (`forProcessLocale`) and reused across
// sorts.
//
// Case variants ("node" and "Node") compare equal: callers that need a stable
// display order add their own tie-breaker. Accents still matter ("e" < "é").
//
// Under the C/POSIX locale root (English) rules apply: ICU's own fallback for
// it, en_US_POSIX, orders by ASCII code and would put "Node 10" before "node 2".
//
// Not thread-safe: each instance, and the shared one, belongs to the event-loop
// thread.
#include <compare>
#include <memory>
#include <string>
#include <string_view>

namespace corvane {

class TextCompare {
public:
    // `localeName` in POSIX form ("de_DE.UTF-8", "C") or as an ICU id ("sv").
    explicit TextCompare(std::string_view localeName);
    ~TextCompare();
    TextCompare(TextCompare&&) noexcept;
    TextCompare& operator=(TextCompare&&) noexcept;

    // Input is UTF-8; ill-formed sequences compare as U+FFFD.
    std::weak_ordering compare(std::string_view a, std::string_view b) const;
    bool less(std::string_view a, std::string_view b) const { return compare(a, b) < 0; }

    // A byte string whose plain (unsigned byte) order is the order compare()
    // gives: comparing two keys is much cheaper than collating two texts, so
    // lists that are re-sorted often keep the keys of their entries.
    std::string sortKey(std::string_view text) const;

    // The ICU locale id the collator was opened for; empty for root rules.
    const std::string& localeId() const { return localeId_; }

    // "de_DE.UTF-8@euro" -> "de_DE"; "C", "POSIX" and "" -> "" (root).
    static std::string icuLocaleId(std::string_view posixName);

    // The collation locale this process runs under: the C library's LC_COLLATE
    // once a program has set one, else what setlocale(LC_ALL, "") would read
    // from LC_ALL, LC_COLLATE and LANG.
    static std::string processLocaleName();

    // The shared instance for the process locale, opened on first use.
    static const TextCompare& forProcessLocale();
    // Re-reads the process locale for the shared instance (after a change of
    // the environment or of setlocale).
    static void reloadProcessLocale();

    // Case-folded, with combining marks removed, in NFC: "Ärger" -> "arger",
    // "Straße" -> "strasse". Locale-independent folding (no Turkic dotless i).
    static std::string fold(std::string_view text);

private:
    struct Collator;

    std::string localeId_;
    std::unique_ptr<Collator> collator_;
};

// Ordering under the process locale's shared TextCompare.
std::weak_ordering localizedStandardCompare(std::string_view a, std::string_view b);

}  // namespace corvane
