#pragma once

#include <string_view>

namespace lorvantine {

enum class TextLanguage { zh, en };

// "zh" or "en": the form a speech request carries.
constexpr std::string_view toString(TextLanguage language)
{
    return language == TextLanguage::zh ? "zh" : "en";
}

} // namespace lorvantine
