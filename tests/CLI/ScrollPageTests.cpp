#include "CLI/PageAdvanceTest.h"

#include "Support/Log.h"

#include <gmock/gmock.h>

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
    const std::string base = "abcdefghijklmnopqr"; // 18 Characters
    struct Case {
        const char* name;
        std::vector<std::string> fresh;
        std::vector<std::string> last;
        int count;
    };
    for (const Case& c : std::vector<Case> {
             { "blanks and inner spaces do not count", { "  The  quick brown\tfox  " }, { "Thequickbrown\tfox" }, 1 },
             { "distance 1", { "abcdefghijklmnopqX" }, { base }, 1 },
             { "distance 3", { "XYZdefghijklmnopqr" }, { base }, 1 },
             { "distance 4", { "WXYZefghijklmnopqr" }, { base }, 0 },
             { "short keys must be equal", { "abcde" }, { "abcdX" }, 0 },
             { "short keys that are equal", { "abcde" }, { "abcde" }, 1 },
             { "a six-Character key may differ", { "abcdeX" }, { "abcdef" }, 1 },
             { "three in order", { "one para here", "two para here", "three para here", "four is new" },
               { "zero para here", "one para here", "two para here", "three para here" }, 3 },
             { "the first must match", { "a brand new one", "one para here" }, { "one para here" }, 0 },
             { "an empty key ends the count", { "one para here", "   ", "two para here" }, { "one para here", "two para here" }, 1 },
             { "only the first 30 Characters", { "The same opening thirty chars! then one ending" },
               { "The same opening thirty chars! and another" }, 1 },
             { "no last texts", { "one para here" }, {}, 0 },
             { "no new paragraphs", {}, { "one para here" }, 0 },
         })
        EXPECT_EQ(CLIRouter::countOverlappingParagraphs(paragraphsOf(c.fresh), c.last), c.count) << c.name;
}

TEST(ScrollOverlap, AParagraphCutAtTheBottomIsReadWholeOnTheNextScreen)
{
    const std::string top = "The report ends with three proposals: repair the quay,"; // the screen cut it here
    const std::string whole = top + " deepen the ferry berth, and build a small shelter.";
    // Against the last text read, only a paragraph at most 10 Characters longer repeats it.
    EXPECT_EQ(CLIRouter::countOverlappingParagraphs(paragraphsOf({ whole }), { "Earlier text, long enough", top }), 0);
    EXPECT_EQ(CLIRouter::countOverlappingParagraphs(paragraphsOf({ top + " ten more." }), { top }), 1);
    EXPECT_EQ(CLIRouter::countOverlappingParagraphs(paragraphsOf({ top + " eleven more" }), { top }), 0);
    // Earlier texts were read whole: a longer paragraph with their key still repeats them.
    EXPECT_EQ(CLIRouter::countOverlappingParagraphs(paragraphsOf({ whole, "next one here" }), { top, "something else here" }), 1);
}

class WordScrollTest : public PageAdvanceTest {
protected:
    PageOutcome scroll(std::vector<std::string> lastTexts, std::function<bool()> stillWanted = {})
    {
        return await([&](CLIRouter::PageCompletion completion) {
            CLIRouter::scrollPage(wordID, std::move(lastTexts), std::move(completion), std::move(stillWanted));
        });
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
    EXPECT_EQ(screens[0].size(), 5u);
    EXPECT_EQ(screens[1].size(), 5u);
    EXPECT_EQ(screens[2].size(), 4u);
    // A paragraph whose first line closed one screen opens the next whole, not dropped as a repeat.
    const std::string cut = "The ferry company asked for a deeper berth so that its";
    EXPECT_EQ(screens[0].back(), cut);
    EXPECT_THAT(screens[1].front(), StartsWith(cut + " larger boat could dock"));
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

TEST_F(WordScrollTest, DroppedRepeatsRenumberTheRestAndNothingDroppedKeepsTheScreensNumbers)
{
    use(fixtureNamed("word-document.json"));
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

} // namespace
} // namespace lorvantine
