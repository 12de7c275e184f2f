#pragma once

#include "Accessibility/ArticleParagraph.h"
#include "Audio/AudioSegment.h"
#include "Core/SubHighlightState.h"
#include "Core/SubHighlightUnit.h"
#include "Core/SubRectPrecomputation.h"
#include "Network/TTSTimestamp.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lorvantine {

// Turns the playing audio segment into timed highlight units (words from the server's
// timestamps, or sentences), and picks the unit, and so the rectangles, for a playback position.
// Stateless: the unit builders are pure functions of their arguments, and the tick works on the
// state its caller passes in. Offsets inside paragraph text are Characters throughout.
namespace SubHighlightMapper {

using CharRange = SubHighlightUnit::CharRange;

// Characters after which a piece of spoken text ends. The ASCII full stop and the comma are in
// neither set.
inline constexpr std::array<std::string_view, 8> segmentSentenceEnders { "。", "！", "？", "；", "…", "!", "?", ";" };
inline constexpr std::array<std::string_view, 9> sentenceEnders { "。", "！", "？", "；", "…", "!", "?", ";", "\n" };

// One position per timestamp: the range of the paragraph's Characters the word was matched to,
// searched greedily forward from the first word at or after `textOffset`.
std::vector<std::optional<CharRange>> matchWordsToText(const std::vector<TTSTimestamp>& timestamps, int textOffset,
                                                       std::string_view paragraphText);

// More than a tenth of the text's Characters are CJK ideographs (U+4E00–U+9FA5).
bool isChinese(std::string_view text);

// One unit for each timestamp with a position, timed by the timestamp.
std::vector<SubHighlightUnit> buildWordUnits(const std::vector<TTSTimestamp>& timestamps,
                                             const std::vector<std::optional<CharRange>>& wordPositions);

// Runs of matched words up to a sentence ender or a line break, each from its first word's start
// to its last word's end.
std::vector<SubHighlightUnit> buildSentenceUnits(const std::vector<TTSTimestamp>& timestamps,
                                                 const std::vector<std::optional<CharRange>>& wordPositions,
                                                 std::string_view paragraphText);

// Sentence pieces of the spoken text, timed by their share of its length; the last one never
// ends (+infinity). A duration of 0 or less counts 0.2 s per Character.
std::vector<SubHighlightUnit> buildSentenceUnitsWithoutTimestamps(std::string_view processedText, int textOffset,
                                                                  std::string_view paragraphText, double segmentDuration);

// Pieces ending after each Character of `segmentSentenceEnders`, keeping their own spaces; the
// whole text when there is no such piece.
std::vector<std::string> splitByPunctuation(std::string_view text);


// --- The tick ---

// What the tick needs of the player, copied while holding its lock.
struct Playback {
    AudioSegment segment;
    double currentTime = 0;
    double duration = 0;

    // Copies everything but the audio, which the tick does not read.
    static Playback of(const AudioSegment& segment, double currentTime, double duration);
};

// "paragraph:offset:" and the first 20 Characters of the spoken text. Segments that share a key
// count as one.
std::string segmentKey(const AudioSegment& segment);

// The units of a segment: word units when at least 30 % of its timestamps match the paragraph
// (sentence units for Chinese text), else sentence pieces timed by length. Writes the fallback
// line when the match rate is too low.
std::vector<SubHighlightUnit> unitsForSegment(const AudioSegment& segment, std::string_view paragraphText,
                                              double duration);

// The position of the unit being spoken at `time`: the last whose start is at or before it.
std::optional<size_t> currentUnitIndex(const std::vector<SubHighlightUnit>& units, double time);

struct TickOutcome {
    // What the overlay shows now; empty for no sub-highlight.
    std::vector<Rect> rects;
    // Set when the units were rebuilt: the rectangle computation to start for them.
    std::optional<SubRectPrecomputation::Request> precomputation;
};

// One tick of the sub-highlight timer. `playback` is none when the session is not reading or
// nothing is loaded. On a new segment key, or new audio under the same key (another generation
// made it), the units are rebuilt into `state` (its rectangle cache emptied, its generation
// advanced, the switch logged) and the outcome asks for their rectangles; otherwise only the
// current unit is looked up. Main thread.
TickOutcome tick(SubHighlightState& state, const std::optional<Playback>& playback,
                 const std::vector<ArticleParagraph>& paragraphs);

// Puts a computed table into `state` when it was computed for the units `state` holds now.
// Returns false, changing nothing, for a result of an earlier segment or of a stopped reading.
// Main thread.
bool acceptPublication(SubHighlightState& state, SubRectPrecomputation::Publication publication);

} // namespace SubHighlightMapper
} // namespace lorvantine
