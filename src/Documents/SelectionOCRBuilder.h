#pragma once

#include "Documents/RecognizedWord.h"
#include "Accessibility/ArticleParagraph.h"
#include "Accessibility/OCRWordEntry.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lorvantine {

// Gives a copied selection the geometry of the words recognised around it: the copied text is
// exact but has no boxes, the recognised words have boxes but may be misread, split or merged
// differently and include unselected words around the selection. A dynamic-programming match of
// word groups (up to three against three, by edit-distance similarity, plus a match inside part
// of one longer recognised word) gives each copied word it can place a rectangle.
//
// No state: any thread, several at once. The alignment costs clipboard words × recognised words
// cells, so callers run it off the main thread.
namespace SelectionOCRBuilder {

// One paragraph of role "Selection" holding the trimmed clipboard text, `boundsDisabled`, and one
// entry per matched clipboard word (in clipboard order, Character offsets into that text); none
// when either input is empty, when nothing matched or when the alignment would be too large.
// `rawWords` may come in any order. With `debugOverlayPath` the diagnostic picture of the
// recognised boxes (grey) and the entries (green) replaces the file there.
std::optional<ArticleParagraph> build(const std::string& clipboardText, const std::vector<RecognizedWord>& rawWords,
                                      const std::optional<std::string>& debugOverlayPath);

// Above this many cells the alignment is refused with a log line: it would take seconds.
inline constexpr size_t maxAlignmentCells = 1'500'000;

// --- The steps of `build`, for its tests, the benchmark and the offline alignment cases ---

// Top of the screen first, words whose vertical centres are within 0.6 of the taller height
// forming one line, each line left to right.
std::vector<RecognizedWord> sortIntoReadingOrder(std::vector<RecognizedWord> words);

// Maximal runs of non-white-space Characters of `text`, with the Character offset of each.
struct ClipboardWords {
    std::vector<std::string> words;
    std::vector<int> offsets;
};
ClipboardWords tokenizeClipboard(std::string_view text);

// Lower-cased, keeping only letters, marks and decimal digits.
std::string normalize(std::string_view text);
// Levenshtein distance over Characters.
int editDistance(std::string_view a, std::string_view b);
// 1 − editDistance / the longer length; 1 for two empty strings, 0 when only one is empty.
double similarity(std::string_view a, std::string_view b);

// The best approximate occurrence of `needle` inside the strictly longer `haystack`: Characters
// [start, end) of the haystack at `ed` edits, the earliest end among the best.
struct FuzzyOccurrence {
    int start = 0;
    int end = 0;
    int ed = 0;
    friend bool operator==(const FuzzyOccurrence&, const FuzzyOccurrence&) = default;
};
std::optional<FuzzyOccurrence> fuzzySubstring(std::string_view needle, std::string_view haystack);

// The entries of the clipboard words that match `ocrWords` (already in reading order); none,
// silently, above `maxAlignmentCells` (`build` says why).
std::vector<OCRWordEntry> alignWordLevel(const std::vector<std::string>& clipWords, const std::vector<int>& clipOffsets,
                                         const std::vector<RecognizedWord>& ocrWords);

// The diagnostic picture: 2 pixels a point over the boxes' union grown by 20 points, white, the
// recognised boxes stroked grey, the entries green. Written to a private temporary beside `path`
// and renamed over it, never through a symbolic link at `path`; a failure writes nothing.
void writeDebugOverlay(const std::vector<RecognizedWord>& words, const std::vector<OCRWordEntry>& entries,
                       const std::string& path);

} // namespace SelectionOCRBuilder
} // namespace lorvantine
