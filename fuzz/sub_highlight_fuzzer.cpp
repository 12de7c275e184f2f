#include "Core/SubHighlightMapper.h"
#include "Network/SpeechText.h"
#include "FuzzCheck.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using namespace lorvantine;

namespace {

// The input: the paragraph text, then the speech server's answers for it, one record each
// (records end at 0x1E). An answer's fields (ended by 0x1F) are its processed text, its
// unprocessed text, then word, start and end of each timestamp.
constexpr std::string_view recordSeparator = "\x1e";
constexpr std::string_view fieldSeparator = "\x1f";

double secondsOf(const std::vector<std::string>& fields, size_t index)
{
    return index < fields.size() ? std::strtod(fields[index].c_str(), nullptr) : 0;
}

AudioSegment segmentOf(const std::string& record, int textOffset, std::string& unprocessed)
{
    const std::vector<std::string> fields = Text::components(record, fieldSeparator);
    AudioSegment segment;
    segment.processedText = fields[0];
    unprocessed = fields.size() > 1 ? fields[1] : std::string();
    for (size_t at = 2; at < fields.size(); at += 3)
        segment.timestamps.push_back({ secondsOf(fields, at + 1), secondsOf(fields, at + 2), fields[at] });
    segment.textOffsetInParagraph = textOffset;
    return segment;
}

bool inside(const SubHighlightUnit::CharRange& range, int count)
{
    return 0 <= range.lower && range.lower <= range.upper && range.upper <= count;
}

// Times may be NaN, which equals nothing; the units' ranges say which units they are.
bool sameRanges(const std::vector<SubHighlightUnit>& a, const std::vector<SubHighlightUnit>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const SubHighlightUnit& x, const SubHighlightUnit& y) { return x.charRange == y.charRange; });
}

void checkNormalization(const std::string& text)
{
    const auto normalized = SpeechText::normalize(text);
    const auto count = static_cast<int>(Text::characterCount(text));
    fuzz::check(normalized.mapping.size() == Text::characterCount(normalized.text()) + 1 && normalized.mapping.back() == count,
                "the normalised text maps every Character back, and its end to the end");
    for (size_t i = 0; i < normalized.mapping.size(); ++i) {
        fuzz::check(normalized.mapping[i] >= 0 && normalized.mapping[i] <= count && (i == 0 || normalized.mapping[i] >= normalized.mapping[i - 1]),
                    "the mapping runs forward inside the text");
    }
}

} // namespace

// The highlight units of every answer stay inside the paragraph, and the tick finds the unit
// being spoken whatever the answers' words, times and texts.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Log::Capture quiet;
    const std::vector<std::string> records
        = Text::components(std::string_view(reinterpret_cast<const char*>(data), size), recordSeparator);
    ArticleParagraph paragraph;
    paragraph.text = records[0];
    const std::vector<ArticleParagraph> paragraphs { paragraph };
    const int count = static_cast<int>(Text::characterCount(paragraph.text));
    checkNormalization(paragraph.text);

    SubHighlightState state;
    int textOffset = 0;
    std::string lastSent = SpeechText::normalize(paragraph.text).text();
    for (size_t r = 1; r < records.size(); ++r) {
        std::string unprocessed;
        AudioSegment segment = segmentOf(records[r], textOffset, unprocessed);
        const double duration = segment.timestamps.empty() ? 0 : segment.timestamps.back().end;

        const auto positions = SubHighlightMapper::matchWordsToText(segment.timestamps, textOffset, paragraph.text);
        fuzz::check(positions.size() == segment.timestamps.size(), "one position per timestamp");
        for (const auto& position : positions)
            fuzz::check(!position || (inside(*position, count) && !position->isEmpty()), "matched words lie inside the paragraph");

        // Answers that share a key (nothing spoken between them) keep the units of the first.
        const bool rebuilds = SubHighlightMapper::segmentKey(segment) != state.lastSubSegmentKey;
        const uint64_t generation = state.unitsGeneration;
        auto outcome = SubHighlightMapper::tick(state, SubHighlightMapper::Playback::of(segment, 0, duration), paragraphs);
        fuzz::check(rebuilds == outcome.precomputation.has_value() && state.unitsGeneration == generation + (rebuilds ? 1 : 0),
                    "a new segment rebuilds the units once");
        fuzz::check(!rebuilds || sameRanges(outcome.precomputation->units, state.currentSubUnits),
                    "the rectangles are asked for the new units");
        for (const SubHighlightUnit& unit : state.currentSubUnits)
            fuzz::check(inside(unit.charRange, count) && !unit.charRange.isEmpty(), "units lie inside the paragraph");

        // One rectangle per unit, as the precomputation publishes them; each tick then shows the
        // rectangle of the unit its time falls in.
        SubRectPrecomputation::Publication publication;
        publication.generation = state.unitsGeneration;
        for (size_t i = 0; i < state.currentSubUnits.size(); ++i)
            publication.table[static_cast<int>(i)] = { Rect(static_cast<double>(i), 0, 1, 1) };
        fuzz::check(SubHighlightMapper::acceptPublication(state, std::move(publication)), "the current units' rectangles are taken");
        for (const SubHighlightUnit& unit : state.currentSubUnits) {
            (void)SubHighlightMapper::tick(state, SubHighlightMapper::Playback::of(segment, unit.endTime, duration), paragraphs);
            const double time = unit.startTime;
            auto shown = SubHighlightMapper::tick(state, SubHighlightMapper::Playback::of(segment, time, duration), paragraphs);
            fuzz::check(!shown.precomputation, "the same segment is not rebuilt");
            if (std::isnan(time))
                continue;
            auto index = SubHighlightMapper::currentUnitIndex(state.currentSubUnits, time);
            fuzz::check(index && state.currentSubUnits[*index].startTime <= time, "a unit's start finds a unit begun by then");
            fuzz::check(shown.rects.size() == 1 && shown.rects[0].origin.x == static_cast<double>(*index),
                        "the tick shows the rectangle of that unit");
        }

        textOffset += static_cast<int>(Text::characterCount(segment.processedText));
        // The client asks for the rest until the server reports none, or the same rest again.
        const std::string rest = Text::trimmingWhitespacesAndNewlines(unprocessed);
        if (rest.empty() || rest == lastSent)
            break;
        lastSent = rest;
    }
    return 0;
}
