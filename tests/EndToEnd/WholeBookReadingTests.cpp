// Whole books read with "--read-article" as a reader starts it from the terminal: every page
// heard once, in page order, as a listener should hear it, until the book's real end. Each runs
// in this process on a fast clock, its speech played silently at fifty times its speed.

#include "EndToEnd/BuiltProgram.h"
#include "EndToEnd/ParagraphRequests.h"
#include "EndToEnd/ReadArticleCommandTest.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace lorvantine::test {
namespace {

// Prose as it is spoken: its words one space apart, whatever lines it was laid out in.
std::string spoken(const std::string& prose)
{
    std::istringstream words(prose);
    std::string word, text;
    while (words >> word)
        text += (text.empty() ? "" : " ") + word;
    return text;
}

// Pages the reader turned, as the application saw them.
size_t pagesTurned(const SimDesktop& desktop)
{
    size_t count = 0;
    for (const SimJournalEntry& entry : desktop.journal())
        count += entry.kind == SimJournalEntry::Kind::reaction && entry.name == "pageTurned";
    return count;
}

size_t occurrences(const std::string& text, const std::string& needle)
{
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size()))
        ++count;
    return count;
}

class WholeBookReadingTest : public ReadArticleCommandTest {
protected:
    // Reads the book of `bundleID` on the desktop of `fixture` until the reading ends, then ends
    // the command as a reader does, with Ctrl+C. Answers the log.
    std::string readToTheEndOfTheBook(const std::string& fixture, const std::string& bundleID, const std::string& tag)
    {
        useFixture(fixture);
        defaults->set(PreferencesModel::Key::defaultSpeedEn, 2.0f);
        readToTheEnd(bundleID);
        std::string text;
        for (const std::string& line : log.lines())
            text += line + "\n";
        // The reading ended where a turn changed nothing, not on a page it could not read.
        EXPECT_NE(text.find("[" + tag + "] 📖 翻页后内容未变 ("), std::string::npos) << text;
        return text;
    }

    // Reads a Books chapter to its end: each of `pages` heard once, in order, its drop cap mended
    // once as `mend` says ("recognised" → "whole"), the book left on its last page after `turns`.
    void expectChapterHeard(const std::string& fixture, const std::vector<std::string>& pages, const std::string& mend, size_t turns)
    {
        const std::string account = readToTheEndOfTheBook(fixture, "com.apple.iBooksX", "Books");
        EXPECT_EQ(paragraphStarts(server->speechRequests(), pages), pages) << account;
        EXPECT_EQ(occurrences(account, "[Books] drop cap 修复: " + mend), 1u) << account;
        EXPECT_EQ(pagesTurned(*desktop), turns) << "left on its last page";
    }
};

// Six pages of about 140 Characters.
TEST_F(WholeBookReadingTest, AKindleStoryOfSixPagesIsHeardWholePageAfterPage)
{
    const std::filesystem::path fixture = testFixtures / "kindle-ferryman.json";
    // What a listener should hear: each page's text, the running header above it left out.
    const auto desktop = nlohmann::json::parse(std::ifstream(fixture));
    std::vector<std::string> pages;
    for (const auto& application : desktop["applications"])
        if (application["bundleID"] == "com.amazon.Lassen")
            for (const auto& text : application["behaviours"]["paging"]["texts"])
                pages.push_back(spoken(text.get<std::string>()));
    ASSERT_EQ(pages.size(), 6u);

    const std::string account = readToTheEndOfTheBook("kindle-ferryman.json", "com.amazon.Lassen", "Kindle");
    EXPECT_EQ(paragraphStarts(server->speechRequests(), pages), pages) << account;
    EXPECT_EQ(occurrences(account, "[Kindle] 📖 翻页成功 (poll="), 5u) << account;
}

// Five short pages and a picture.
TEST_F(WholeBookReadingTest, ABooksStoryIsHeardWholeWithItsPicturePassedAndItsShortPagesRead)
{
    const std::vector<std::string> pages {
        "Chapter One Every evening the lamplighter came down the hill with his ladder on his shoulder and a tin of oil at "
        "his belt. He lit the lamps on Quay Street one by one, from the chapel to the harbour steps.",
        // The page's drop cap is an ornament; the word is heard whole.
        "When the wind rose he sheltered in the doorway of the chandler's shop and waited for it to drop. The gulls sat "
        "in rows along the sea wall and did not move.",
        // The engraving after it has nothing to hear.
        "PART TWO",
        "Years later the lamps were changed for electric ones, and the ladder hung unused in the shed behind the chapel. "
        "His daughter kept it oiled all the same.",
        "Thus ends the story.",
    };

    const std::string account = readToTheEndOfTheBook("books-lamplighter.json", "com.apple.iBooksX", "Books");
    EXPECT_EQ(paragraphStarts(server->speechRequests(), pages), pages) << account;
    EXPECT_EQ(occurrences(account, "[Books] 📖 本页无可读内容，继续翻页 (1/3)"), 1u) << account;
    EXPECT_EQ(occurrences(account, "[ArticleReader] 📖 无更多页面，播放结束"), 1u) << account;
}

// Seven scanned pages, one of them an engraving: nothing but pictures, their words only in the pixels.
TEST_F(WholeBookReadingTest, AScannedBooksBookIsHeardWholePageAfterPageWithItsEngravingPassed)
{
    const std::filesystem::path fixture = testFixtures / "books-scanned.json";
    // What a listener should hear: the words drawn on each page, in order.
    const auto desktopFixture = nlohmann::json::parse(std::ifstream(fixture));
    const auto& book = desktopFixture["applications"][0]["windows"][0]["children"][0]["children"][0]["children"][0];
    ASSERT_EQ(book["name"], "book");
    std::vector<std::string> pages;
    for (const auto& page : book["children"]) {
        std::string words;
        for (const auto& element : page["children"])
            if (element.contains("text"))
                words += element["text"].get<std::string>() + " ";
        if (!words.empty())
            pages.push_back(spoken(words));
    }
    ASSERT_EQ(book["children"].size(), 7u);
    ASSERT_EQ(pages.size(), 6u);

    const std::string account = readToTheEndOfTheBook("books-scanned.json", "com.apple.iBooksX", "Books");
    EXPECT_EQ(paragraphStarts(server->speechRequests(), pages), pages) << account;
    EXPECT_EQ(occurrences(account, "[Books] 📖 本页无可读内容，继续翻页 (1/3)"), 1u) << account;
    EXPECT_EQ(occurrences(account, "[ArticleReader] 📖 无更多页面，播放结束"), 1u) << account;
    EXPECT_EQ(pagesTurned(*desktop), 6u) << "left on its last page";
}

// Chapter Two opens part-way down the second page, under its number and title, with a drop cap.
TEST_F(WholeBookReadingTest, AChapterOpeningWithADropCapPartWayDownAPageIsHeardWhole)
{
    const std::vector<std::string> pages {
        "Chapter One The fishing fleet came in late that autumn, low in the water and slow against the tide. Nobody on the "
        "quay could remember a season like it, and the gulls followed the boats all the way to the harbour wall.",
        "By nightfall the catch was salted and stacked, and the crews had gone home to sleep. Chapter Two The Harbour "
        "Master The harbour master was not at the Anchor that evening, nor at his cottage on the hill. His lamp was lit in "
        "the watch house.",
        "He sat there until morning with the logbook open, writing down the name of every boat that had come home. One "
        "name he left out.",
    };

    expectChapterHeard("books-harbour.json", pages, "\"he\" → \"The\"", 2);
}

// A novel's chapter of dialogue, with replies of one word on lines of their own, a plate alone on
// its page, and the next chapter opening part-way down a page with a drop cap three lines tall.
const std::vector<std::string> saltMarshPages {
    "Chapter Eleven The rain had stopped by the time Nell reached the ferry house, but the path along the dyke "
    "was still running with water, and her boots were heavy with mud. Old Amos was sitting on the step with "
    "his pipe. “Is the ferry running?” she asked. “No.” “Tomorrow?” “Maybe.”",
    "He knocked the pipe out against his heel and looked at the sky, which was clearing in the west. “If the "
    "wind holds,” he said. “Are you in a hurry?” “Yes.” “Why?” She did not answer. Across the water the lights "
    "of the town were coming on one by one. “Well,” said Amos. “Come in, then.”",
    "She slept in the loft above the boat store, under a blanket that smelt of tar, and woke before dawn to "
    "the sound of the tide. Chapter Twelve The ferry left at seven. There were three passengers besides Nell: "
    "a farmer with a crate of hens, a boy going to the grammar school, and a woman in black who would not say "
    "where she was going.",
    "Halfway across, the woman touched Nell’s arm. “You’re Tom Pender’s girl.” “Yes.” “I knew your father.” "
    "“Everyone did.” The woman smiled at that, and looked away at the town, and said nothing more until they "
    "landed.",
};

// As an e-book: the paragraphs' texts are there, and recognition reads the drop cap as a word of its own.
TEST_F(WholeBookReadingTest, AChapterWhoseDropCapIsReadApartIsHeardWithTheWordWhole)
{
    expectChapterHeard("books-salt-marsh-epub.json", saltMarshPages, "\"he\" → \"The\"", 4);
}

// A novel's chapter as an e-book whose drop cap is a picture of the letter A, a word of its own:
// accessibility has the picture's description and the paragraph's text after it, " heron stood",
// and recognition reads nothing in the ornament.
TEST_F(WholeBookReadingTest, AnEpubChapterWhoseDropCapPictureIsTheWordAIsHeardWithThatWord)
{
    const std::vector<std::string> pages {
        "Chapter Seven A heron stood in the shallows below the weir, as still as a post, and had stood there since first "
        "light, watching the brown water slide over the sill of the old mill race. Ruth watched it from the footbridge "
        "with her hands in her pockets. The mill was silent; the wheel had been chained since the flood, and the only "
        "sound was the water going over the weir.",
        "She had come to tell her uncle that the bank would not wait any longer. She had rehearsed the words all the way "
        "from the station, and now that she was here she could not remember one of them. The door of the mill house "
        "stood open. Inside, a kettle was ticking on the range, and a dog she did not know lifted its head from the "
        "hearth and looked at her without getting up.",
        "“He’s down at the eel traps,” said a voice behind her. It was Mrs Garrow from the lock cottage, with a basket "
        "of washing on her hip. “Been there since six. You’ll want to wait.” Ruth thanked her and sat down on the bench "
        "by the door, where her uncle used to mend his nets, and took off her hat.",
        "The heron had not moved.",
    };

    expectChapterHeard("books-heron-epub.json", pages, "\"\" → \"A\"", 3);
}

// A scanned parish history: its chapter opens with a large I three lines tall, the rest of its
// word beside the initial's top ("n the year"); a later section with a large A that is a word.
TEST_F(WholeBookReadingTest, AScannedChapterOpeningWithALargeIIsHeardWithTheWordWhole)
{
    const std::vector<std::string> pages {
        "The Parish Almanac In the year 1783 the river rose higher than any man then living could remember, and for "
        "eleven days the lower village stood in water to the sills of its windows. The ferry was carried off in the "
        "night, and the miller’s cart was found a week later in a hedge two miles below the bridge. The height of the "
        "water is cut in the churchyard wall beside the lych gate, with the date and the initials of the churchwardens, "
        "and it stands a hand above the top of the gate.",
        "The vestry met in the schoolroom, the church being damp, and voted forty shillings for the relief of those who "
        "had lost their goods. Mr Hale of the Grange gave a further ten, and his wife sent blankets. When the water went "
        "down it left a line of mud along every wall in the street, which could still be seen, the older people say, "
        "until the houses were limewashed for the coronation.",
        "The Frost Fair A hard frost followed in the new year. The river froze from the mill to the church meadow, and "
        "the boys of the parish skated on it by lantern light until the vicar forbade it from the pulpit. Old Thomas "
        "Pye, who kept the bridge, said it was the only winter of his life in which nobody paid the toll.",
        "Of the years that followed the book says little.",
    };

    expectChapterHeard("books-almanac-scanned.json", pages, "\"n\" → \"In\"", 3);
}

// A fixed-layout magazine of two pages, each a picture: a headline, standfirst and byline across
// the page over two columns, a photograph and its caption across both; then two columns alone.
TEST_F(WholeBookReadingTest, AKindleMagazineIsHeardHeadlineFirstThenEachColumnWholeThenTheCaption)
{
    const std::vector<std::string> pages {
        "The Last Ferry to Skerray For ninety years one small boat has carried the island’s post, its children and its "
        "sheep. Next spring a bridge will open. Words by Mairi Ross. Photographs by Ewan Gill. The Morag Ann has made the "
        "crossing to Skerray three times a day since 1934, and in all that time she has missed fewer than forty sailings. "
        "Her skipper, Donald MacAulay, has taken her across for twenty-six years, as his father did before him, and he "
        "knows every rock between the two piers by its local name. On the morning we sailed there were eleven passengers, "
        "two crates of groceries, a bicycle and a ewe bound for the vet. Nobody on board thought the bridge a bad idea. "
        "Nobody seemed glad of it either. “It’s progress,” said a woman with a pram, and went back to her book. The Morag "
        "Ann leaves the pier at Port Mor on a calm September morning. The crossing takes eleven minutes.",
        "A working boat The Morag Ann is not pretty. She was built for work on the Clyde and came north after the war with "
        "a new engine and an old name. Her deck is scarred where the cattle pens were bolted down, and her wheelhouse "
        "smells of diesel and wet wool. On a rough day she rolls like a barrel. When the bridge opens she will go to a "
        "museum in Oban, or so the council says. Donald is not sure he will visit her there. “She was never for looking "
        "at,” he told me. “She was for going across.” The last sailing is on the thirtieth of March.",
    };

    const std::string account = readToTheEndOfTheBook("kindle-magazine.json", "com.amazon.Lassen", "Kindle");
    EXPECT_EQ(paragraphStarts(server->speechRequests(), pages), pages) << account;
    EXPECT_EQ(occurrences(account, "[VisionOCR] 双栏检测"), occurrences(account, "[VisionOCR] recognizeWords"));
    EXPECT_EQ(pagesTurned(*desktop), 1u) << "left on its last page";
}

} // namespace
} // namespace lorvantine::test
