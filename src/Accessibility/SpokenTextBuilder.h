#pragma once

#include "Accessibility/TextPiece.h"

#include <string>
#include <string_view>
#include <vector>

namespace lorvantine {

// The text to speak for a paragraph made of several static texts. Stateless; any thread.
namespace SpokenTextBuilder {

// Per piece, whether it is spoken. Link text is spoken where it stands inside running text; the
// links of a block that has no letter or digit of its own (a menu, a list of links, links between
// separators) are left out.
std::vector<bool> spokenPieces(const std::vector<TextPiece>& pieces);

// The spoken pieces in order. Pieces of one block that continue a line (a word split by styling)
// follow each other as they are; where one block ends and the next begins, or a piece starts on
// a new line (a line break, which web views expose as no text), a space keeps the words apart
// (see `separatesAtSeam`).
std::string join(const std::vector<TextPiece>& pieces, const std::vector<bool>& spoken);

// Whether `next` begins on a line below the last line of `previous`: its top is not above the
// other's bottom. Unknown frames tell nothing, and the pieces are taken to continue a line.
bool startsNewLine(const TextPiece& previous, const TextPiece& next);

// Both of the above.
std::string spokenText(const std::vector<TextPiece>& pieces);

// Whether a space goes between two blocks' texts: not when either side already has white space
// there, the next one opens with closing or ending punctuation, the previous one ends with
// opening punctuation, or both sides are CJK.
bool separatesAtSeam(std::string_view before, std::string_view after);

} // namespace SpokenTextBuilder
} // namespace lorvantine
