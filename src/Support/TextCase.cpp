#include "Support/Text.h"

#include <unicode/ustring.h>

#include <charconv>

namespace lorvantine::Text {

namespace {

using CaseMapping = int32_t (*)(UChar*, int32_t, const UChar*, int32_t, const char*, UErrorCode*);

std::string mappedCase(std::string_view text, CaseMapping mapping)
{
    const std::u16string source = toUtf16(text);
    if (source.empty())
        return {};
    // Full mappings can lengthen the text (one letter becomes two scalars); ICU says how much.
    std::u16string mapped(source.size(), u'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        UErrorCode status = U_ZERO_ERROR;
        const int32_t length = mapping(mapped.data(), static_cast<int32_t>(mapped.size()), source.data(),
                                       static_cast<int32_t>(source.size()), "", &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            mapped.assign(static_cast<size_t>(length), u'\0');
            continue;
        }
        if (U_FAILURE(status))
            return std::string(text);
        mapped.resize(static_cast<size_t>(length));
        return fromUtf16(mapped);
    }
    return std::string(text);
}

} // namespace

std::string lowercased(std::string_view text) { return mappedCase(text, u_strToLower); }

std::string uppercased(std::string_view text) { return mappedCase(text, u_strToUpper); }

std::optional<int64_t> integerValue(std::string_view text)
{
    std::string_view digits = text;
    if (digits.starts_with('+')) {
        digits.remove_prefix(1);
        if (digits.starts_with('-'))
            return std::nullopt;
    }
    int64_t number = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    return number;
}

} // namespace lorvantine::Text
