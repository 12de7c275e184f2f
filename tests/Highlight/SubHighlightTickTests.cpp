#include "Core/SubHighlightMapper.h"
#include "Support/Log.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

using SubHighlightMapper::Playback;
using Publication = SubRectPrecomputation::Publication;

const std::string paragraphText = "Read every word aloud. Then the next sentence.";

std::vector<ArticleParagraph> page()
{
    ArticleParagraph first;
    first.index = 0;
    first.text = paragraphText;
    first.frame = Rect(10, 20, 400, 40);
    first.element = AXElement { 700, 42 };
    ArticleParagraph second;
    second.index = 1;
    second.text = "Second paragraph.";
    return { first, second };
}

AudioSegment speaking(int paragraph = 0, int offset = 0, std::string text = paragraphText)
{
    AudioSegment segment;
    segment.paragraphIndex = paragraph;
    segment.textOffsetInParagraph = offset;
    segment.processedText = std::move(text);
    segment.mp3Data = std::vector<std::uint8_t>(4096, 0xFF);
    segment.timestamps = { { 0.3, 0.5, "Read" }, { 0.6, 0.9, "every" }, { 1.0, 1.2, "word" }, { 1.4, 1.8, "aloud." } };
    return segment;
}

class SubHighlightTickTest : public ::testing::Test {
protected:
    Log::Capture log;
    SubHighlightState state;
    std::vector<ArticleParagraph> paragraphs = page();

    SubHighlightMapper::TickOutcome tickAt(double time, const AudioSegment& segment = speaking(), double duration = 2)
    {
        return SubHighlightMapper::tick(state, Playback::of(segment, time, duration), paragraphs);
    }

    // What the rectangle computation would hand back for the units of `request`.
    static Publication computed(const SubRectPrecomputation::Request& request, double x = 0)
    {
        Publication publication;
        publication.form = Publication::Form::accessibility;
        publication.generation = request.generation;
        for (size_t k = 0; k < request.units.size(); ++k)
            publication.table[static_cast<int>(k)] = { Rect(x + 10.0 * static_cast<double>(k), 20, 9, 18) };
        return publication;
    }
};

TEST_F(SubHighlightTickTest, NewSegmentRebuildsUnitsAndAsksForTheirRectangles)
{
    auto outcome = tickAt(0.7);
    // Nothing is shown until the rectangles are published.
    EXPECT_TRUE(outcome.rects.empty());
    ASSERT_TRUE(outcome.precomputation);
    EXPECT_EQ(outcome.precomputation->paraIdx, 0);
    ASSERT_TRUE(outcome.precomputation->paragraph);
    EXPECT_EQ(outcome.precomputation->paragraph->text, paragraphText);
    EXPECT_EQ(outcome.precomputation->units, state.currentSubUnits);
    EXPECT_EQ(outcome.precomputation->generation, state.unitsGeneration);
    EXPECT_EQ(state.currentSubUnits.size(), 4u);
    EXPECT_EQ(state.lastSubSegmentKey, "0:0:Read every word alou");
    EXPECT_EQ(log.lines(), (std::vector<std::string> {
        "[SubHL] segment switch: para[0] offset=0 ts=4 dur=2.00s ocr=false processed=\"Read every word aloud. Then th\"" }));

    // The same segment on the next tick: no rebuild, no new computation; nor for one sharing its
    // key (paragraph, offset and first 20 Characters).
    log.clear();
    EXPECT_FALSE(tickAt(0.8).precomputation);
    AudioSegment sameStart = speaking(0, 0, "Read every word alouder than before.");
    sameStart.timestamps.clear();
    EXPECT_FALSE(tickAt(0.8, sameStart).precomputation);
    EXPECT_EQ(state.currentSubUnits.size(), 4u);
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(SubHighlightTickTest, ShowsTheRectanglesOfTheUnitBeingSpoken)
{
    auto request = *tickAt(0).precomputation;
    ASSERT_TRUE(SubHighlightMapper::acceptPublication(state, computed(request)));

    // Before the first word starts there is nothing to show.
    EXPECT_TRUE(tickAt(0.1).rects.empty());
    EXPECT_EQ(tickAt(0.3).rects, state.subRectCache.at(0));
    // Between "every" (ends 0.9) and "word" (starts 1.0) "every" stays.
    EXPECT_EQ(tickAt(0.95).rects, state.subRectCache.at(1));
    EXPECT_EQ(tickAt(5).rects, state.subRectCache.at(3));
}

TEST_F(SubHighlightTickTest, UnitsWithoutRectanglesShowNothingRatherThanAStaleHighlight)
{
    auto request = *tickAt(0).precomputation;
    Publication publication = computed(request);
    publication.table[1] = {};
    publication.table.erase(2);
    SubHighlightMapper::acceptPublication(state, publication);
    EXPECT_FALSE(tickAt(0.4).rects.empty());
    EXPECT_TRUE(tickAt(0.7).rects.empty());
    EXPECT_TRUE(tickAt(1.1).rects.empty());
}

TEST_F(SubHighlightTickTest, NothingPlayingShowsNothingAndKeepsTheUnits)
{
    auto request = *tickAt(0).precomputation;
    SubHighlightMapper::acceptPublication(state, computed(request));
    const SubHighlightState before = state;

    auto outcome = SubHighlightMapper::tick(state, std::nullopt, paragraphs);
    EXPECT_TRUE(outcome.rects.empty());
    EXPECT_FALSE(outcome.precomputation);
    EXPECT_EQ(state.currentSubUnits, before.currentSubUnits);
    EXPECT_EQ(state.subRectCache, before.subRectCache);
}

TEST_F(SubHighlightTickTest, ResultsForASegmentNoLongerPlayingAreDropped)
{
    auto first = *tickAt(0).precomputation;
    // The next segment starts before the first one's rectangles arrive.
    auto second = *tickAt(0.4, speaking(0, 23, "Then the next sentence.")).precomputation;
    EXPECT_NE(first.generation, second.generation);
    EXPECT_TRUE(state.subRectCache.empty());

    EXPECT_FALSE(SubHighlightMapper::acceptPublication(state, computed(first, 500)));
    EXPECT_TRUE(state.subRectCache.empty());
    EXPECT_TRUE(tickAt(0.4, speaking(0, 23, "Then the next sentence.")).rects.empty());

    EXPECT_TRUE(SubHighlightMapper::acceptPublication(state, computed(second)));
    EXPECT_EQ(tickAt(0.4, speaking(0, 23, "Then the next sentence.")).rects, (std::vector<Rect> { Rect(0, 20, 9, 18) }));

    // Seeking back replays a segment with the same key after another one played in between.
    auto early = *tickAt(0).precomputation;
    tickAt(0, speaking(1, 0, "Second paragraph."));
    auto replay = *tickAt(0).precomputation;
    EXPECT_FALSE(SubHighlightMapper::acceptPublication(state, computed(early, 500)));
    EXPECT_TRUE(SubHighlightMapper::acceptPublication(state, computed(replay)));
}

TEST_F(SubHighlightTickTest, TheSameTextSpokenAgainInAnotherVoiceIsTimedByItsOwnWords)
{
    AudioSegment first = speaking();
    first.generation = 4;
    ASSERT_TRUE(SubHighlightMapper::acceptPublication(state, computed(*tickAt(0, first).precomputation)));
    ASSERT_EQ(state.currentSubUnits.at(3).startTime, 1.4);

    // A voice change replays the paragraph: same key, new audio with its own timings.
    AudioSegment replayed = speaking();
    replayed.generation = 5;
    replayed.timestamps = { { 0.2, 0.4, "Read" }, { 0.5, 0.7, "every" }, { 0.8, 1.0, "word" }, { 1.1, 1.3, "aloud." } };
    auto outcome = tickAt(1.2, replayed);
    ASSERT_TRUE(outcome.precomputation) << "the units are built for the new audio";
    EXPECT_TRUE(outcome.rects.empty()) << "no rectangle of the old timing";
    EXPECT_EQ(state.currentSubUnits.at(3).startTime, 1.1);
    ASSERT_TRUE(SubHighlightMapper::acceptPublication(state, computed(*outcome.precomputation)));
    EXPECT_EQ(tickAt(1.2, replayed).rects, state.subRectCache.at(3)) << "\"aloud.\" is being spoken";
}

TEST_F(SubHighlightTickTest, ResultsArrivingAfterTheReadingStoppedAreDropped)
{
    auto request = *tickAt(0).precomputation;
    state.reset();
    EXPECT_FALSE(SubHighlightMapper::acceptPublication(state, computed(request)));
    EXPECT_TRUE(state.subRectCache.empty());
    EXPECT_FALSE(state.lastSubSegmentKey);
    // The next tick after a new start rebuilds, even for the very same segment.
    EXPECT_TRUE(tickAt(0).precomputation);
}

TEST_F(SubHighlightTickTest, SegmentOfAMissingParagraphHasNoUnitsAndIsSkipped)
{
    auto outcome = tickAt(0, speaking(7, 0, "Gone."));
    ASSERT_TRUE(outcome.precomputation);
    EXPECT_FALSE(outcome.precomputation->paragraph);
    EXPECT_TRUE(state.currentSubUnits.empty());
    EXPECT_TRUE(tickAt(1, speaking(7, 0, "Gone.")).rects.empty());
}

TEST_F(SubHighlightTickTest, SwitchLineReportsRecognisedWordsAndTheFallback)
{
    paragraphs[1].ocrWordBboxes = std::vector<OCRWordEntry> { { "Second", 0, 6, Rect(0, 0, 50, 20) } };
    AudioSegment segment = speaking(1, 0, "Second paragraph.");
    segment.timestamps = { { 0, 0.4, "Secnod" }, { 0.5, 0.9, "paragarph" } };
    auto outcome = tickAt(0, segment, 1.5);
    EXPECT_EQ(log.lines(), (std::vector<std::string> {
        "[SubHL] segment switch: para[1] offset=0 ts=2 dur=1.50s ocr=true processed=\"Second paragraph.\"",
        "[SubHL] word match rate 0% (0/2) → fallback to sentence units" }));
    ASSERT_EQ(state.currentSubUnits.size(), 1u);
    EXPECT_EQ(state.currentSubUnits[0].charRange, (SubHighlightUnit::CharRange { 0, 17 }));
}

} // namespace
} // namespace lorvantine
