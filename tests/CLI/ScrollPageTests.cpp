#include "CLI/PageAdvanceTest.h"

#include "Accessibility/AXReader.h"
#include "Documents/DocumentSourceRegistry.h"
#include "Support/Log.h"
#include "TestSupport/WordDocumentText.h"

#include <gmock/gmock.h>

#include <cmath>

namespace lorvantine {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr const char* wordID = "com.microsoft.Word";
constexpr ProcessID wordPid = 630;

std::vector<ArticleParagraph> paragraphsOf(const std::vector<std::string>& texts, int firstIndex = 0)
{
    std::vector<ArticleParagraph> list;
    for (const std::string& text : texts) {
        ArticleParagraph paragraph;
        paragraph.index = firstIndex + static_cast<int>(list.size());
        paragraph.text = text;
        list.push_back(paragraph);
    }
    return list;
}

bool sameBox(const Rect& a, const Rect& b)
{
    return std::fabs(a.minX() - b.minX()) < 1e-6 && std::fabs(a.minY() - b.minY()) < 1e-6 && std::fabs(a.width() - b.width()) < 1e-6
        && std::fabs(a.height() - b.height()) < 1e-6;
}

std::vector<std::string> textsOf(const std::vector<ArticleParagraph>& paragraphs)
{
    std::vector<std::string> texts;
    for (const ArticleParagraph& paragraph : paragraphs)
        texts.push_back(paragraph.text);
    return texts;
}

TEST(ScrollOverlap, EditDistanceCountsCharacters)
{
    struct Case {
        const char* a;
        const char* b;
        int distance;
    };
    for (const Case& c : std::vector<Case> { { "", "", 0 },           { "", "abc", 3 },       { "abc", "", 3 },
                                             { "kitten", "sitting", 3 }, { "flaw", "lawn", 2 }, { "a😀b", "a😃b", 1 },
                                             { "中文字", "中字", 1 },   { "e\u0301x", "ex", 1 } }) {
        EXPECT_EQ(CLIRouter::levenshteinDistance(c.a, c.b), c.distance) << c.a << " / " << c.b;
        EXPECT_EQ(CLIRouter::levenshteinDistance(c.b, c.a), c.distance) << c.b << " / " << c.a;
    }
}

TEST(ScrollOverlap, LeadingParagraphsRepeatingTheLastTextsAreCounted)
{
    const std::string forty = "The tide gauges show the mean level higher"; // 42 Characters, 35 without spaces
    struct Case {
        const char* name;
        std::vector<std::string> fresh;
        std::vector<std::string> last;
        int count;
    };
    for (const Case& c : std::vector<Case> {
             { "blanks and inner spaces do not count", { "  The  quick brown\tfox  " }, { "Thequickbrown\tfox" }, 1 },
             { "a long paragraph read again with one Character misread", { "The tide gauges show the mean level hlgher" }, { forty }, 1 },
             { "four misread are too many", { "Tha tide gaugas show tha maan level higher" }, { forty }, 0 },
             { "a short text must be the same", { "Section 4.2 Results" }, { "Section 4.1 Results" }, 0 },
             { "a short text that is the same", { "abcde" }, { "abcde" }, 1 },
             { "three in order", { "one para here", "two para here", "three para here", "four is new" },
               { "zero para here", "one para here", "two para here", "three para here" }, 3 },
             { "the first must match", { "a brand new one", "one para here" }, { "one para here" }, 0 },
             { "repeats run up to the last text read", { "one para here", "two para here" }, { "one para here", "three para here" }, 0 },
             { "a blank paragraph does not stop a repeat", { "one para here", "   ", "two para here" }, { "one para here", "two para here" }, 3 },
             { "an opening shared with another paragraph is no repeat", { "The same opening thirty chars! then one ending" },
               { "The same opening thirty chars! and another" }, 0 },
             { "Chinese, Characters not bytes", { "二、安全生产和港区环境整治情况", "安全生产方面，一季度没有发生人员伤亡事故。" },
               { "港区环境整治继续推进。", "二、安全生产和港区环境整治情况" }, 1 },
             { "a Chinese heading of fourteen Characters must be the same", { "第十三章 港区安全生产管理规定" },
               { "第十二章 港区安全生产管理规定" }, 0 },
             { "no last texts", { "one para here" }, {}, 0 },
             { "no new paragraphs", {}, { "one para here" }, 0 },
         })
        EXPECT_EQ(CLIRouter::countOverlappingParagraphs(paragraphsOf(c.fresh), c.last), c.count) << c.name;
}

TEST(ScrollOverlap, OnlyThePartReadBeforeIsCutOffAParagraph)
{
    const std::string top = "The report ends with three proposals: repair the quay,"; // the screen cut it here
    const std::string whole = top + " deepen the ferry berth, and build a small shelter.";
    auto kept = [](std::vector<std::string> fresh, const std::vector<std::string>& last) {
        return textsOf(CLIRouter::withoutRepeatedLead(paragraphsOf(fresh), last));
    };
    // A paragraph whose top closed the last screen goes on from the word after it.
    EXPECT_EQ(kept({ whole, "Next one here." }, { "Earlier text, long enough", top }),
              (std::vector<std::string> { "deepen the ferry berth, and build a small shelter.", "Next one here." }));
    // Lines that open a screen in the middle of a paragraph read before are not read again.
    EXPECT_EQ(kept({ "build a small shelter.", "Next one here." }, { "Earlier text, long enough", whole }),
              std::vector<std::string> { "Next one here." });
    // A paragraph that only opens like one read before is read whole.
    EXPECT_EQ(kept({ whole, "next one here" }, { top, "something else here" }), (std::vector<std::string> { whole, "next one here" }));
    EXPECT_EQ(kept({ "Section 4.2 Results of the inspection: the spillway." }, { "Section 4.1 Results of the inspection: the dam." }),
              std::vector<std::string> { "Section 4.2 Results of the inspection: the spillway." });

    // A recognised paragraph keeps the boxes of the words it keeps, their spans counted afresh.
    ArticleParagraph recognised;
    recognised.text = "repair the quay, deepen the berth";
    recognised.ocrWordBboxes = std::vector<OCRWordEntry> {};
    double x = 100;
    int start = 0;
    for (const std::string word : { "repair", "the", "quay,", "deepen", "the", "berth" }) {
        const int length = static_cast<int>(word.size());
        recognised.ocrWordBboxes->push_back({ word, start, start + length, Rect(x, 300, 10.0 * length, 20) });
        recognised.frame = recognised.frame.united(Rect(x, 300, 10.0 * length, 20));
        x += 10.0 * length + 5;
        start += length + 1;
    }
    auto rest = CLIRouter::withoutRepeatedLead({ recognised }, { "Proposals: repair the quay," });
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_EQ(rest[0].text, "deepen the berth");
    ASSERT_TRUE(rest[0].ocrWordBboxes);
    ASSERT_EQ(rest[0].ocrWordBboxes->size(), 3u);
    EXPECT_EQ(rest[0].ocrWordBboxes->front().charStart, 0);
    EXPECT_EQ(rest[0].ocrWordBboxes->back().charEnd, 16);
    EXPECT_EQ(rest[0].frame.minX(), recognised.ocrWordBboxes->at(3).screenRect.minX());
}

class WordScrollTest : public PageAdvanceTest {
protected:
    PageOutcome scroll(std::vector<std::string> lastTexts, std::function<bool()> stillWanted = {})
    {
        return await([&](CLIRouter::PageCompletion completion) {
            CLIRouter::scrollPage(wordID, std::move(lastTexts), std::move(completion), std::move(stillWanted));
        });
    }

    // Reads the document as a reading of it does: the first screen through the enrichment, then
    // screen after screen, each scroll going on from the last, until the scroll finds the end.
    std::vector<std::string> readToTheEnd()
    {
        auto trail = std::make_shared<ScreenTrail>();
        std::vector<std::string> current = textsOf(CLIRouter::enrichSparseContent(wordID, screenNow(), trail.get()));
        std::vector<std::string> heard = current;
        for (int screen = 0; screen < 20; ++screen) {
            PageOutcome outcome = await([&](CLIRouter::PageCompletion completion) {
                CLIRouter::scrollPage(wordID, current, std::move(completion), {}, trail);
            });
            if (!outcome.paragraphs)
                break;
            current = textsOf(*outcome.paragraphs);
            heard.insert(heard.end(), current.begin(), current.end());
        }
        return heard;
    }

    // What Word's window shows now, as a reading starts with it.
    std::vector<ArticleParagraph> screenNow()
    {
        std::vector<ArticleParagraph> paragraphs;
        auto session = DocumentSourceRegistry::detect(wordID);
        EXPECT_TRUE(session);
        if (session)
            for (const ReadableParagraph& paragraph : session->paragraphs())
                paragraphs.push_back(paragraph.toArticleParagraph());
        return paragraphs;
    }

    // Where the top of Word's document stands on screen now.
    double contentTop()
    {
        auto window = AXReader::frontWindowOf(wordID);
        auto position = window ? ScrollPosition::read(*window) : std::nullopt;
        EXPECT_TRUE(position);
        return position ? position->contentTop : 0;
    }

    // "down pid source" for every key event, and "activate pid" for every activation.
    std::vector<std::string> steps()
    {
        std::vector<std::string> list;
        for (const SimJournalEntry& entry : desktop->journal()) {
            if (entry.kind == SimJournalEntry::Kind::activate || entry.kind == SimJournalEntry::Kind::appleScript)
                list.push_back("activate " + std::to_string(entry.pid));
            if (entry.kind == SimJournalEntry::Kind::event && entry.event && entry.event->isKeyboard())
                list.push_back(std::string(entry.event->type == InputEventType::keyDown ? "down " : "up ")
                               + std::to_string(entry.event->keyCode) + " " + std::to_string(entry.pid)
                               + (entry.tap ? " tap" : "")
                               + (entry.event->source == EventSourceState::privateState ? " private" : ""));
        }
        return list;
    }
};

TEST_F(WordScrollTest, ScreensFollowOneAnotherByPageDownPostedToWordThenFivePressesFindTheEnd)
{
    use(fixtureNamed("word-document.json"));
    desktop->clearJournal();
    Log::Capture log;

    std::vector<std::string> read { "Harbour Survey 2026" };
    std::vector<std::vector<std::string>> screens;
    for (int screen = 0; screen < 6; ++screen) {
        PageOutcome outcome = scroll(read);
        EXPECT_EQ(outcome.calls, 1);
        EXPECT_TRUE(outcome.onMainThread);
        if (!outcome.paragraphs)
            break;
        ASSERT_FALSE(outcome.paragraphs->empty());
        for (size_t i = 0; i < outcome.paragraphs->size(); ++i)
            EXPECT_EQ((*outcome.paragraphs)[i].index, static_cast<int>(i));
        read = textsOf(*outcome.paragraphs);
        screens.push_back(read);
    }
    ASSERT_EQ(screens.size(), 3u);
    EXPECT_EQ(screens[0].size(), 4u);
    EXPECT_EQ(screens[1].size(), 4u);
    EXPECT_EQ(screens[2].size(), 4u);
    // A paragraph whose first line closed one screen is held back and opens the next whole: its
    // first line is heard once.
    const std::string cut = "The ferry company asked for a deeper berth so that its";
    EXPECT_THAT(screens[0].back(), StartsWith("A new light was fixed"));
    EXPECT_THAT(screens[1].front(), StartsWith(cut + " larger boat could dock"));
    EXPECT_THAT(screens[1].back(), StartsWith("The tide gauges show"));
    EXPECT_THAT(screens[2].front(), StartsWith("Two yachts sank at their moorings in the January storm; both were"));
    EXPECT_THAT(screens.front().front(), StartsWith("The harbour survey began"));
    EXPECT_THAT(screens.back().back(), HasSubstr("by next winter."));
    EXPECT_TRUE(log.contains("[Word] 📜 滚动 5 次后无新内容 ("));
    EXPECT_EQ(log.linesContaining("[Scroll] Page Down → pid(630)").size(), 8u);

    // Three screens then the end: eight presses in down/up pairs to Word's process, never a tap and
    // never bringing Word to the front.
    std::vector<std::string> expected;
    for (int press = 0; press < 8; ++press) {
        expected.push_back("down 121 630 private");
        expected.push_back("up 121 630 private");
    }
    EXPECT_EQ(steps(), expected);

    desktop->clearJournal();
    Dispatch::advance(*clock, seconds(5));
    EXPECT_TRUE(steps().empty()) << "pressed after the end";
}

TEST_F(WordScrollTest, AReportIsHeardOneParagraphAtATimeWholeWhereverTheScreensCutIt)
{
    const SimFixture fixture = fixtureNamed("word-report.json");
    use(fixture);
    const std::vector<std::string> document = wordFixtureParagraphs(fixture);
    ASSERT_GT(document.size(), 20u);
    const double startTop = contentTop();
    Log::Capture log;

    EXPECT_EQ(readToTheEnd(), document);
    // Not a whole number of presses long: the last press moved less than the others.
    const double moved = startTop - contentTop();
    EXPECT_GT(std::fmod(moved, 548), 1);
    EXPECT_TRUE(log.contains("[Word] 📜 去重: 跳过前 1 段（与上页末尾重叠）"));
    EXPECT_TRUE(log.contains("[Word] 📜 滚动 5 次后无新内容 ("));
}

TEST_F(WordScrollTest, AReportBesideTheNavigationPaneIsHeardToItsEnd)
{
    // The pane of page thumbnails is a scroll area of its own, narrower than the document's, and
    // paging the document leaves it where it is.
    const SimFixture fixture = fixtureNamed("word-navigation-pane.json");
    use(fixture);
    const std::vector<std::string> document = wordFixtureParagraphs(fixture);
    ASSERT_EQ(document.size(), 23u);
    EXPECT_EQ(readToTheEnd(), document);
}

TEST_F(WordScrollTest, ADoubleSpacedParagraphCutAtAScreensFootIsHeardWhole)
{
    // Double spacing leaves a line's height between two lines of a paragraph: a foot with room
    // for one more line of single spacing may still hide the paragraph's next line.
    const SimFixture fixture = fixtureNamed("word-double-spaced.json");
    use(fixture);
    EXPECT_EQ(readToTheEnd(), wordFixtureParagraphs(fixture));
}

TEST_F(WordScrollTest, WhereThePageDoesNotTellItsPlaceTheScrollBarsValueDoes)
{
    const SimFixture fixture = fixtureNamed("word-report.json");
    use(fixture);
    desktop->setError(desktop->element("report-page"), "AXPosition", AXError::cannotComplete);
    EXPECT_EQ(readToTheEnd(), wordFixtureParagraphs(fixture));
}

TEST_F(WordScrollTest, WhereWordsPlaceCannotBeReadTheTextThatRepeatsIsLeftOut)
{
    const SimFixture fixture = fixtureNamed("word-report.json");
    use(fixture);
    desktop->setError(desktop->element("report-scroll"), "AXContents", AXError::cannotComplete);
    const std::vector<std::string> document = wordFixtureParagraphs(fixture);
    // Without the held paragraph a paragraph cut at the foot is heard in two parts, but every word once.
    EXPECT_EQ(wordsOf(readToTheEnd()), wordsOf(document));
}

TEST_F(WordScrollTest, AChineseParagraphRepeatedWholeAtTheTopOfTheNextScreenCountsAsARepeat)
{
    const SimFixture fixture = fixtureNamed("word-chinese-report.json");
    const std::string heading = "二、安全生产和港区环境整治情况";
    for (bool placeReadable : { true, false }) {
        SCOPED_TRACE(placeReadable ? "by place" : "by text");
        use(fixture);
        if (!placeReadable)
            desktop->setError(desktop->element("chinese-scroll"), "AXContents", AXError::cannotComplete);
        Log::Capture log;
        const std::vector<std::string> heard = readToTheEnd();
        EXPECT_EQ(std::count(heard.begin(), heard.end(), heading), 1);
        EXPECT_EQ(wordsOf(heard), wordsOf(wordFixtureParagraphs(fixture)));
        EXPECT_FALSE(log.linesContaining("[Word] 📜 去重: 跳过前 ").empty());
    }
}

TEST_F(WordScrollTest, DroppedRepeatsRenumberTheRestAndNothingDroppedKeepsTheScreensNumbers)
{
    use(fixtureNamed("word-document.json"));
    // Where the document's place cannot be read, the texts read last decide what repeats.
    desktop->setError(desktop->element("word-scroll"), "AXContents", AXError::cannotComplete);
    Log::Capture log;
    PageOutcome first = scroll({});
    ASSERT_TRUE(first.paragraphs);
    ASSERT_GE(first.paragraphs->size(), 2u);
    EXPECT_EQ(log.linesContaining("去重:").size(), 0u);

    // Word at its title screen again: the repeat of the first paragraph is dropped, the rest moves up.
    desktop->setScroll(desktop->element("word-scroll"), Point { 0, 0 });
    PageOutcome again = scroll({ "Harbour Survey 2026", first.paragraphs->front().text });
    ASSERT_TRUE(again.paragraphs);
    const std::vector<std::string> firstTexts = textsOf(*first.paragraphs);
    EXPECT_EQ(textsOf(*again.paragraphs), std::vector<std::string>(firstTexts.begin() + 1, firstTexts.end()));
    EXPECT_EQ(again.paragraphs->front().index, 0);
    EXPECT_TRUE(log.contains("[Word] 📜 去重: 跳过前 1 段（与上页末尾重叠）"));
}

TEST_F(WordScrollTest, AStoppedReadingIsNotScrolledAndAMissingApplicationAnswersAtOnce)
{
    use(fixtureNamed("word-document.json"));
    desktop->clearJournal();
    Log::Capture log;
    PageOutcome stopped = scroll({ "Harbour Survey 2026" }, [] { return false; });
    EXPECT_EQ(stopped.calls, 1);
    EXPECT_FALSE(stopped.paragraphs);
    EXPECT_TRUE(steps().empty());

    bool answered = false;
    CLIRouter::scrollPage("com.example.NotRunning", {}, [&](auto paragraphs) {
        answered = true;
        EXPECT_FALSE(paragraphs);
    });
    EXPECT_TRUE(answered);
    EXPECT_TRUE(log.contains("[App] 📜 未找到进程"));
}

TEST_F(WordScrollTest, EnrichmentScrollsASparseWordScreenUntilOneHundredCharacters)
{
    use(fixtureNamed("word-document.json"));
    desktop->clearJournal();
    Log::Capture log;
    auto list = CLIRouter::enrichSparseContent(wordID, paragraphsOf({ "Harbour Survey 2026" }));
    ASSERT_GE(list.size(), 2u);
    EXPECT_EQ(list.front().text, "Harbour Survey 2026");
    EXPECT_THAT(list[1].text, StartsWith("The harbour survey began"));
    for (size_t i = 0; i < list.size(); ++i)
        EXPECT_EQ(list[i].index, static_cast<int>(i));
    EXPECT_EQ(steps().size(), 2u); // one press was enough
    EXPECT_TRUE(log.contains("[OCR-enrich] 内容稀疏 (19 字), 预滚动获取更多内容..."));
    EXPECT_EQ(log.linesContaining("[OCR-enrich] 预滚动 #1: +").size(), 1u);
}

TEST_F(WordScrollTest, EnrichmentStopsAfterThreeEmptyScrollsAndLeavesOtherTextAlone)
{
    SimFixture fixture = fixtureNamed("word-document.json");
    fixture.applications[1].behaviours.scrolling.reset(); // Page Down moves nothing
    use(fixture);
    desktop->clearJournal();
    Log::Capture log;
    auto sparse = paragraphsOf({ "Harbour Survey 2026" });
    EXPECT_EQ(textsOf(CLIRouter::enrichSparseContent(wordID, sparse)), textsOf(sparse));
    EXPECT_EQ(steps().size(), 6u); // three presses
    EXPECT_EQ(log.linesContaining("无新内容（可能是图片区域），继续...").size(), 2u);

    desktop->clearJournal();
    const std::string hundred(100, 'a');
    EXPECT_EQ(textsOf(CLIRouter::enrichSparseContent(wordID, paragraphsOf({ hundred }))), std::vector<std::string> { hundred });
    EXPECT_EQ(textsOf(CLIRouter::enrichSparseContent("com.apple.Preview", sparse)), textsOf(sparse));
    EXPECT_EQ(textsOf(CLIRouter::enrichSparseContent("com.example.NotRunning", sparse)), textsOf(sparse));
    EXPECT_TRUE(steps().empty());
}

TEST_F(WordScrollTest, EnrichmentCountsScreensWithoutNewTextInARowNotInTotal)
{
    // A title, then photographs: screens blank, caption, blank, blank, caption.
    use(fixtureNamed("word-photographs.json"));
    const std::vector<ArticleParagraph> first = screenNow();
    desktop->clearJournal();
    Log::Capture log;
    auto list = CLIRouter::enrichSparseContent(wordID, first);
    EXPECT_EQ(textsOf(list), (std::vector<std::string> { "Site Photographs — North Pier Survey, April 2026",
                                                         "Photo 1. The north pier from the lighthouse steps.",
                                                         "Photos 2 and 3. Cracked copings on the seaward side." }));
    EXPECT_EQ(steps().size(), 10u); // five presses
    EXPECT_EQ(log.linesContaining("[OCR-enrich] 预滚动 #").size(), 5u);
}

TEST_F(WordScrollTest, AfterTheSparseFillOnlyParagraphsOnTheScreenKeepAPlaceAndItIsWhereTheyStand)
{
    use(fixtureNamed("word-minutes.json"));
    const std::vector<ArticleParagraph> first = screenNow();
    ASSERT_EQ(first.size(), 1u);
    ASSERT_FALSE(first.front().frame.isEmpty());

    ScreenTrail trail;
    auto list = CLIRouter::enrichSparseContent(wordID, first, &trail);
    ASSERT_GE(list.size(), 3u);
    // The title page has scrolled away: its paragraph is spoken without a mark.
    EXPECT_THAT(list.front().text, StartsWith("Minutes of the Harbour Board"));
    EXPECT_TRUE(list.front().frame.isEmpty());
    EXPECT_FALSE(list.front().ocrWordBboxes);
    // What the screen shows now stands where the screen shows it, word boxes and all.
    auto now = DocumentSourceRegistry::detect(wordID);
    ASSERT_TRUE(now);
    size_t placed = 0;
    for (const ArticleParagraph& paragraph : list) {
        for (const ReadableParagraph& shown : now->paragraphs()) {
            if (shown.text != paragraph.text)
                continue;
            ++placed;
            EXPECT_TRUE(sameBox(paragraph.frame, shown.frame)) << paragraph.text;
            ASSERT_TRUE(paragraph.ocrWordBboxes && shown.ocrWordBboxes);
            ASSERT_EQ(paragraph.ocrWordBboxes->size(), shown.ocrWordBboxes->size());
            for (size_t i = 0; i < shown.ocrWordBboxes->size(); ++i)
                EXPECT_TRUE(sameBox((*paragraph.ocrWordBboxes)[i].screenRect, (*shown.ocrWordBboxes)[i].screenRect)) << i;
        }
    }
    EXPECT_GE(placed, 3u);
    for (size_t i = 0; i < list.size(); ++i)
        EXPECT_EQ(list[i].index, static_cast<int>(i));
    // The paragraph the screen's foot cut off waits for the next screen.
    EXPECT_TRUE(trail.isHolding());
    EXPECT_THAT(now->paragraphs().back().text, StartsWith("5. Finance."));
    EXPECT_THAT(list.back().text, StartsWith("4. Harbour master's report."));
}

} // namespace
} // namespace lorvantine
