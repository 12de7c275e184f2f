#pragma once

#include "Documents/RecognizedWord.h"
#include "Documents/DocumentSource.h"

#include <memory>
#include <string>
#include <vector>

namespace lorvantine {

// Microsoft Word, read wholly from its window picture: a fixed inner rectangle of the front
// window is recognised, a column of line numbers is removed when the page shows one, and the
// words become paragraphs with their boxes. Only what is on screen is read; the screen scroll
// moves on. Synchronous and slow (capture and recognition): never on the main thread.
namespace WordSource {

inline constexpr int priority = 41;
const std::vector<std::string>& supportedBundleIDs();
// The window's paragraphs, or none (logged when recognition or paragraph building gave nothing).
std::shared_ptr<DocumentSession> detect(const std::string& bundleID);
DocumentSource source();

// The recognised words less the line numbers, in their order. Line numbers are the leftmost words
// of at least half the lines, 1 to 4 decimal digits, narrower than 40 points, in one column (their
// left edges spread by at most 15 points) and clear of the text, left of where every line without a
// number starts; any word with the same whole-point box goes with them.
std::vector<RecognizedWord> stripLineNumbers(const std::vector<RecognizedWord>& words);
// The part of a Word window of frame `window` that shows the document and is recognised: without the
// ribbon and ruler above, the status bar below and the margin at the left.
Rect contentRect(const Rect& window);
// A box as "minX,minY,width,height", each truncated to a whole number.
std::string rectKey(const Rect& rect);

} // namespace WordSource
} // namespace lorvantine
