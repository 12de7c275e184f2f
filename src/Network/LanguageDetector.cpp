#include "Network/LanguageDetector.h"

#include "Support/Text.h"

namespace lorvantine::LanguageDetector {

TextLanguage detect(std::string_view text)
{
    size_t cjk = 0;
    size_t latin = 0;
    for (char32_t scalar : Text::scalars(text)) {
        if ((scalar >= 0x4E00 && scalar <= 0x9FFF) || (scalar >= 0x3400 && scalar <= 0x4DBF))
            ++cjk;
        else if ((scalar >= U'A' && scalar <= U'Z') || (scalar >= U'a' && scalar <= U'z'))
            ++latin;
    }
    if (cjk + latin == 0)
        return TextLanguage::en;
    double ratio = static_cast<double>(cjk) / static_cast<double>(cjk + latin);
    return ratio >= 0.25 ? TextLanguage::zh : TextLanguage::en;
}

} // namespace lorvantine::LanguageDetector
