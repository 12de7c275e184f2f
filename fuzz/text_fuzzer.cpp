#include "Support/Text.h"

#include <cstdint>
#include <string_view>

// Arbitrary bytes: the unit conversions stay inside the text and agree with each other.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace lorvantine;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    size_t characters = Text::characterCount(text);
    size_t units = Text::utf16Count(text);
    for (size_t offset = 0; offset <= characters + 1; offset += 1 + characters / 8) {
        size_t unit = Text::utf16OffsetFromCharacterOffset(text, offset);
        if (unit > units)
            __builtin_trap();
        if (offset <= characters && Text::characterOffsetFromUtf16Offset(text, unit) != offset)
            __builtin_trap();
        (void)Text::characterPrefix(text, offset);
        (void)Text::utf16Substring(text, unit, 3);
    }
    if (!Text::isValidUtf8(Text::trimmingWhitespacesAndNewlines(text)))
        __builtin_trap();
    (void)Text::splitOnWhitespace(text);
    return 0;
}
