#include "Network/SpeechText.h"

#include "Support/Text.h"

#include <utility>

namespace lorvantine::SpeechText {

namespace {
bool holdsLineFeed(std::string_view character) { return character.find('\n') != std::string_view::npos; }

// The full stop put in for a line break can form one Character with a neighbour that stood alone
// beside the break (a mark after it, a prepended sign before it). The pieces are regrouped into
// the Characters of the text as it reads, each mapped from the piece it starts in, so that every
// reader of the text counts the same Characters.
void regroup(Normalized& normalized)
{
    const std::string text = normalized.text();
    std::vector<std::string> characters = Text::characters(text);
    if (characters.size() == normalized.characters.size())
        return;
    std::vector<int> mapping;
    mapping.reserve(characters.size() + 1);
    size_t piece = 0;
    size_t pieceEnd = normalized.characters.empty() ? 0 : normalized.characters[0].size();
    size_t byte = 0;
    for (const std::string& character : characters) {
        while (byte >= pieceEnd && piece + 1 < normalized.characters.size())
            pieceEnd += normalized.characters[++piece].size();
        mapping.push_back(normalized.mapping[piece]);
        byte += character.size();
    }
    mapping.push_back(normalized.mapping.back());
    normalized.characters = std::move(characters);
    normalized.mapping = std::move(mapping);
}
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
    bool replacedLineBreak = false;
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
            replacedLineBreak = true;
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
    if (replacedLineBreak)
        regroup(result);
    return result;
}

Normalized normalize(std::string_view text) { return normalize(Text::characters(text)); }

} // namespace lorvantine::SpeechText
