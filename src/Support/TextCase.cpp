#include "Support/Text.h"

#include <unicode/ustring.h>

namespace lorvantine::Text {

std::string lowercased(std::string_view text)
{
    const std::u16string source = toUtf16(text);
    if (source.empty())
        return {};
    // Full mappings can lengthen the text (one capital becomes two scalars); ICU says how much.
    std::u16string lower(source.size(), u'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        UErrorCode status = U_ZERO_ERROR;
        const int32_t length = u_strToLower(lower.data(), static_cast<int32_t>(lower.size()), source.data(),
                                            static_cast<int32_t>(source.size()), "", &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            lower.assign(static_cast<size_t>(length), u'\0');
            continue;
        }
        if (U_FAILURE(status))
            return std::string(text);
        lower.resize(static_cast<size_t>(length));
        return fromUtf16(lower);
    }
    return std::string(text);
}

} // namespace lorvantine::Text
