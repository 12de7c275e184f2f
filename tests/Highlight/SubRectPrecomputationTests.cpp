#include "Accessibility/AXReader.h"
#include "Core/HighlightGeometry.h"
#include "Core/SubHighlightMapper.h"
#include "Core/SubRectPrecomputation.h"
#include "Highlight/HighlightTestDesktop.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Support/Log.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

using Form = SubRectPrecomputation::Publication::Form;
using Request = SubRectPrecomputation::Request;
using test::expectNear;

SubHighlightUnit unit(int lower, int upper) { return { { lower, upper }, 0, 1 }; }

class SubRectPrecomputationTest : public test::HighlightDesktopTest {
protected:
    Log::Capture log;

    ArticleParagraph paragraphOf(const std::string& name, std::string text)
    {
        ArticleParagraph paragraph;
        paragraph.text = std::move(text);
        paragraph.element = element(name);
        paragraph.frame = frameOf(name);
        paragraph.role = "AXTextArea";
        return paragraph;
    }

    // The second paragraph of the article element, which starts after "Intro line.\n".
    ArticleParagraph sharedArticleParagraph(const std::string& text)
    {
        ArticleParagraph paragraph = paragraphOf("article", text);
        const AXElement article = element("article");
        paragraph.nativeCharOffset = utf16Offset(article, "Fresh");
        paragraph.frame = AXReader::boundsForRange(article, *paragraph.nativeCharOffset, static_cast<int>(Text::utf16Count(text))).value();
        return paragraph;
    }

    static Request request(ArticleParagraph paragraph, std::vector<SubHighlightUnit> units, int index = 0)
    {
        return { index, std::move(paragraph), std::move(units), 1 };
    }

    // The element's own measure of the first occurrence of `word` in its text.
    Rect boundsOfWord(const std::string& name, const std::string& word)
    {
        const AXElement el = element(name);
        const int at = utf16Offset(el, word);
        EXPECT_EQ(AXReader::stringForRange(el, at, static_cast<int>(Text::utf16Count(word))), word);
        return AXReader::boundsForRange(el, at, static_cast<int>(Text::utf16Count(word))).value_or(Rect());
    }

    void expectSkipped(const std::optional<SubRectPrecomputation::Publication>& publication, const std::string& line)
    {
        ASSERT_TRUE(publication);
        EXPECT_EQ(publication->form, Form::empty);
        EXPECT_TRUE(publication->table.empty());
        EXPECT_EQ(log.lines().back(), line);
    }
};

// --- Paragraphs of recognised words ---

TEST_F(SubRectPrecomputationTest, RecognisedParagraphsTakeTheirWordBoxes)
{
    ArticleParagraph paragraph;
    paragraph.text = "Hello brave new world";
    paragraph.role = "body";
    paragraph.boundsDisabled = true;
    paragraph.ocrWordBboxes = std::vector<OCRWordEntry> {
        { "Hello", 0, 5, Rect(10, 10, 40, 18) }, { "brave", 6, 11, Rect(55, 10, 40, 18) },
        { "new", 12, 15, Rect(10, 32, 30, 18) }, { "world", 16, 21, Rect(45, 32, 40, 18) } };

    auto publication = SubRectPrecomputation::precomputeSubRects(request(paragraph, { unit(0, 11), unit(6, 21) }, 3));
    ASSERT_TRUE(publication);
    EXPECT_EQ(publication->form, Form::recognisedWords);
    EXPECT_EQ(publication->table.at(0), (std::vector<Rect> { Rect(10, 10, 85, 18) }));
    // A unit over two recognised lines gets one box per line.
    EXPECT_EQ(publication->table.at(1), (std::vector<Rect> { Rect(55, 10, 40, 18), Rect(10, 32, 75, 18) }));
    EXPECT_EQ(log.lines(), (std::vector<std::string> { "[SubHL] para[3] OCR path: units=2 words=4",
                                                        "[SubHL] para[3] OCR done: 2 entries, 2 non-empty, 0 empty" }));
    EXPECT_EQ(probes->totalCalls(), 0);
}

// --- Paragraphs that are not measured ---

TEST_F(SubRectPrecomputationTest, ParagraphsThatCannotBeMeasuredPublishAnEmptyTable)
{
    expectSkipped(SubRectPrecomputation::precomputeSubRects({ 5, std::nullopt, { unit(0, 3) }, 1 }),
                  "[SubHL] para[5] skip: out of bounds");

    ArticleParagraph noElement = paragraphOf("line", "Reading aloud, one word at a time.");
    noElement.element.reset();
    expectSkipped(SubRectPrecomputation::precomputeSubRects(request(noElement, { unit(0, 7) })), "[SubHL] para[0] skip: no element");

    ArticleParagraph disabled = paragraphOf("line", "Reading aloud, one word at a time.");
    disabled.boundsDisabled = true;
    probes->resetCounts();
    expectSkipped(SubRectPrecomputation::precomputeSubRects(request(disabled, { unit(0, 7) })),
                  "[SubHL] para[0] skip: boundsDisabled");
    EXPECT_EQ(probes->totalCalls(), 0);

    expectSkipped(SubRectPrecomputation::precomputeSubRects(request(paragraphOf("unmeasurable", "No bounds at all"), { unit(0, 2) })),
                  "[SubHL] para[0] BFR probe FAILED (nil), skip sub-highlight");
}

TEST_F(SubRectPrecomputationTest, MergedParagraphIsSkippedUnlessItsOffsetIsKnown)
{
    // A 20-point element inside a 60-point paragraph frame.
    ArticleParagraph merged = paragraphOf("merged", "Squeezed text");
    merged.frame = Rect(merged.frame.minX(), merged.frame.minY(), merged.frame.width(), 60);
    expectSkipped(SubRectPrecomputation::precomputeSubRects(request(merged, { unit(0, 8) })),
                  "[SubHL] para[0] skip: merged paragraph (elH=20 < frameH*0.5=30)");

    merged.nativeCharOffset = 0;
    auto measured = SubRectPrecomputation::precomputeSubRects(request(merged, { unit(0, 8) }));
    ASSERT_TRUE(measured);
    EXPECT_EQ(measured->form, Form::accessibility);
    ASSERT_EQ(measured->table.at(0).size(), 1u);
    EXPECT_NEAR(measured->table.at(0)[0].minX(), boundsOfWord("merged", "Squeezed").minX(), 0.01);
}

TEST_F(SubRectPrecomputationTest, ImplausibleCharacterBoundsAreNotUsed)
{
    // Bounds that cover the whole element rather than one character.
    ArticleParagraph whole = paragraphOf("whole-rect", "Bounds are the whole area");
    expectSkipped(SubRectPrecomputation::precomputeSubRects(request(whole, { unit(0, 6) })),
                  "[SubHL] para[0] BFR probe full-rect (h=60 vs el h=60), skip");
    whole.nativeCharOffset = 0;
    expectSkipped(SubRectPrecomputation::precomputeSubRects(request(whole, { unit(0, 6) })),
                  "[ArticleReader] BoundsForRange anomalous for para 0: bounds y=570 h=60 vs frame y=570, skipping sub-highlight");

    // Bounds 500 points below a 40-point paragraph.
    ArticleParagraph far = paragraphOf("far-away", "Bounds lie far below");
    expectSkipped(SubRectPrecomputation::precomputeSubRects(request(far, { unit(0, 6) })),
                  "[ArticleReader] BoundsForRange anomalous for narrow para 0: bounds y=1150 vs frame y=650, skipping sub-highlight");
    far.nativeCharOffset = 0;
    expectSkipped(SubRectPrecomputation::precomputeSubRects(request(far, { unit(0, 6) })),
                  "[ArticleReader] BoundsForRange anomalous for para 0: bounds y=1150 h=18 vs frame y=650, skipping sub-highlight");
}

// --- Measuring through accessibility ---

TEST_F(SubRectPrecomputationTest, OffsetIntoASharedElementIsConvertedToUtf16)
{
    // After "Intro line.\n" (12 UTF-16 units).
    const ArticleParagraph paragraph = sharedArticleParagraph("Fresh 🍞 bread, 面包 and cafe\u0301 au lait.");

    // bread, 面包, café and lait, in Characters of the paragraph text.
    auto publication = SubRectPrecomputation::precomputeSubRects(
        request(paragraph, { unit(8, 13), unit(15, 17), unit(22, 26), unit(30, 34) }));
    ASSERT_TRUE(publication);
    EXPECT_EQ(publication->form, Form::accessibility);
    ASSERT_EQ(publication->table.size(), 4u);
    const std::vector<std::string> words { "bread", "面包", "cafe\u0301", "lait" };
    for (int k = 0; k < 4; ++k) {
        ASSERT_EQ(publication->table.at(k).size(), 1u) << words[k];
        expectNear(publication->table.at(k)[0], boundsOfWord("article", words[k]), words[k].c_str());
    }

    EXPECT_EQ(log.linesContaining("grapheme≠utf16"),
              std::vector<std::string> { "[SubHL] para[0] grapheme≠utf16: count=35 utf16=37 → 启用 grapheme→UTF-16 转换" });
    const auto alignment = log.linesContaining("[SubHL:align]");
    ASSERT_EQ(alignment.size(), 3u);
    EXPECT_EQ(alignment[0], "[SubHL:align] unit[0] grapheme=8..<13 u16=9..<14 AX loc=21 len=5 ✓\n"
                            "  expected=\"bread\"\n"
                            "  actual  =\"bread\"");
    EXPECT_TRUE(log.contains("[SubHL] para[0] done: 4 entries, 4 non-empty"));
}

TEST_F(SubRectPrecomputationTest, AlignmentLineShowsAMismatchAndAnUnreadableRange)
{
    // The paragraph is said to start one unit later in the element than it does.
    ArticleParagraph paragraph = paragraphOf("line", "Reading aloud, one word at a time.");
    paragraph.nativeCharOffset = 1;
    auto publication = SubRectPrecomputation::precomputeSubRects(request(paragraph, { unit(0, 7), unit(30, 34) }));
    ASSERT_TRUE(publication);
    EXPECT_EQ(log.linesContaining("[SubHL:align]"), (std::vector<std::string> {
        "[SubHL:align] unit[0] grapheme=0..<7 u16=0..<7 AX loc=1 len=7 ✗\n  expected=\"Reading\"\n  actual  =\"eading \"",
        // Past the end of the element's text.
        "[SubHL:align] unit[1] grapheme=30..<34 u16=30..<34 AX loc=31 len=4 ✗\n  expected=\"ime.\"\n  actual  =\"<nil>\"" }));
}

TEST_F(SubRectPrecomputationTest, EmptyUnitsGetNoEntryWithAnOffsetAndAnEmptyListWithout)
{
    ArticleParagraph paragraph = paragraphOf("line", "Reading aloud, one word at a time.");
    auto withoutOffset = SubRectPrecomputation::precomputeSubRects(request(paragraph, { unit(0, 7), unit(9, 9) }));
    ASSERT_TRUE(withoutOffset);
    ASSERT_EQ(withoutOffset->table.count(1), 1u);
    EXPECT_TRUE(withoutOffset->table.at(1).empty());

    paragraph.nativeCharOffset = 0;
    auto withOffset = SubRectPrecomputation::precomputeSubRects(request(paragraph, { unit(0, 7), unit(9, 9) }));
    ASSERT_TRUE(withOffset);
    EXPECT_EQ(withOffset->table.count(1), 0u);
    EXPECT_TRUE(log.contains("[SubHL] para[0] done: 1 entries, 1 non-empty"));
}

TEST_F(SubRectPrecomputationTest, ElementTextWithAPrefixIsMappedAndMeasuredInUtf16)
{
    // The element holds "» " before the paragraph's text, and an emoji before "bread".
    ArticleParagraph paragraph = paragraphOf("prefixed", "Fresh 🍞 bread and milk");
    auto publication = SubRectPrecomputation::precomputeSubRects(request(paragraph, { unit(0, 5), unit(8, 13), unit(18, 22) }));
    ASSERT_TRUE(publication);
    EXPECT_EQ(publication->form, Form::accessibility);
    expectNear(publication->table.at(0).at(0), boundsOfWord("prefixed", "Fresh"), "Fresh");
    expectNear(publication->table.at(1).at(0), boundsOfWord("prefixed", "bread"), "bread");
    expectNear(publication->table.at(2).at(0), boundsOfWord("prefixed", "milk"), "milk");

    // The same through the paragraph's copy of the element's text when the element cannot count.
    desktop->setError(element("prefixed"), "AXNumberOfCharacters", AXError::cannotComplete);
    paragraph.axFullText = "» Fresh 🍞 bread and milk";
    auto fromFullText = SubRectPrecomputation::precomputeSubRects(request(paragraph, { unit(8, 13) }));
    ASSERT_TRUE(fromFullText);
    expectNear(fromFullText->table.at(0).at(0), boundsOfWord("prefixed", "bread"), "bread");
}

TEST_F(SubRectPrecomputationTest, AnEmojiSpokenAsAWordIsMarkedOneCharacterWide)
{
    // Two UTF-16 units, one Character: the mark ends where the emoji does, short of "bread".
    const ArticleParagraph shared = sharedArticleParagraph("Fresh 🍞 bread, 面包 and cafe\u0301 au lait.");
    auto withOffset = SubRectPrecomputation::precomputeSubRects(request(shared, { unit(6, 7) }));
    ASSERT_TRUE(withOffset);
    ASSERT_EQ(withOffset->table.at(0).size(), 1u);
    expectNear(withOffset->table.at(0)[0], boundsOfWord("article", "🍞"), "with an offset");

    auto mapped = SubRectPrecomputation::precomputeSubRects(request(paragraphOf("prefixed", "Fresh 🍞 bread and milk"), { unit(6, 7) }));
    ASSERT_TRUE(mapped);
    ASSERT_EQ(mapped->table.at(0).size(), 1u);
    expectNear(mapped->table.at(0)[0], boundsOfWord("prefixed", "🍞"), "through the mapping");

    // Measured straight in the element, as the highlight tests do.
    const AXElement prefixed = element("prefixed");
    const auto direct = HighlightGeometry::computeLineRects(prefixed, utf16Offset(prefixed, "🍞"), 2, frameOf("prefixed"),
                                                            HighlightGeometry::LastInParagraph::no);
    ASSERT_EQ(direct.size(), 1u);
    expectNear(direct[0], boundsOfWord("prefixed", "🍞"), "straight");
}

TEST_F(SubRectPrecomputationTest, MappingThatMissesACharacterIsDropped)
{
    // "Fresh" and the emoji are found after the prefix, but the element has no "!": no mapping,
    // so the units are measured at their own offsets.
    ArticleParagraph paragraph = paragraphOf("prefixed", "Fresh! 🍞 bread and milk");
    auto publication = SubRectPrecomputation::precomputeSubRects(request(paragraph, { unit(0, 5) }));
    ASSERT_TRUE(publication);
    const AXElement prefixed = element("prefixed");
    expectNear(publication->table.at(0).at(0), AXReader::boundsForRange(prefixed, 0, 5).value());

    // Without a mapping, units after an emoji are still measured in UTF-16.
    paragraph = paragraphOf("prefixed", "» Fresh 🍞 bread and milk");
    publication = SubRectPrecomputation::precomputeSubRects(request(paragraph, { unit(10, 15) }));
    ASSERT_TRUE(publication);
    expectNear(publication->table.at(0).at(0), boundsOfWord("prefixed", "bread"));
}

TEST_F(SubRectPrecomputationTest, StaticTextsAlignTheParagraphWhenTheElementCannotCount)
{
    // A paragraph whose text doubled a space, over an element whose static text holds it once.
    const AXElement area = desktop->addElement(element("window"), SimElement("AXTextArea", "🍞 Fresh bread and milk")
                                                                      .frame(Rect(20, 760, 600, 24))
                                                                      .named("static-area")
                                                                      .failing("AXNumberOfCharacters", AXError::cannotComplete)
                                                                      .child(SimElement("AXStaticText", "🍞 Fresh bread and milk")
                                                                                 .frame(Rect(0, 30, 600, 24))));
    ASSERT_FALSE(area.isNull());
    ArticleParagraph paragraph = paragraphOf("static-area", "🍞 Fresh  bread and milk");
    auto publication = SubRectPrecomputation::precomputeSubRects(request(paragraph, { unit(2, 7), unit(9, 14) }));
    ASSERT_TRUE(publication);
    expectNear(publication->table.at(0).at(0), boundsOfWord("static-area", "Fresh"), "Fresh");
    expectNear(publication->table.at(1).at(0), boundsOfWord("static-area", "bread"), "bread");
}

TEST_F(SubRectPrecomputationTest, StaticTextChildLocatesWhereTheParagraphStarts)
{
    // The element cannot count its characters; its static-text child shows the paragraph's text
    // exactly over the element's fourth character.
    const AXElement area = desktop->addElement(element("window"), SimElement("AXTextArea", "»» Fresh bread")
                                                                      .frame(Rect(20, 760, 600, 24))
                                                                      .named("shifted-area")
                                                                      .failing("AXNumberOfCharacters", AXError::cannotComplete));
    const Rect areaFrame = desktop->frameOf(area).value();
    const Rect fourth = AXReader::boundsForRange(area, 3, 1).value();
    desktop->addElement(area, SimElement("AXStaticText", "Fresh bread")
                                  .frame(Rect(fourth.minX() - areaFrame.minX(), fourth.minY() - areaFrame.minY(), 400, 24)));

    ArticleParagraph paragraph = paragraphOf("shifted-area", "Fresh bread");
    auto publication = SubRectPrecomputation::precomputeSubRects(request(paragraph, { unit(6, 11) }));
    ASSERT_TRUE(publication);
    expectNear(publication->table.at(0).at(0), boundsOfWord("shifted-area", "bread"), "bread");
}

// --- Running it for the session ---

TEST_F(SubRectPrecomputationTest, ScheduledResultsArriveOnTheMainQueue)
{
    std::vector<SubRectPrecomputation::Publication> received;
    bool onMain = false;
    SubRectPrecomputation::schedule(request(paragraphOf("line", "Reading aloud, one word at a time."), { unit(0, 7) }),
                                    [&](SubRectPrecomputation::Publication publication) {
                                        onMain = RunLoop::isMainThread();
                                        received.push_back(std::move(publication));
                                    });
    // Nothing publishes when the element's geometry cannot be read.
    ArticleParagraph unreadable = paragraphOf("merged", "Squeezed text");
    desktop->setError(element("merged"), "AXSize", AXError::cannotComplete);
    SubRectPrecomputation::schedule(request(unreadable, { unit(0, 8) }),
                                    [&](SubRectPrecomputation::Publication publication) { received.push_back(std::move(publication)); });
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    ASSERT_EQ(received.size(), 1u);
    EXPECT_TRUE(onMain);
    EXPECT_EQ(received[0].form, Form::accessibility);
    expectNear(received[0].table.at(0).at(0), boundsOfWord("line", "Reading"));
}

TEST_F(SubRectPrecomputationTest, LateResultsOfAnEarlierSegmentDoNotReplaceTheCurrentOnes)
{
    std::vector<ArticleParagraph> paragraphs { paragraphOf("line", "Reading aloud, one word at a time."),
                                               paragraphOf("verse", "Roses are red,\nViolets are blue,\nSugar is sweet,\nAnd so are you.") };
    SubHighlightState state;
    int accepted = 0;
    auto publish = [&](SubRectPrecomputation::Publication publication) {
        accepted += SubHighlightMapper::acceptPublication(state, std::move(publication)) ? 1 : 0;
    };
    auto playing = [](int paragraph, std::string text) {
        AudioSegment segment;
        segment.paragraphIndex = paragraph;
        segment.processedText = std::move(text);
        return SubHighlightMapper::Playback::of(segment, 0, 3);
    };

    auto first = SubHighlightMapper::tick(state, playing(0, "Reading aloud, one word at a time."), paragraphs);
    SubRectPrecomputation::schedule(std::move(*first.precomputation), publish);
    // The second paragraph starts playing before the first one's rectangles are back.
    auto second = SubHighlightMapper::tick(state, playing(1, "Roses are red,\nViolets are blue,"), paragraphs);
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    EXPECT_EQ(accepted, 0);
    EXPECT_TRUE(state.subRectCache.empty());

    SubRectPrecomputation::schedule(std::move(*second.precomputation), publish);
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    EXPECT_EQ(accepted, 1);
    ASSERT_FALSE(state.subRectCache.empty());
    // The verse's first line, not the other paragraph's words.
    const Rect shown = SubHighlightMapper::tick(state, playing(1, "Roses are red,\nViolets are blue,"), paragraphs).rects.at(0);
    EXPECT_NEAR(shown.minY(), frameOf("verse").minY(), 0.01);
}

} // namespace
} // namespace lorvantine
