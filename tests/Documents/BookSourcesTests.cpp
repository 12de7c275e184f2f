#include "Documents/AppleBooksSource.h"
#include "Documents/KindleSource.h"
#include "Documents/PageWords.h"

#include "TestSupport/DesktopTest.h"
#include "Support/Log.h"
#include "Support/Text.h"
#include "TestSupport/ScopedEnvironment.h"

#include <gmock/gmock.h>

namespace lorvantine {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr const char* kindleID = "com.amazon.Lassen";
constexpr const char* booksID = "com.apple.iBooksX";

TEST(PageWords, ADropCapIsMendedOnlyWhenThePageWordEndsWithTheRecognisedOneAndIsAtMostThreeLonger)
{
    struct Case {
        const char* recognised;
        const char* pageWord;
        const char* result;
    };
    for (const Case& c : std::vector<Case> {
             { "nce", "Once", "Once" },
             { "e", "Once", "Once" },       // three Characters short
             { "s", "Happens", "s" },       // six short: left alone
             { "NCE", "Once", "Once" },     // compared without case, replaced as the page writes it
             { "Once", "Once", "Once" },    // as long as the page word: never replaced
             { "nse", "Once", "nse" },      // not an ending of it
             { "ünf", "Fünf", "Fünf" },
             { "nce", "", "nce" },
         }) {
        std::vector<RecognizedWord> words { { c.recognised, Rect(10, 20, 30, 12) }, { "upon", Rect(50, 20, 30, 12) } };
        PageWords::repairDropCap(words, c.pageWord);
        EXPECT_EQ(words.front().text, c.result) << c.recognised << " / " << c.pageWord;
        EXPECT_EQ(words.front().screenRect, Rect(10, 20, 30, 12));
        EXPECT_EQ(words.back().text, "upon");
    }
}

TEST(PageWords, EachParagraphsFirstWordMendsTheRecognisedWordThatOpensItWhereverItStands)
{
    auto words = [](std::initializer_list<const char*> texts) {
        std::vector<RecognizedWord> list;
        double x = 0;
        for (const char* text : texts)
            list.push_back({ text, Rect(x += 40, 100, 30, 12) });
        return list;
    };
    auto texts = [](const std::vector<RecognizedWord>& list) {
        std::vector<std::string> out;
        for (const RecognizedWord& word : list)
            out.push_back(word.text);
        return Text::joined(out, " ");
    };
    struct Case {
        std::vector<RecognizedWord> recognised;
        std::vector<std::string> paragraphs;
        const char* result;
        size_t mends;
    };
    for (Case& c : std::vector<Case> {
             // A chapter part-way down the page, under its number and title.
             { words({ "rest.", "Chapter", "Two", "The", "Harbour", "Master", "he", "harbour", "master", "was", "out." }),
               { "rest.", "Chapter Two", "The Harbour Master", "The harbour master was out." },
               "rest. Chapter Two The Harbour Master The harbour master was out.", 1 },
             // Opening the page, as before: no next word needed.
             { words({ "nce" }), { "Once" }, "Once", 1 },
             // Two chapters on one page, each with its initial.
             { words({ "ll", "was", "well.", "ow", "it", "ends." }), { "All was well.", "Now it ends." }, "All was well. Now it ends.", 2 },
             // A shorter word elsewhere, not followed by the paragraph's second word, is left alone.
             { words({ "So", "he", "went.", "The", "end", "came." }), { "So he went.", "The end came." }, "So he went. The end came.", 0 },
             // Four letters short is no drop cap.
             { words({ "Go", "on.", "erful", "days", "came." }), { "Go on.", "Wonderful days came." }, "Go on. erful days came.", 0 },
             // The initial drawn large and read as a word of its own goes into the word it begins.
             { words({ "rest.", "Chapter", "Two", "T", "he", "ferry", "left." }), { "rest.", "Chapter Two", "The ferry left." },
               "rest. Chapter Two The ferry left.", 1 },
             { words({ "T", "HE", "ferry", "left." }), { "The ferry left." }, "The ferry left.", 1 },
         }) {
        const auto mends = PageWords::repairDropCaps(c.recognised, c.paragraphs);
        EXPECT_EQ(texts(c.recognised), c.result);
        EXPECT_EQ(mends.size(), c.mends) << c.result;
    }
}

TEST(PageWords, ADropCapOfAScannedPageIsToldByItsSize)
{
    // A line of 20 points beside an initial three lines tall, as a scan shows them.
    auto page = [](const char* initial, Rect initialBox, const char* next, Rect nextBox) {
        return std::vector<RecognizedWord> { { "rest.", Rect(60, 40, 40, 20) }, { initial, initialBox }, { next, nextBox },
                                             { "ferry", Rect(nextBox.maxX() + 8, nextBox.minY(), 40, 20) } };
    };
    const Rect tall(60, 100, 44, 64), beside(112, 102, 24, 20);
    struct Case {
        std::vector<RecognizedWord> recognised;
        const char* result;
    };
    for (const Case& c : std::vector<Case> {
             { page("T", tall, "he", beside), "rest. The ferry" },
             { page("T", tall, "HE", beside), "rest. THE ferry" }, // the rest of the word in small capitals
             { page("A", tall, "long", beside), "rest. A long ferry" }, // a word by itself
             { page("I", tall, "was", beside), "rest. I was ferry" },
             { page("T", Rect(60, 100, 14, 20), "he", Rect(80, 100, 24, 20)), "rest. T he ferry" }, // a letter of its line
             { page("T", tall, "he", Rect(112, 140, 24, 20)), "rest. T he ferry" }, // beside its foot, not its top
             { page("T", tall, "he", Rect(300, 102, 24, 20)), "rest. T he ferry" }, // far off to the right
             { page("t", tall, "he", beside), "rest. t he ferry" },
             // A, I and O begin the word beside them where that is a piece of a word, not a word.
             { page("I", tall, "n", beside), "rest. In ferry" },
             { page("A", tall, "nna", beside), "rest. Anna ferry" },
             { page("O", tall, "ld", beside), "rest. Old ferry" },
             { page("I", tall, "N", beside), "rest. IN ferry" },
             { page("I", tall, "t’s", beside), "rest. It’s ferry" },
             { page("I", tall, "ts", beside), "rest. Its ferry" },
             { page("O", tall, "n", beside), "rest. On ferry" },
             { page("A", tall, "heron", beside), "rest. A heron ferry" },
             { page("O", tall, "HERON", beside), "rest. O HERON ferry" },
         }) {
        std::vector<RecognizedWord> words = c.recognised;
        const auto mends = PageWords::repairDropCaps(words, {});
        std::vector<std::string> texts;
        for (const RecognizedWord& word : words)
            texts.push_back(word.text);
        EXPECT_EQ(Text::joined(texts, " "), c.result);
        const bool mended = words.size() < c.recognised.size();
        EXPECT_EQ(mends.size(), mended ? 1u : 0u) << c.result;
        if (mended) {
            EXPECT_EQ(words[1].screenRect, Rect(60, 100, 76, 64)) << "the word's box takes in its initial";
        }
    }
}

TEST(PageWords, TheLineALargeInitialBeginsIsReadBeforeTheLinesBesideItsFoot)
{
    // An engine that took the initial's line for a block of its own gave it after the lines below.
    std::vector<RecognizedWord> words { { "any", Rect(112, 122, 30, 20) },  { "man", Rect(150, 122, 30, 20) },
                                        { "eleven", Rect(112, 142, 50, 20) }, { "I", Rect(60, 100, 40, 62) },
                                        { "n", Rect(112, 101, 10, 20) },      { "the", Rect(130, 101, 28, 20) },
                                        { "year", Rect(166, 101, 36, 20) },   { "days", Rect(60, 166, 36, 20) } };
    EXPECT_EQ(PageWords::repairDropCaps(words, {}).size(), 1u);
    std::vector<std::string> texts;
    for (const RecognizedWord& word : words)
        texts.push_back(word.text);
    EXPECT_EQ(Text::joined(texts, " "), "In the year any man eleven days");
}

TEST(PageWords, AnInitialAIOOnAPageInAnotherLanguageStaysAWord)
{
    // A Portuguese scan: no word of it is an English one, so none can be told for a piece of a word.
    std::vector<RecognizedWord> words { { "casa.", Rect(60, 40, 40, 20) },     { "O", Rect(60, 100, 44, 64) },
                                        { "menino", Rect(112, 102, 60, 20) }, { "correu", Rect(180, 102, 60, 20) },
                                        { "pela", Rect(248, 102, 40, 20) },   { "praia", Rect(296, 102, 40, 20) } };
    EXPECT_TRUE(PageWords::repairDropCaps(words, {}).empty());
    std::vector<std::string> texts;
    for (const RecognizedWord& word : words)
        texts.push_back(word.text);
    EXPECT_EQ(Text::joined(texts, " "), "casa. O menino correu pela praia");
}

// A drop cap drawn as a picture 44 × 48 points, the first line of 20 points beside its top.
TEST(PageWords, APicturedInitialsLetterGoesWhereItStands)
{
    const Rect picture(60, 100, 44, 48);
    auto page = [](std::initializer_list<const char*> beside) {
        std::vector<RecognizedWord> words { { "rest.", Rect(60, 40, 40, 20) } };
        double x = 112;
        for (const char* text : beside) {
            words.push_back({ text, Rect(x, 102, 36, 20) });
            x += 44;
        }
        return words;
    };
    auto withWord = [](std::vector<RecognizedWord> words, size_t at, RecognizedWord word) {
        words.insert(words.begin() + static_cast<long>(at), std::move(word));
        return words;
    };
    struct Case {
        std::vector<RecognizedWord> recognised;
        const char* letter;
        const char* text;
        const char* result;
        std::vector<std::string> mends; // recognised → mended
    };
    for (const Case& c : std::vector<Case> {
             // The letter is a word: set apart by a space, or as A before a whole word.
             { page({ "heron", "stood", "in" }), "A", " heron stood in the shallows.", "rest. A heron stood in", { " → A" } },
             { page({ "heron", "stood", "in" }), "A", "heron stood in the shallows.", "rest. A heron stood in", { " → A" } },
             // The letter begins the word beside.
             { page({ "he", "ferry", "left" }), "T", "he ferry left at seven.", "rest. The ferry left", { "he → The" } },
             { page({ "n", "the", "year" }), "I", "n the year 1783 the river rose.", "rest. In the year", { "n → In" } },
             { withWord(page({ "he", "ferry", "left" }), 1, { "T", Rect(64, 100, 36, 46) }), "T", "he ferry left at seven.",
               "rest. The ferry left", { "he → The" } },
             // Read already, as the letter, or with the word whole in the text: nothing to add.
             { withWord(page({ "heron", "stood" }), 1, { "A", Rect(64, 100, 36, 46) }), "A", " heron stood in the shallows.",
               "rest. A heron stood", {} },
             { page({ "hen", "the", "wind" }), "W", "When the wind rose.", "rest. hen the wind", {} },
             // Where the page does not show the text's first word beside the picture, nothing is added.
             { page({ "herun", "stood", "in" }), "A", " heron stood in the shallows.", "rest. herun stood in", {} },
             { { { "rest.", Rect(60, 40, 40, 20) }, { "heron", Rect(300, 180, 36, 20) } }, "A", " heron stood in the shallows.",
               "rest. heron", {} },
             // An ornament read as something else is left as read.
             { withWord(page({ "heron", "stood" }), 1, { "4", Rect(64, 100, 36, 46) }), "A", " heron stood in the shallows.",
               "rest. 4 heron stood", {} },
         }) {
        std::vector<RecognizedWord> words = c.recognised;
        std::vector<std::string> mends;
        for (const auto& mend : PageWords::repairPicturedInitials(words, { { c.letter, c.text, picture } }))
            mends.push_back(mend.recognised + " → " + mend.mended);
        std::vector<std::string> texts;
        for (const RecognizedWord& word : words)
            texts.push_back(word.text);
        EXPECT_EQ(Text::joined(texts, " "), c.result);
        EXPECT_EQ(mends, c.mends) << c.result;
        if (!c.mends.empty()) {
            // The letter is highlighted where the picture stands: a word of its own, or part of the word it begins.
            EXPECT_TRUE(words[1].screenRect.contains(Point { picture.midX(), picture.midY() })) << c.result;
        }
    }
}

TEST(PageWords, JoinedWordsSpanTheirCharactersOneSpaceApart)
{
    auto joined = PageWords::join({ { "abc", Rect(0, 0, 9, 9) }, { "de😀fg", Rect(10, 0, 9, 9) }, { "hi", Rect(20, 0, 9, 9) } });
    EXPECT_EQ(joined.text, "abc de😀fg hi");
    ASSERT_EQ(joined.entries.size(), 3u);
    std::vector<std::pair<int, int>> spans;
    for (const OCRWordEntry& entry : joined.entries) {
        spans.emplace_back(entry.charStart, entry.charEnd);
        EXPECT_EQ(Text::characterSubstring(joined.text, entry.charStart, entry.charEnd - entry.charStart), entry.text);
    }
    EXPECT_EQ(spans, (std::vector<std::pair<int, int>> { { 0, 3 }, { 4, 9 }, { 10, 12 } }));
    EXPECT_EQ(PageWords::unionOf({ { "a", Rect(5, 5, 10, 10) }, { "b", Rect(30, 0, 5, 5) } }), Rect(5, 0, 30, 15));
}

// Kindle with one window (number 90 at (100, 50), 800 × 600) holding `content`.
std::shared_ptr<SimDesktop> kindleDesktop(std::vector<SimElement> content)
{
    SimApplication app;
    app.pid = 900;
    app.bundleIdentifier = kindleID;
    app.localizedName = "Kindle";
    app.active = true;
    SimWindow window;
    window.number = 90;
    window.title = "Book";
    window.frame = Rect(100, 50, 800, 600);
    window.main = true;
    window.children = std::move(content);
    app.windows.push_back(window);
    SimFixture fixture;
    fixture.applications.push_back(app);
    return SimDesktop::create(fixture);
}

// A Kindle page: drawn like a picture, its text given to accessibility as its value only.
SimElement kindlePage(const std::string& drawn, const std::string& value, Rect frame = Rect(60, 100, 680, 400))
{
    SimElement page("AXGenericElement", drawn);
    page.frame(frame).named("page").with("AXValue", value);
    page.imageOnly = true;
    page.font.family = "DejaVu Serif";
    page.font.size = 20;
    return page;
}

const std::string pageText = "It was the best of times and the worst of times for the small town by the river, "
                             "where the mill still turned and the bells rang every hour of the day. The baker rose "
                             "before the sun to light his ovens, and by seven the smell of bread had reached the "
                             "church steps where the old men sat and argued about the weather, the price of flour "
                             "and whether the new bridge would ever be finished before the winter floods came down.";

TEST(KindleSource, ReadsThePageAsOneParagraphWithoutItsRunningHeader)
{
    SimElement header("AXGroup", "THE TALE OF A TOWN");
    header.frame(Rect(60, 40, 680, 24));
    header.imageOnly = true;
    auto desktop = kindleDesktop({ SimElement("AXHeading").with("AXDescription", std::string("A Tale")), header,
                                   kindlePage(pageText, pageText) });
    Platform::ScopedServices services(desktop->services());
    Log::Capture log;

    auto session = KindleSource::detect(kindleID);
    ASSERT_TRUE(session);
    EXPECT_EQ(session->title(), "A Tale");
    auto paragraphs = session->paragraphs();
    ASSERT_EQ(paragraphs.size(), 1u);
    const ReadableParagraph& paragraph = paragraphs.front();
    EXPECT_EQ(paragraph.text, pageText);
    EXPECT_EQ(paragraph.role, "body");
    EXPECT_TRUE(paragraph.boundsDisabled);
    EXPECT_EQ(paragraph.nativeCharOffset, 0);
    EXPECT_EQ(paragraph.axElement, desktop->element("page"));
    ASSERT_TRUE(paragraph.ocrWordBboxes);
    EXPECT_EQ(paragraph.ocrWordBboxes->front().text, "It");
    EXPECT_GE(paragraph.frame.minY(), 150 - 2);
    EXPECT_EQ(paragraph.tightFrameYOffset, paragraph.frame.minY() - 78);
    EXPECT_TRUE(log.contains("[Kindle] 窗口: 800×600, 元素顶部 Y=150, OCR 区域: (100,78 800×542)"));
    EXPECT_EQ(log.linesContaining("[Kindle] 过滤 running header: ").size(), 1u);
    EXPECT_EQ(log.linesContaining("[Kindle] word[").size(), 5u);
    EXPECT_EQ(KindleSource::readAXText(kindleID), pageText);
}

TEST(KindleSource, RealRecognitionOfThePagePictureLeavesTheRunningHeaderOut)
{
    test::ScopedEnvironment recogniser("LORVANTINE_RECOGNIZER", "tesseract");
    SimElement header("AXGroup", "THE TALE OF A TOWN");
    header.frame(Rect(60, 40, 680, 24));
    header.imageOnly = true;
    auto desktop = kindleDesktop({ header, kindlePage(pageText, pageText) });
    Platform::ScopedServices services(desktop->services());
    Log::Capture log;

    auto session = KindleSource::detect(kindleID);
    ASSERT_TRUE(session);
    const std::string text = session->paragraphs().front().text;
    EXPECT_THAT(text, StartsWith("It was the best of times"));
    EXPECT_THAT(text, ::testing::Not(HasSubstr("TOWN")));
    EXPECT_EQ(log.linesContaining("[Kindle] 过滤 running header: ").size(), 1u);
}

TEST(KindleSource, AShortPageNarrowerThanTheWindowIsReadInOrder)
{
    const std::string page = "In spring a letter came: a machine would keep the light, and he went home to the village "
                             "where he was born, and he never saw the sea again.";
    for (double left : { 60.0, 160.0, 260.0 }) {
        auto desktop = kindleDesktop({ kindlePage(page, page, Rect(left, 100, 420, 400)) });
        Platform::ScopedServices services(desktop->services());
        Log::Capture log;

        auto session = KindleSource::detect(kindleID);

        ASSERT_TRUE(session);
        EXPECT_EQ(session->paragraphs().front().text, page) << "page at x = " << left;
        EXPECT_FALSE(log.contains("双栏检测"));
    }
}

TEST(KindleSource, AShortPageIsAPageABlankOneIsNoneAndTheFirstLongestElementWins)
{
    {
        // A part title between chapters, and the last words of a book, are pages like any other.
        for (const std::string text : { "PART TWO", "Thus ends the story." }) {
            auto desktop = kindleDesktop({ kindlePage(text, text) });
            Platform::ScopedServices services(desktop->services());
            auto session = KindleSource::detect(kindleID);
            ASSERT_TRUE(session) << text;
            EXPECT_EQ(session->paragraphs().front().text, text);
            EXPECT_EQ(KindleSource::readAXText(kindleID), text);
        }
    }
    {
        // A picture-only page: Kindle shows no text, which is not the same as no Kindle.
        auto desktop = kindleDesktop({ kindlePage("", " \n") });
        Platform::ScopedServices services(desktop->services());
        Log::Capture log;
        EXPECT_FALSE(KindleSource::detect(kindleID));
        EXPECT_TRUE(log.contains("[Kindle] 未找到可用文本内容"));
        EXPECT_EQ(KindleSource::readAXText(kindleID), "");
        EXPECT_FALSE(KindleSource::readAXText(booksID));
    }
    {
        const std::string first(300, 'a'), second(300, 'b');
        SimElement other = kindlePage(second, second, Rect(60, 300, 680, 100));
        other.name = "second";
        auto desktop = kindleDesktop({ kindlePage(first, first, Rect(60, 100, 680, 100)), other,
                                       SimElement("AXHeading").with("AXDescription", std::string()) });
        Platform::ScopedServices services(desktop->services());
        Log::Capture log;
        EXPECT_EQ(KindleSource::readAXText(kindleID), first);
        auto session = KindleSource::detect(kindleID);
        ASSERT_TRUE(session);
        EXPECT_EQ(session->title(), "Kindle");
    }
}

TEST(KindleSource, APageShownOnlyAsAPictureOfItsTextIsReadByRecognitionWithoutItsRunningHeader)
{
    // A scan or a fixed layout: the page element is there, with no text for accessibility.
    SimElement header("AXGroup", "THE TALE OF A TOWN");
    header.frame(Rect(60, 40, 680, 24));
    header.imageOnly = true;
    SimElement page = kindlePage(pageText, "");
    page.attributes.erase("AXValue");
    auto desktop = kindleDesktop({ header, page });
    Platform::ScopedServices services(desktop->services());
    Log::Capture log;

    EXPECT_EQ(KindleSource::readAXText(kindleID), "");
    auto session = KindleSource::detect(kindleID);
    ASSERT_TRUE(session);
    auto paragraphs = session->paragraphs();
    ASSERT_EQ(paragraphs.size(), 1u);
    EXPECT_EQ(paragraphs.front().text, pageText);
    ASSERT_TRUE(paragraphs.front().ocrWordBboxes);
    EXPECT_EQ(paragraphs.front().axElement, desktop->element("page"));
    EXPECT_EQ(log.linesContaining("[Kindle] 过滤 running header: ").size(), 1u);
    EXPECT_FALSE(log.contains("未找到可用文本内容"));
}

TEST(KindleSource, ADropCapUnderAChapterTitlePartWayDownThePageIsMended)
{
    const std::string value = "and that was the end of the first day.\nCHAPTER TWO\nThe Harbour Master\n"
                              "The harbour master was not at the Anchor that evening, nor at his cottage on the hill.";
    // The initial is an ornament that recognition does not read.
    const std::string drawn = "and that was the end of the first day.\nCHAPTER TWO\nThe Harbour Master\n"
                              "he harbour master was not at the Anchor that evening, nor at his cottage on the hill.";
    auto desktop = kindleDesktop({ kindlePage(drawn, value) });
    Platform::ScopedServices services(desktop->services());
    Log::Capture log;

    auto session = KindleSource::detect(kindleID);
    ASSERT_TRUE(session);
    EXPECT_EQ(session->paragraphs().front().text, Text::joined(Text::splitOnWhitespace(value), " "));
    EXPECT_EQ(log.linesContaining("[Kindle] drop cap 修复: ").size(), 1u);
    EXPECT_TRUE(log.contains("[Kindle] drop cap 修复: \"he\" → \"The\"")) << ::testing::PrintToString(log.lines());
}

TEST(KindleSource, RepliesOfOneWordOnLinesOfTheirOwnAreRead)
{
    const std::string page = "“Will you row me across?” the woman asked.\n“Yes.”\n“Now?”\n“No.”\nHe untied the boat, and "
                             "neither of them spoke again until they reached the far bank.";
    auto desktop = kindleDesktop({ kindlePage(page, page) });
    Platform::ScopedServices services(desktop->services());

    auto session = KindleSource::detect(kindleID);

    ASSERT_TRUE(session);
    EXPECT_EQ(session->paragraphs().front().text, Text::joined(Text::splitOnWhitespace(page), " "));
}

TEST(KindleSource, APageWhoseWordsAllSitInTheHeaderBandFallsBackToItsAccessibilityText)
{
    // The element starts below the drawn text, so every recognised word lies above its top.
    SimElement drawn("AXGroup", pageText);
    drawn.frame(Rect(60, 100, 680, 120));
    drawn.imageOnly = true;
    SimElement value("AXGenericElement");
    value.frame(Rect(60, 400, 680, 100)).with("AXValue", pageText);
    auto desktop = kindleDesktop({ drawn, value });
    Platform::ScopedServices services(desktop->services());
    Log::Capture log;

    auto session = KindleSource::detect(kindleID);
    ASSERT_TRUE(session);
    auto paragraphs = session->paragraphs();
    ASSERT_EQ(paragraphs.size(), 1u);
    EXPECT_EQ(paragraphs.front().text, pageText);
    EXPECT_FALSE(paragraphs.front().ocrWordBboxes);
    EXPECT_EQ(paragraphs.front().frame, Rect(100, 78, 800, 542));
    EXPECT_TRUE(log.contains("[Kindle] 过滤后无可用词"));
}

TEST(KindleSource, ADropCapCutOffByRealRecognitionIsMendedFromTheAccessibilityText)
{
    test::ScopedEnvironment recogniser("LORVANTINE_RECOGNIZER", "tesseract");
    const std::string value = "Once upon a time a miller lived beside a quiet river with his three daughters.";
    const std::string drawn = "nce upon a time a miller lived beside a quiet river with his three daughters.";
    auto desktop = kindleDesktop({ kindlePage(drawn, value) });
    Platform::ScopedServices services(desktop->services());
    Log::Capture log;

    auto session = KindleSource::detect(kindleID);
    ASSERT_TRUE(session);
    EXPECT_THAT(session->paragraphs().front().text, StartsWith("Once upon a time"));
    EXPECT_TRUE(log.contains("[Kindle] drop cap 修复: \"nce\" → \"Once\"")) << ::testing::PrintToString(log.lines());
}

SimFixture booksFixture() { return fixtureNamed("books-book.json"); }

TEST(AppleBooksSource, ReadsTheVisiblePageOfTheNestedWebArea)
{
    auto desktop = SimDesktop::create(booksFixture());
    Platform::ScopedServices services(desktop->services());
    Log::Capture log;

    auto session = AppleBooksSource::detect(booksID);
    ASSERT_TRUE(session);
    EXPECT_EQ(session->title(), "Tides and Harbours");
    auto paragraphs = session->paragraphs();
    ASSERT_EQ(paragraphs.size(), 1u);
    EXPECT_THAT(paragraphs.front().text, StartsWith("Chapter One The harbour wall was built of grey stone"));
    EXPECT_THAT(paragraphs.front().text, HasSubstr("Children counted the gulls on it."));
    EXPECT_THAT(paragraphs.front().text, ::testing::Not(HasSubstr("fishermen")));
    EXPECT_TRUE(paragraphs.front().boundsDisabled);
    ASSERT_TRUE(paragraphs.front().axElement);
    EXPECT_EQ(desktop->frameOf(*paragraphs.front().axElement)->minX() >= 100, true);
    EXPECT_TRUE(log.contains("[Books] window=(100,50 800×600) contentRect=(100,78 800×502)"));
    EXPECT_EQ(log.linesContaining("[Books] OCR-as-source: ").size(), 1u);
}

TEST(AppleBooksSource, ADropCapUnderAChapterTitlePartWayDownThePageIsMended)
{
    auto desktop = SimDesktop::create(fixtureNamed("books-harbour.json"));
    Platform::ScopedServices services(desktop->services());
    desktop->setScroll(desktop->element("book"), Point { 800, 0 });
    Log::Capture log;

    auto session = AppleBooksSource::detect(booksID);
    ASSERT_TRUE(session);
    EXPECT_EQ(session->paragraphs().front().text,
              "By nightfall the catch was salted and stacked, and the crews had gone home to sleep. Chapter Two The Harbour "
              "Master The harbour master was not at the Anchor that evening, nor at his cottage on the hill. His lamp was "
              "lit in the watch house.");
    EXPECT_EQ(log.linesContaining("[Books] drop cap 修复: ").size(), 1u);
    EXPECT_TRUE(log.contains("[Books] drop cap 修复: \"he\" → \"The\"")) << ::testing::PrintToString(log.lines());
}

// A scanned page read by Tesseract: the large initial I, which the engine reads as a letter apart
// from the rest of its word, on a line of its own that it gives after the paragraph's lines below
// it; and the large A, a word of its own.
TEST(AppleBooksSource, AScannedPagesLargeInitialIsTakenIntoItsWordUnderRealRecognition)
{
    test::ScopedEnvironment recogniser("LORVANTINE_RECOGNIZER", "tesseract");
    auto desktop = SimDesktop::create(fixtureNamed("books-almanac-scanned.json"));
    Platform::ScopedServices services(desktop->services());
    Log::Capture log;

    auto opening = AppleBooksSource::detect(booksID);
    ASSERT_TRUE(opening);
    EXPECT_THAT(opening->paragraphs().front().text,
                StartsWith("The Parish Almanac In the year 1783 the river rose higher than any man then living could "
                           "remember, and for eleven days the lower village stood in water to the sills of its windows."));
    EXPECT_TRUE(log.contains("[Books] drop cap 修复: \"n\" → \"In\"")) << ::testing::PrintToString(log.lines());

    desktop->setScroll(desktop->element("book"), Point { 1600, 0 });
    auto frost = AppleBooksSource::detect(booksID);
    ASSERT_TRUE(frost);
    EXPECT_THAT(frost->paragraphs().front().text, StartsWith("The Frost Fair A hard frost followed in the new year."));
}

TEST(AppleBooksSource, ThePageTextLeavesOutThePagesBesideTheWindowSoATurnShows)
{
    auto desktop = SimDesktop::create(booksFixture());
    Platform::ScopedServices services(desktop->services());
    auto first = AppleBooksSource::readAXText(booksID);
    ASSERT_TRUE(first);
    // A heading's value is its level: its words come from the text inside it.
    EXPECT_THAT(*first, StartsWith("Chapter One The harbour wall"));
    EXPECT_THAT(*first, ::testing::Not(HasSubstr("fishermen")));

    desktop->setScroll(desktop->element("book"), Point { 800, 0 });
    auto second = AppleBooksSource::readAXText(booksID);
    ASSERT_TRUE(second);
    EXPECT_THAT(*second, StartsWith("When the tide turned"));
    EXPECT_THAT(*second, ::testing::Not(HasSubstr("harbour wall")));

    // With nothing on the page region the page is blank: the pages beside it are not its text.
    desktop->setScroll(desktop->element("book"), Point { 5000, 0 });
    EXPECT_EQ(AppleBooksSource::readAXText(booksID), "");
    EXPECT_FALSE(AppleBooksSource::readAXText(kindleID));
}

} // namespace
} // namespace lorvantine
