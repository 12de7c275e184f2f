#include "Network/SpeechText.h"

#include "Support/Text.h"

#include <utility>

namespace lorvantine::SpeechText {

namespace {
bool holdsLineFeed(std::string_view character) { return character.find('\n') != std::string_view::npos; }
} // namespace

std::string Normalized::text() const
{
    std::string result;
    for (const std::string& character : characters)
        result += character;
    return result;
}

Normalized normalize(const std::vector<std::string>& input)
{
    const size_t n = input.size();
    std::vector<std::pair<std::string, int>> joined;
    joined.reserve(n);
    for (size_t i = 0; i < n;) {
        if (!Text::isWhitespaceCharacter(input[i])) {
            joined.emplace_back(input[i], static_cast<int>(i));
            ++i;
            continue;
        }
        size_t end = i;
        bool lineFeed = false;
        while (end < n && Text::isWhitespaceCharacter(input[end])) {
            lineFeed = lineFeed || holdsLineFeed(input[end]);
            ++end;
        }
        if (lineFeed) {
            joined.emplace_back("。", static_cast<int>(i));
        } else {
            for (size_t k = i; k < end; ++k)
                joined.emplace_back(input[k], static_cast<int>(k));
        }
        i = end;
    }

    Normalized result;
    result.characters.reserve(joined.size());
    result.mapping.reserve(joined.size() + 1);
    for (auto& [character, offset] : joined) {
        if (character == "。" && !result.characters.empty() && result.characters.back() == "。")
            continue;
        result.characters.push_back(std::move(character));
        result.mapping.push_back(offset);
    }
    result.mapping.push_back(static_cast<int>(n));
    return result;
}

Normalized normalize(std::string_view text) { return normalize(Text::characters(text)); }

} // namespace lorvantine::SpeechText
