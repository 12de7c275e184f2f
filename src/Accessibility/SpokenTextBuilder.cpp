#include "Accessibility/SpokenTextBuilder.h"

#include "Support/Text.h"

#include <unicode/uchar.h>
#include <unicode/uscript.h>

#include <algorithm>
#include <unordered_set>

namespace lorvantine::SpokenTextBuilder {

namespace {

// Lines of one block meet edge to edge; rounding may let them overlap by a fraction of a point.
constexpr double newLineTolerance = 1;

char32_t firstScalar(std::string_view character)
{
    const std::u32string scalars = Text::scalars(character);
    return scalars.empty() ? U'\0' : scalars.front();
}

bool isClosingOrEnding(char32_t c)
{
    const auto type = static_cast<UCharCategory>(u_charType(static_cast<UChar32>(c)));
    return type == U_END_PUNCTUATION || type == U_FINAL_PUNCTUATION
        || u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_TERMINAL_PUNCTUATION);
}

bool isOpening(char32_t c)
{
    const auto type = static_cast<UCharCategory>(u_charType(static_cast<UChar32>(c)));
    return type == U_START_PUNCTUATION || type == U_INITIAL_PUNCTUATION;
}

// Han, kana, hangul and bopomofo, and the wide forms that go with them (ideographic punctuation,
// full-width letters); wide emoji are not.
bool isCJK(char32_t c)
{
    const auto code = static_cast<UChar32>(c);
    UErrorCode status = U_ZERO_ERROR;
    const UScriptCode script = uscript_getScript(code, &status);
    if (U_SUCCESS(status)
        && (script == USCRIPT_HAN || script == USCRIPT_HIRAGANA || script == USCRIPT_KATAKANA
            || script == USCRIPT_HANGUL || script == USCRIPT_BOPOMOFO))
        return true;
    const auto width = static_cast<UEastAsianWidth>(u_getIntPropertyValue(code, UCHAR_EAST_ASIAN_WIDTH));
    return (width == U_EA_WIDE || width == U_EA_FULLWIDTH) && !u_hasBinaryProperty(code, UCHAR_EMOJI_PRESENTATION);
}

bool hasLetterOrDigit(std::string_view text)
{
    const std::u32string scalars = Text::scalars(text);
    return std::any_of(scalars.begin(), scalars.end(), [](char32_t c) { return u_isalnum(static_cast<UChar32>(c)); });
}

} // namespace

std::vector<bool> spokenPieces(const std::vector<TextPiece>& pieces)
{
    std::unordered_set<AXElement> blocksWithWords;
    for (const auto& piece : pieces)
        if (!piece.inLink && hasLetterOrDigit(piece.text))
            blocksWithWords.insert(piece.block);
    std::vector<bool> spoken;
    spoken.reserve(pieces.size());
    for (const auto& piece : pieces)
        spoken.push_back(!piece.inLink || blocksWithWords.count(piece.block) > 0);
    return spoken;
}

std::string join(const std::vector<TextPiece>& pieces, const std::vector<bool>& spoken)
{
    std::string out;
    const TextPiece* previous = nullptr;
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i >= spoken.size() || !spoken[i] || pieces[i].text.empty())
            continue;
        if (previous && (previous->block != pieces[i].block || startsNewLine(*previous, pieces[i]))
            && separatesAtSeam(previous->text, pieces[i].text))
            out += ' ';
        out += pieces[i].text;
        previous = &pieces[i];
    }
    return out;
}

bool startsNewLine(const TextPiece& previous, const TextPiece& next)
{
    if (!previous.frame || !next.frame)
        return false;
    return next.frame->minY() >= previous.frame->maxY() - newLineTolerance;
}

std::string spokenText(const std::vector<TextPiece>& pieces) { return join(pieces, spokenPieces(pieces)); }

bool separatesAtSeam(std::string_view before, std::string_view after)
{
    if (before.empty() || after.empty())
        return false;
    const std::vector<std::string> beforeCharacters = Text::characters(before);
    const std::string& last = beforeCharacters.back();
    const std::string first = Text::characterPrefix(after, 1);
    if (Text::isWhitespaceCharacter(last) || Text::isWhitespaceCharacter(first))
        return false;
    const char32_t previous = firstScalar(last);
    const char32_t next = firstScalar(first);
    if (isClosingOrEnding(next) || isOpening(previous))
        return false;
    return !(isCJK(previous) && isCJK(next));
}

} // namespace lorvantine::SpokenTextBuilder
