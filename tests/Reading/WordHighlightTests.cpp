// The demo desktop's article read aloud with synthesised speech: while a paragraph plays, the
// screen shows the mark over the word the speech has reached (English), or over the sentence
// (Chinese), exactly where the page lays that text out.

#include "Reading/ReadingTestSupport.h"

#include "Accessibility/AXReader.h"
#include "Accessibility/ArticleParser.h"
#include "Audio/AudioPlayer.h"
#include "Network/TTSClient.h"
#include "Support/Text.h"

#include <gtest/gtest.h>

namespace lorvantine::test {
namespace {

// What the player is playing, read as the sub-highlight tick reads it.
struct Moment {
    int paragraph = -1;
    int offset = 0;
    std::vector<TTSTimestamp> timestamps;
    double time = 0;
};

class WordHighlightTest : public ReadingTest {
public:
    static void SetUpTestSuite()
    {
        synthesised = new SpeechServerProcess({ .speech = SpeechServerProcess::Speech::synthesised });
        client = TTSClient::make("af_heart", { .timeZoneIdentifier = "Europe/Berlin",
                                               .usBaseURL = synthesised->baseURL(),
                                               .cnBaseURL = synthesised->baseURL() });
    }
    static void TearDownTestSuite()
    {
        client.reset();
        delete synthesised;
        synthesised = nullptr;
    }

protected:
    WordHighlightTest()
    {
        speechServer = synthesised;
        sessionSpeechClient = client;
    }

    std::shared_ptr<SimDesktop> makeDesktop() override { return SimDesktop::demo(); }

    std::optional<Moment> playing()
    {
        AudioPlayer& player = reader->player();
        std::lock_guard guard(player.lock);
        if (!player.currentSegment || !player.currentPlayer)
            return std::nullopt;
        return Moment { player.currentSegment->paragraphIndex, player.currentSegment->textOffsetInParagraph,
                        player.currentSegment->timestamps, player.currentPlayer->currentTime() };
    }

    // Moves time in the sub-highlight tick's steps until `ready` holds for what plays, at the
    // second tick or later of that piece (the first one asks for the rectangles).
    std::optional<Moment> advanceUntilPlaying(const std::function<bool(const Moment&)>& ready)
    {
        std::optional<Moment> now;
        std::pair<int, int> piece { -1, -1 };
        int ticksOfPiece = 0;
        advanceUntil([&] {
            now = playing();
            if (!now)
                return false;
            const std::pair<int, int> current { now->paragraph, now->offset };
            ticksOfPiece = current == piece ? ticksOfPiece + 1 : 0;
            piece = current;
            return ticksOfPiece >= 1 && ready(*now);
        }, 120);
        return now && ticksOfPiece >= 1 && ready(*now) ? now : std::nullopt;
    }

    // The screen shows the mark over `bounds` and not beside it on the same line.
    void expectMarkedAlone(const Rect& bounds, const std::string& what)
    {
        auto picture = renderScreen();
        ASSERT_TRUE(picture);
        const Rect inside(bounds.minX() + 1, bounds.minY() + 2, bounds.width() - 2, bounds.height() - 4);
        const Rect left(bounds.minX() - 7, inside.minY(), 4, inside.height());
        const Rect right(bounds.maxX() + 3, inside.minY(), 4, inside.height());
        EXPECT_GT(warmth(*picture, inside), 60) << what << " is not marked";
        EXPECT_LT(warmth(*picture, left), 35) << "the mark reaches left of " << what;
        EXPECT_LT(warmth(*picture, right), 35) << "the mark reaches right of " << what;
    }

    // Where the page lays out `text` inside the first run of the element named `name`.
    Rect layoutBounds(const std::string& name, const std::string& text)
    {
        const auto runs = AXReader::rawChildren(desktop->element(name));
        EXPECT_FALSE(runs.empty()) << name;
        if (runs.empty())
            return {};
        const std::string runText = AXReader::attribute(runs.front(), AXName::value).value_or("");
        const size_t at = runText.find(text);
        EXPECT_NE(at, std::string::npos) << text;
        const int location = static_cast<int>(Text::utf16OffsetFromByteOffset(runText, at));
        auto bounds = AXReader::boundsForRange(runs.front(), location, static_cast<int>(Text::utf16Count(text)));
        EXPECT_TRUE(bounds) << text;
        return bounds.value_or(Rect());
    }

    static inline SpeechServerProcess* synthesised = nullptr;
    static inline std::shared_ptr<TTSClient> client;
};

int paragraphStartingWith(const std::vector<ArticleParagraph>& paragraphs, const std::string& start)
{
    for (const auto& paragraph : paragraphs)
        if (paragraph.text.starts_with(start))
            return paragraph.index;
    ADD_FAILURE() << "no paragraph starts with " << start;
    return -1;
}

TEST_F(WordHighlightTest, TheMarkFollowsTheSpokenWordInEnglishAndTheSpokenSentenceInChinese)
{
    auto article = ArticleParser::captureArticle("com.apple.Safari");
    ASSERT_TRUE(article);
    const int english = paragraphStartingWith(article->paragraphs, "Most of us read");
    const int chinese = paragraphStartingWith(article->paragraphs, "慢读");
    reader->startReading(article->title, article->window, article->paragraphs, "com.apple.Safari");

    const std::string word = "grandparents";
    auto spoken = advanceUntilPlaying([&](const Moment& m) {
        if (m.paragraph != english)
            return false;
        for (const auto& stamp : m.timestamps)
            if (stamp.word == word && m.time >= stamp.start + 0.05 && m.time < stamp.end)
                return true;
        return false;
    });
    ASSERT_TRUE(spoken) << "\"" << word << "\" was never heard";
    expectMarkedAlone(layoutBounds("paragraph-1", word), "\"" + word + "\"");

    // Every ideograph is timed; the sentence they make up is marked as one while any of it plays.
    const std::string sentence = "慢读并不是读得少，而是给每一句话留出被理解的时间";
    spoken = advanceUntilPlaying([&](const Moment& m) {
        return m.paragraph == chinese && m.offset == 0 && !m.timestamps.empty() && m.time >= m.timestamps.front().start + 0.05
            && m.time < m.timestamps.back().end;
    });
    ASSERT_TRUE(spoken) << "the first sentence of the Chinese paragraph was never heard";
    expectMarkedAlone(layoutBounds("paragraph-2", sentence), "the first Chinese sentence");
}

} // namespace
} // namespace lorvantine::test
