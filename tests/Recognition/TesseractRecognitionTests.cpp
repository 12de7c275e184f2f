#include "Documents/VisionOCR.h"
#include "Platform/Backends/RecognizedLineBuilder.h"
#include "Platform/Backends/TesseractRecognizer.h"
#include "Recognition/OCRTestDesktop.h"
#include "Recognition/ProsePage.h"
#include "Recognition/ProseTexts.h"
#include "Recognition/RecognitionMatchers.h"
#include "Recognition/SharedTesseract.h"
#include "Support/Log.h"
#include "Support/Text.h"
#include "TestSupport/TextImageRenderer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

namespace lorvantine::testing {
namespace {

using ::testing::IsEmpty;

std::shared_ptr<TesseractRecognizer> tesseract() { return sharedTesseract(); }

const std::string englishText
    = "Reading aloud helps people who would rather listen than look at a screen. When an application shows "
      "its text only as pixels, the program photographs the window and recognises every word with its box, "
      "so that the highlight can follow the voice from line to line. Paragraphs are found from the gaps "
      "between lines, and numbers such as 1984 or 42 come back as they were written.";

const std::string chineseText = "阅读是一种美好的习惯。我们每天都应该花一点时间读书，这样可以增长知识，开阔眼界。"
                                "文字识别需要把图片中的汉字准确地读出来，并且给出每个字在屏幕上的位置。";

const std::string mixedText = "我们使用 Tesseract 来识别 English words 和中文字符，阅读 Kindle 电子书时，"
                              "窗口里的文字只能通过 image recognition 读取。";

bool isIdeograph(const std::string& word)
{
    std::u32string scalars = Text::scalars(word);
    return scalars.size() == 1 && scalars[0] >= 0x4E00 && scalars[0] <= 0x9FFF;
}

bool within(const Rect& a, const Rect& b, double tolerance)
{
    return std::fabs(a.minX() - b.minX()) <= tolerance && std::fabs(a.minY() - b.minY()) <= tolerance
        && std::fabs(a.maxX() - b.maxX()) <= tolerance && std::fabs(a.maxY() - b.maxY()) <= tolerance;
}

struct Score {
    int total = 0;
    int exact = 0;
    std::vector<std::string> misses; // for the failure message
    double rate() const { return total ? static_cast<double>(exact) / total : 0; }
};

// Each true word counts when a recognised piece whose centre lies in the word's layout box has
// exactly its text and a box within 3 points of its ink. `offset` moves the truth onto the screen.
template<typename Piece>
Score score(const TextImageRenderer::Rendering& truth, const std::vector<Piece>& pieces,
            const std::function<bool(const std::string&)>& counts, Point offset = {})
{
    Score s;
    for (const TextImageRenderer::Word& word : truth.words) {
        if (!counts(word.text))
            continue;
        ++s.total;
        Rect layout(word.logical.minX() + offset.x, word.logical.minY() + offset.y, word.logical.width(), word.logical.height());
        Rect ink(word.ink.minX() + offset.x, word.ink.minY() + offset.y, word.ink.width(), word.ink.height());
        const Piece* found = nullptr;
        for (const Piece& piece : pieces) {
            if (layout.contains({piece.screenRect.midX(), piece.screenRect.midY()}))
                found = &piece;
        }
        if (found && found->text == word.text && within(found->screenRect, ink, 3))
            ++s.exact;
        else
            s.misses.push_back(word.text + (found ? " → " + found->text : " → nothing"));
    }
    return s;
}

// Every box of a recognised line, in points of the picture.
std::vector<RecognizedWord> piecesOf(const std::vector<TextObservation>& observations, const Image& image, double scale)
{
    std::vector<RecognizedWord> pieces;
    double width = image.width / scale, height = image.height / scale;
    for (const TextObservation& observation : observations) {
        const RecognizedText& text = *observation.topCandidate;
        for (const RecognizedText::Segment& segment : text.segments) {
            const Rect& b = segment.box;
            pieces.push_back({text.string.substr(segment.begin, segment.end - segment.begin),
                              Rect(b.minX() * width, (1 - b.maxY()) * height, b.width() * width, b.height() * height)});
        }
    }
    return pieces;
}

std::vector<TextObservation> recognize(const Image& image, std::vector<std::string> languages)
{
    TextRecognitionRequest request;
    request.recognitionLanguages = std::move(languages);
    auto result = tesseract()->recognize(image, request);
    EXPECT_TRUE(result) << (result ? "" : result.error().description);
    return result ? *result : std::vector<TextObservation>();
}

bool isEnglishWord(const std::string& word) { return !isIdeograph(word) && !RecognizedLineBuilder::isUnspacedScript(Text::scalars(word)[0]); }

// At 2× the text is large enough to be read from a picture of half the size.
class TesseractWindowRecognition : public ::testing::TestWithParam<double> {};

TEST_P(TesseractWindowRecognition, EnglishComesBackWordForWordWithItsBoxes)
{
    TextImageRenderer::Options options;
    options.scale = GetParam();
    auto page = TextImageRenderer::render(englishText, options);
    OCRTestDesktop desktop;
    desktop.useRecognizer(tesseract());
    Rect frame(200, 100, page.image.width / page.scale, page.image.height / page.scale);
    AXElement window = desktop.addWindow(42, 7, frame, page.scale);
    desktop.capture().setPicture(7, page.image);
    Log::Capture log;

    auto words = VisionOCR::recognizeWords(frame.insetBy(4, 4), window);

    ASSERT_TRUE(words);
    Score s = score(page, *words, [](const std::string&) { return true; }, frame.origin);
    EXPECT_GE(s.rate(), 0.95) << s.exact << " of " << s.total << "; missed: " << ::testing::PrintToString(s.misses);
}

INSTANTIATE_TEST_SUITE_P(AtEitherBackingScale, TesseractWindowRecognition, ::testing::Values(1.0, 2.0));

// Where the words a page shows were read, in reading order: for each recognised word, the position
// in the page's words of the one its centre lies on (Chinese runs land on their middle Character).
std::vector<size_t> positionsOf(const std::vector<RecognizedWord>& recognised, const std::vector<const ProsePage*>& pages)
{
    std::vector<RecognizedWord> truth;
    for (const ProsePage* page : pages) {
        const auto words = page->words();
        truth.insert(truth.end(), words.begin(), words.end());
    }
    std::vector<size_t> positions;
    for (const RecognizedWord& word : recognised) {
        for (size_t i = 0; i < truth.size(); ++i) {
            if (truth[i].screenRect.contains({word.screenRect.midX(), word.screenRect.midY()})) {
                positions.push_back(i);
                break;
            }
        }
    }
    return positions;
}

// A reader's window of 800 × 600 showing `pages` on white, recognised below its toolbar.
std::vector<RecognizedWord> readWindow(const std::vector<const ProsePage*>& pages)
{
    const Rect frame(100, 50, 800, 600);
    OCRTestDesktop desktop;
    desktop.useRecognizer(tesseract());
    AXElement window = desktop.addWindow(42, 7, frame);
    desktop.capture().setPicture(7, pictureOf(pages, frame.origin, frame.size, 1));
    auto words = VisionOCR::recognizeWords(Rect(100, 78, 800, 542), window);
    EXPECT_TRUE(words);
    return words.value_or(std::vector<RecognizedWord>());
}

TEST(TesseractPageRecognition, ANarrowPageOfOneColumnComesBackLineByLine)
{
    TextImageRenderer::Options kindle;
    kindle.family = "DejaVu Serif";
    kindle.fontSize = 20;
    kindle.wrapWidth = 420;
    TextImageRenderer::Options chinese;
    chinese.family = "WenQuanYi Zen Hei";
    chinese.fontSize = 18;
    chinese.wrapWidth = 400;
    const std::pair<const std::string*, TextImageRenderer::Options> pages[] = {
        {&prose::letterCame, kindle}, {&prose::oldManChinese, chinese}};
    for (const auto& [text, options] : pages) {
        for (double left : {160.0, 320.0}) {
            const ProsePage page = ProsePage::laidOut(*text, options, {left, 90});
            Log::Capture log;

            auto words = readWindow({&page});

            ASSERT_GE(words.size(), 21u) << *text;
            auto positions = positionsOf(words, {&page});
            EXPECT_GE(positions.size(), words.size() * 9 / 10) << *text;
            EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()))
                << *text << " at x = " << left << ": " << ::testing::PrintToString(textsOf(words));
            EXPECT_FALSE(log.contains("双栏检测"));
        }
    }
}

TEST(TesseractPageRecognition, APageOfTwoColumnsComesBackColumnByColumn)
{
    TextImageRenderer::Options column;
    column.family = "DejaVu Serif";
    column.wrapWidth = 280;
    const ProsePage left = ProsePage::laidOut(prose::riverLeft, column, {136, 90});
    const ProsePage right = ProsePage::laidOut(prose::riverRight, column, {136 + 280 + 36, 90});
    Log::Capture log;

    auto words = readWindow({&left, &right});

    auto positions = positionsOf(words, {&left, &right});
    EXPECT_GE(positions.size(), (left.wordCount() + right.wordCount()) * 9 / 10);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end())) << ::testing::PrintToString(textsOf(words));
    EXPECT_EQ(log.linesContaining("双栏检测").size(), 1u);
}

TEST(TesseractPageRecognition, ColumnsUnderAHeadlineComeBackAfterItEachWholeAndBeforeTheCaption)
{
    // Pictures of the blocks with little white around them: drawn into the window's picture, a
    // block's white would cover the text of its neighbours.
    TextImageRenderer::Options wide;
    wide.family = "DejaVu Serif";
    wide.wrapWidth = 600;
    wide.margin = 4;
    TextImageRenderer::Options headline = wide;
    headline.fontSize = 26;
    TextImageRenderer::Options column = wide;
    column.wrapWidth = 280;
    TextImageRenderer::Options caption = wide;
    caption.fontSize = 13;
    std::vector<ProsePage> pages;
    double top = 96;
    auto place = [&](const std::string& text, const TextImageRenderer::Options& options, double left) {
        pages.push_back(ProsePage::laidOut(text, options, {left, top - options.margin}));
        return pages.back().textBounds().maxY();
    };
    top = place(prose::hallHeadline, headline, 150) + 12;
    top = place(prose::hallStandfirst, wide, 150) + 12;
    const double leftEnd = place(prose::hallStory, column, 150);
    top = std::max(leftEnd, place(prose::quizStory, column, 150 + 280 + 36)) + 14;
    place(prose::hallCaption, caption, 150);
    std::vector<const ProsePage*> reading;
    for (const ProsePage& page : pages)
        reading.push_back(&page);
    Log::Capture log;

    auto words = readWindow(reading);

    auto positions = positionsOf(words, reading);
    size_t total = 0;
    for (const ProsePage& page : pages)
        total += page.wordCount();
    EXPECT_GE(positions.size(), total * 9 / 10);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end())) << ::testing::PrintToString(textsOf(words));
}

// Chinese of ordinary size in a 2x capture is read at full size; taken for a 72 dpi picture, it
// lost a third of its characters.
TEST(TesseractRecognition, ChineseInA2xCaptureIsReadAtTheCapturesResolution)
{
    TextImageRenderer::Options options;
    options.family = "WenQuanYi Zen Hei";
    options.fontSize = 14;
    options.wrapWidth = 300;
    options.scale = 2;
    auto page = TextImageRenderer::render(chineseText, options);
    TextRecognitionRequest request;
    request.recognitionLanguages = {"zh-Hans", "zh-Hant", "en"};
    request.pixelsPerPoint = 2;

    auto observations = tesseract()->recognize(page.image, request);

    ASSERT_TRUE(observations);
    Score s = score(page, piecesOf(*observations, page.image, page.scale), isIdeograph);
    EXPECT_GE(s.rate(), 0.95) << s.exact << " of " << s.total << "; missed: " << ::testing::PrintToString(s.misses);
}

TEST(TesseractRecognition, ChineseComesBackCharacterForCharacterWithoutSpaces)
{
    TextImageRenderer::Options options;
    options.family = "WenQuanYi Zen Hei";
    auto page = TextImageRenderer::render(chineseText, options);

    auto observations = recognize(page.image, {"zh-Hans", "zh-Hant", "en"});

    Score s = score(page, piecesOf(observations, page.image, page.scale), isIdeograph);
    EXPECT_GE(s.rate(), 0.90) << s.exact << " of " << s.total << "; missed: " << ::testing::PrintToString(s.misses);
    for (const TextObservation& observation : observations) {
        std::vector<std::string> characters = Text::characters(observation.topCandidate->string);
        for (size_t i = 1; i + 1 < characters.size(); ++i)
            EXPECT_FALSE(characters[i] == " " && isIdeograph(characters[i - 1]) && isIdeograph(characters[i + 1]))
                << observation.topCandidate->string;
    }
}

TEST(TesseractRecognition, MixedChineseAndEnglishKeepBothScripts)
{
    auto page = TextImageRenderer::render(mixedText);

    auto observations = recognize(page.image, {"zh-Hans", "zh-Hant", "en"});
    auto pieces = piecesOf(observations, page.image, page.scale);

    Score chinese = score(page, pieces, isIdeograph);
    Score english = score(page, pieces, isEnglishWord);
    EXPECT_GE(chinese.rate(), 0.90) << ::testing::PrintToString(chinese.misses);
    EXPECT_GE(english.rate(), 0.95) << ::testing::PrintToString(english.misses);
    ASSERT_FALSE(observations.empty());
    EXPECT_TRUE(Text::contains(observations[0].topCandidate->string, "我们使用 Tesseract 来识别"))
        << observations[0].topCandidate->string;
}

TEST(TesseractRecognition, SeveralThreadsMayRecogniseAtOnce)
{
    auto line = TextImageRenderer::render("Three threads read this line.");
    std::vector<std::vector<TextObservation>> results(3);
    std::vector<std::thread> threads;
    for (auto& result : results)
        threads.emplace_back([&] { result = recognize(line.image, {"en"}); });
    for (auto& thread : threads)
        thread.join();

    ASSERT_EQ(results[0].size(), 1u);
    EXPECT_EQ(results[0][0].topCandidate->string, "Three threads read this line.");
    EXPECT_EQ(results[1], results[0]);
    EXPECT_EQ(results[2], results[0]);
}

TEST(TesseractRecognition, LanguagesMapToTesseractModels)
{
    EXPECT_EQ(TesseractRecognizer::tesseractLanguages({"en", "zh-Hans", "zh-Hant"}), "eng+chi_sim");
    EXPECT_EQ(TesseractRecognizer::tesseractLanguages({"zh-Hans", "zh-Hant", "en"}), "chi_sim+eng");
    EXPECT_EQ(TesseractRecognizer::tesseractLanguages({"zh-Hant", "zh-Hans"}), "chi_tra");
    EXPECT_EQ(TesseractRecognizer::tesseractLanguages({"en", "en"}), "eng");
    EXPECT_EQ(TesseractRecognizer::tesseractLanguages({}), "eng");
    EXPECT_EQ(TesseractRecognizer::tesseractLanguages({"en", "fr"}), std::nullopt);
}

TEST(TesseractRecognition, WhatCannotBeRecognisedIsAnErrorNotACrash)
{
    TextRecognitionRequest french;
    french.recognitionLanguages = {"fr"};
    auto unsupported = tesseract()->recognize(Image::filled(10, 10, 0xFFFFFFFF), french);
    ASSERT_FALSE(unsupported);
    EXPECT_THAT(unsupported.error().description, ::testing::HasSubstr("fr"));

    EXPECT_THAT(recognize(Image::filled(300, 120, 0xFFFFFFFF), {"en"}), IsEmpty()) << "a picture without text has no lines";
    EXPECT_FALSE(tesseract()->recognize(Image(), TextRecognitionRequest()));
    Image truncated = Image::filled(10, 10, 0xFFFFFFFF);
    truncated.pixels.resize(20);
    EXPECT_FALSE(tesseract()->recognize(truncated, TextRecognitionRequest()));

    TesseractRecognizer withoutModels("/nonexistent/tessdata");
    auto first = withoutModels.recognize(Image::filled(10, 10, 0xFFFFFFFF), TextRecognitionRequest());
    auto second = withoutModels.recognize(Image::filled(10, 10, 0xFFFFFFFF), TextRecognitionRequest());
    ASSERT_FALSE(first);
    ASSERT_FALSE(second);
    EXPECT_EQ(first.error(), second.error());
}

} // namespace
} // namespace lorvantine::testing
