#include "Support/Utf8Lines.h"

#include "Support/Text.h"

namespace lorvantine {

Utf8Lines Utf8Lines::split(std::string_view text)
{
    Utf8Lines result;
    size_t number = 1;
    for (size_t start = 0;; ++number) {
        const size_t end = text.find('\n', start);
        const std::string_view line = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (Text::isValidUtf8(line))
            result.lines.push_back(line);
        else
            result.skipped.push_back(number);
        if (end == std::string_view::npos)
            return result;
        start = end + 1;
    }
}

} // namespace lorvantine
