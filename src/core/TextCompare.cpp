// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/TextCompare.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/ustring.h>
#include <unicode/unistr.h>

#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <limits>
#include <optional>

namespace corvane {

namespace {

std::weak_ordering byteOrder(std::string_view a, std::string_view b) {
    const int result = a.compare(b);
    if (result < 0) return std::weak_ordering::less;
    if (result > 0) return std::weak_ordering::greater;
    return std::weak_ordering::equivalent;
}

bool fitsInt32(std::string_view text) {
    return text.size() <= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
}

std::optional<TextCompare>& sharedInstance() {
    static std::optional<TextCompare> instance;
    return instance;
}

}  // namespace

struct TextCompare::Collator {
    UCollator* handle = nullptr;
    ~Collator() {
        if (handle) ucol_close(handle);
    }
};

TextCompare::TextCompare(std::string_view localeName)
    : localeId_(icuLocaleId(localeName)), collator_(std::make_unique<Collator>()) {
    UErrorCode status = U_ZERO_ERROR;
    UCollator* handle = ucol_open(localeId_.c_str(), &status);
    if (U_FAILURE(status)) {
        if (handle) ucol_close(handle);
        return;  // compare falls back to byte order
    }
    ucol_setAttribute(handle, UCOL_NUMERIC_COLLATION, UCOL_ON, &status);
    ucol_setStrength(handle, UCOL_SECONDARY);
    if (U_FAILURE(status)) {
        ucol_close(handle);
        return;
    }
    collator_->handle = handle;
}

TextCompare::~TextCompare() = default;
TextCompare::TextCompare(TextCompare&&) noexcept = default;
TextCompare& TextCompare::operator=(TextCompare&&) noexcept = default;

std::weak_ordering TextCompare::compare(std::string_view a, std::string_view b) const {
    if (!collator_ || !collator_->handle || !fitsInt32(a) || !fitsInt32(b)) return byteOrder(a, b);
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult result =
        ucol_strcollUTF8(collator_->handle, a.data(), static_cast<std::int32_t>(a.size()), b.data(),
                         static_cast<std::int32_t>(b.size()), &status);
    if (U_FAILURE(status)) return byteOrder(a, b);
    switch (result) {
    case UCOL_LESS: return std::weak_ordering::less;
    case UCOL_GREATER: return std::weak_ordering::greater;
    case UCOL_EQUAL: break;
    }
    return std::weak_ordering::equivalent;
}

std::string TextCompare::sortKey(std::string_view text) const {
    if (!collator_ || !collator_->handle || !fitsInt32(text)) return std::string(text);
    UErrorCode status = U_ZERO_ERROR;
    std::int32_t length = 0;
    std::u16string utf16(text.size() + 1, u'\0');
    u_strFromUTF8WithSub(utf16.data(), static_cast<std::int32_t>(utf16.size()), &length, text.data(),
                         static_cast<std::int32_t>(text.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status)) return std::string(text);
    std::string key(static_cast<std::size_t>(length) * 4 + 16, '\0');
    for (;;) {
        const std::int32_t needed =
            ucol_getSortKey(collator_->handle, utf16.data(), length, reinterpret_cast<std::uint8_t*>(key.data()),
                            static_cast<std::int32_t>(key.size()));
        if (needed <= 0) return std::string(text);
        if (static_cast<std::size_t>(needed) <= key.size()) {
            // The key ends with a zero byte that every key has; drop it.
            key.resize(static_cast<std::size_t>(needed) - 1);
            return key;
        }
        key.resize(static_cast<std::size_t>(needed));
    }
}

std::string TextCompare::icuLocaleId(std::string_view posixName) {
    const auto end = posixName.find_first_of(".@");
    const std::string_view language = posixName.substr(0, end);
    if (language.empty() || language == "C" || language == "POSIX") return {};
    return std::string(language);
}

std::string TextCompare::processLocaleName() {
    if (const char* configured = std::setlocale(LC_COLLATE, nullptr)) {
        const std::string_view name(configured);
        if (!icuLocaleId(name).empty()) return std::string(name);
    }
    for (const char* variable : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return value;
    }
    return "C";
}

const TextCompare& TextCompare::forProcessLocale() {
    auto& instance = sharedInstance();
    if (!instance) instance.emplace(processLocaleName());
    return *instance;
}

void TextCompare::reloadProcessLocale() { sharedInstance().reset(); }

std::string TextCompare::fold(std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status) || !fitsInt32(text)) return std::string(text);

    // Folding first lets marks that folding itself introduces (the dot of
    // "İ" -> "i̇") be dropped with the rest.
    icu::UnicodeString folded = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
    folded.foldCase(U_FOLD_CASE_DEFAULT);
    const icu::UnicodeString decomposed = nfd->normalize(folded, status);
    if (U_FAILURE(status)) return std::string(text);

    icu::UnicodeString unmarked;
    for (std::int32_t index = 0; index < decomposed.length();) {
        const UChar32 codePoint = decomposed.char32At(index);
        if (u_charType(codePoint) != U_NON_SPACING_MARK) unmarked.append(codePoint);
        index += U16_LENGTH(codePoint);
    }
    const icu::UnicodeString composed = nfc->normalize(unmarked, status);
    if (U_FAILURE(status)) return std::string(text);

    std::string result;
    composed.toUTF8String(result);
    return result;
}

std::weak_ordering localizedStandardCompare(std::string_view a, std::string_view b) {
    return TextCompare::forProcessLocale().compare(a, b);
}

}  // namespace corvane
