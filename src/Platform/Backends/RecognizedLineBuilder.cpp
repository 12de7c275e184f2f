#include "Platform/Backends/RecognizedLineBuilder.h"

#include "Support/Text.h"

#include <cctype>

namespace lorvantine {

bool RecognizedLineBuilder::isUnspacedScript(char32_t c)
{
    return (c >= 0x3000 && c <= 0x303F) // CJK symbols and punctuation
        || (c >= 0x3040 && c <= 0x30FF) // kana
        || (c >= 0x3100 && c <= 0x312F) // bopomofo
        || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF)
        || (c >= 0x20000 && c <= 0x3134F) // ideographs
        || (c >= 0xFE30 && c <= 0xFE4F) // CJK compatibility forms
        || (c >= 0xFF00 && c <= 0xFFEF); // full-width forms
}

bool RecognizedLineBuilder::isAsciiPunctuation(char32_t c)
{
    return c < 0x80 && std::ispunct(static_cast<int>(c));
}

void RecognizedLineBuilder::append(std::string_view piece, const Rect& box, const std::vector<Rect>& characterBoxes, bool apart)
{
    std::u32string scalars = Text::scalars(piece);
    if (scalars.empty())
        return;
    char32_t next = scalars.front();
    bool joined = !apart
        && ((isUnspacedScript(m_last) && (isUnspacedScript(next) || isAsciiPunctuation(next)))
            || (isAsciiPunctuation(m_last) && isUnspacedScript(next)));
    if (!m_text.string.empty() && !joined)
        m_text.string += ' ';

    size_t start = m_text.string.size();
    m_text.string += piece;
    m_last = scalars.back();

    bool unspaced = false;
    for (char32_t c : scalars)
        unspaced = unspaced || isUnspacedScript(c);
    std::vector<std::string> characters = Text::characters(piece);
    if (unspaced && characterBoxes.size() == characters.size() && characters.size() > 1) {
        size_t offset = start;
        for (size_t i = 0; i < characters.size(); ++i) {
            m_text.segments.push_back({offset, offset + characters[i].size(), characterBoxes[i]});
            offset += characters[i].size();
        }
    } else {
        m_text.segments.push_back({start, m_text.string.size(), box});
    }
}

RecognizedText RecognizedLineBuilder::build(double confidence) const
{
    RecognizedText text = m_text;
    text.confidence = confidence;
    return text;
}

} // namespace lorvantine
