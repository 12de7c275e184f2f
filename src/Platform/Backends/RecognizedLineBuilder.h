#pragma once

#include "Platform/TextRecognitionPort.h"

#include <string_view>
#include <vector>

namespace lorvantine {

// Puts one recognised line together from the pieces an engine reports, left to right, the way
// the platform's recogniser writes lines: one space between pieces, none between two characters
// of a script written without spaces (Chinese, Japanese) nor between such a character and a
// punctuation mark, so a Chinese line reads as one run; but always one between pieces that stand
// apart across a blank wider than a character.
// Characters of such scripts keep a box each, so that any stretch of the line can be located.
class RecognizedLineBuilder {
public:
    // `box` is the piece's box (normalised, bottom-left origin). `characterBoxes`, when it holds
    // one box per Character of `piece`, is used for pieces written in a script without spaces.
    // `apart`: the piece stands across such a blank from the one before.
    void append(std::string_view piece, const Rect& box, const std::vector<Rect>& characterBoxes = {}, bool apart = false);

    bool isEmpty() const { return m_text.string.empty(); }
    RecognizedText build(double confidence) const;

    // Wider than any blank between two characters of one stretch of Chinese (two book-title marks
    // 》《 leave 1.2 of a character's height), narrower than the gutter between two columns: a
    // blank of more characters' heights than this parts pieces of a line (see `append`).
    static constexpr double apartInCharacterHeights = 1.3;

    // Han ideographs, kana, bopomofo, and the CJK and full-width punctuation that goes with them.
    static bool isUnspacedScript(char32_t scalar);
    static bool isAsciiPunctuation(char32_t scalar);

private:
    RecognizedText m_text;
    char32_t m_last = 0;
};

} // namespace lorvantine
