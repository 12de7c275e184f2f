#pragma once

#include "Network/TextLanguage.h"

#include <string_view>

namespace lorvantine {

namespace LanguageDetector {

// Chinese when CJK ideographs (Unified and Extension A) make up at least a quarter of the
// ideographs plus ASCII letters; English otherwise, including when neither occurs.
// Pure; any thread.
TextLanguage detect(std::string_view text);

} // namespace LanguageDetector
} // namespace lorvantine
