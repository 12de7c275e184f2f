#include "Support/Utf16Offsets.h"

#include "Support/Text.h"

#include <string>

namespace lorvantine {

Utf16Offsets::Utf16Offsets(std::string_view text)
{
    m_prefix.push_back(0);
    for (const std::string& character : Text::characters(text))
        m_prefix.push_back(m_prefix.back() + static_cast<int>(Text::utf16Count(character)));
}

} // namespace lorvantine
