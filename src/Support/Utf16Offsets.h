#pragma once

#include <string_view>
#include <vector>

namespace lorvantine {

// Character offsets of one text turned into the UTF-16 offsets that accessibility ranges take.
// Built once per text; a plain value, any thread.
class Utf16Offsets {
public:
    explicit Utf16Offsets(std::string_view text);

    int characterCount() const { return static_cast<int>(m_prefix.size()) - 1; }
    int utf16Length() const { return m_prefix.back(); }
    // Offsets before the text give 0, offsets past it the text's length.
    int operator()(int characterOffset) const
    {
        if (characterOffset < 1)
            return 0;
        if (characterOffset >= characterCount())
            return utf16Length();
        return m_prefix[static_cast<size_t>(characterOffset)];
    }

private:
    std::vector<int> m_prefix;
};

} // namespace lorvantine
