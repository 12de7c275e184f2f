#include "Platform/Backends/DesktopTruthRecognizer.h"
#include "Recognition/RecognitionMatchers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace lorvantine::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Optional;
using Line = DesktopTruthRecognizer::Line;
using Noise = DesktopTruthRecognizer::Noise;

// A picture 400 x 200 pixels.
const Image picture = Image::filled(400, 200, 0xFFFFFFFF);

DesktopTruthRecognizer::TruthProvider knowing(std::vector<Line> lines)
{
    return [lines](const Image&) { return std::optional(lines); };
}

std::vector<TextObservation> recognize(DesktopTruthRecognizer& recognizer, const Image& image = picture)
{
    auto result = recognizer.recognize(image, TextRecognitionRequest());
    EXPECT_TRUE(result) << (result ? "" : result.error().description);
    return result ? *result : std::vector<TextObservation>();
}

std::vector<std::string> strings(const std::vector<TextObservation>& observations)
{
    std::vector<std::string> out;
    for (const TextObservation& o : observations)
        out.push_back(o.topCandidate ? o.topCandidate->string : "<none>");
    return out;
}

TEST(DesktopTruthRecognizer, AnswersLinesWithNormalisedBoxesFromTheBottomLeft)
{
    DesktopTruthRecognizer recognizer(knowing({Line{{{"Hello", Rect(40, 20, 100, 20)}, {"world", Rect(160, 20, 100, 20)}}},
                                               Line{{{"again", Rect(40, 150, 100, 50)}}}}));

    auto observations = recognize(recognizer);

    ASSERT_EQ(observations.size(), 2u);
    const RecognizedText& first = *observations[0].topCandidate;
    EXPECT_EQ(first.string, "Hello world");
    EXPECT_THAT(first.boundingBox(0, 5), Optional(RectNear(Rect(0.1, 0.8, 0.25, 0.1), 1e-12)));
    EXPECT_THAT(first.boundingBox(6, 11), Optional(RectNear(Rect(0.4, 0.8, 0.25, 0.1), 1e-12)));
    EXPECT_THAT(first.boundingBox(0, 11), Optional(RectNear(Rect(0.1, 0.8, 0.55, 0.1), 1e-12)));
    EXPECT_EQ(first.boundingBox(5, 6), std::nullopt); // the space
    EXPECT_EQ(first.boundingBox(3, 3), std::nullopt);
    EXPECT_THAT(observations[0].boundingBox, RectNear(Rect(0.1, 0.8, 0.55, 0.1), 1e-12));
    EXPECT_THAT(observations[1].topCandidate->boundingBox(0, 5), Optional(RectNear(Rect(0.1, 0, 0.25, 0.25), 1e-12)));
}

TEST(DesktopTruthRecognizer, ChineseIsOneRunWithABoxPerCharacterAndNoSpaceBesideItsPunctuation)
{
    DesktopTruthRecognizer recognizer(knowing({Line{{{"阅读", Rect(0, 0, 40, 20)}, {"文字", Rect(40, 0, 40, 20)},
                                                     {"OCR", Rect(100, 0, 60, 20)}, {"识别", Rect(170, 0, 40, 20)}}}}));

    auto observations = recognize(recognizer);

    ASSERT_EQ(observations.size(), 1u);
    const RecognizedText& line = *observations[0].topCandidate;
    EXPECT_EQ(line.string, "阅读文字 OCR 识别");
    EXPECT_THAT(line.boundingBox(3, 6), Optional(RectNear(Rect(0.05, 0.9, 0.05, 0.1), 1e-12))); // 读
    EXPECT_THAT(line.boundingBox(6, 12), Optional(RectNear(Rect(0.1, 0.9, 0.1, 0.1), 1e-12))); // 文字

    // Punctuation beside Chinese takes no space.
    DesktopTruthRecognizer punctuated(knowing({Line{{{"读书", Rect(0, 0, 40, 20)}, {",", Rect(40, 0, 8, 20)},
                                                     {"这样", Rect(60, 0, 40, 20)}, {"。", Rect(100, 0, 20, 20)}}},
                                               Line{{{"Hello", Rect(0, 40, 50, 20)}, {",", Rect(50, 40, 5, 20)},
                                                     {"世界", Rect(60, 40, 40, 20)}}}}));
    EXPECT_THAT(strings(recognize(punctuated)), ElementsAre("读书,这样。", "Hello ,世界"));
}

TEST(DesktopTruthRecognizer, WordsWhoseCentreIsOffThePictureAreNotSeenAndTheRestAreClipped)
{
    DesktopTruthRecognizer recognizer(knowing({Line{{{"gone", Rect(-50, 10, 40, 20)}, {"cut", Rect(-10, 10, 40, 20)},
                                                     {" ", Rect(50, 10, 10, 20)}}},
                                               Line{{{"below", Rect(10, 195, 40, 20)}}}}));

    auto observations = recognize(recognizer);

    ASSERT_EQ(observations.size(), 1u);
    EXPECT_EQ(observations[0].topCandidate->string, "cut");
    EXPECT_THAT(observations[0].topCandidate->boundingBox(0, 3), Optional(RectNear(Rect(0, 0.85, 0.075, 0.1), 1e-12)));
}

TEST(DesktopTruthRecognizer, APictureItDoesNotKnowOrAnEmptyOneIsAnError)
{
    DesktopTruthRecognizer unknowing([](const Image&) { return std::optional<std::vector<Line>>(); });
    auto result = unknowing.recognize(picture, TextRecognitionRequest());
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().domain, "DesktopTruthRecognizer");

    DesktopTruthRecognizer recognizer(knowing({}));
    EXPECT_FALSE(recognizer.recognize(Image(), TextRecognitionRequest()));
    EXPECT_THAT(recognize(recognizer), IsEmpty());
}

std::vector<Line> sentence()
{
    Line line;
    const char* words[] = {"reading", "aloud", "helps", "people", "who", "prefer", "listening", "to", "text", "today"};
    double x = 0;
    for (const char* w : words) {
        line.words.push_back({w, Rect(x, 10, 30, 20)});
        x += 38;
    }
    return {line};
}

TEST(DesktopTruthRecognizer, NoiseIsTheSameForTheSameSeed)
{
    Noise noise{.typoRate = 0.3, .mergeRate = 0.2, .splitRate = 0.2, .seed = 7};
    DesktopTruthRecognizer a(knowing(sentence()), noise), b(knowing(sentence()), noise);
    noise.seed = 8;
    DesktopTruthRecognizer c(knowing(sentence()), noise);

    EXPECT_EQ(recognize(a), recognize(b));
    EXPECT_EQ(recognize(a), recognize(a));
    EXPECT_NE(strings(recognize(a)), strings(recognize(c)));
    EXPECT_NE(strings(recognize(a)), std::vector<std::string>{"reading aloud helps people who prefer listening to text today"});
}

TEST(DesktopTruthRecognizer, TyposChangeOneCharacterOfAWord)
{
    DesktopTruthRecognizer recognizer(knowing(sentence()), Noise{.typoRate = 1, .seed = 3});
    std::string line = recognize(recognizer)[0].topCandidate->string;
    std::string truth = "reading aloud helps people who prefer listening to text today";
    ASSERT_EQ(line.size(), truth.size());
    int differences = 0;
    for (size_t i = 0; i < line.size(); ++i)
        differences += line[i] != truth[i];
    EXPECT_EQ(differences, 10);
}

TEST(DesktopTruthRecognizer, MergedWordsShareOneBoxAndSplitWordsShareTheirs)
{
    DesktopTruthRecognizer merging(knowing(sentence()), Noise{.mergeRate = 1});
    const RecognizedText merged = *recognize(merging)[0].topCandidate;
    EXPECT_EQ(merged.string, "readingaloud helpspeople whoprefer listeningto texttoday");
    EXPECT_THAT(merged.boundingBox(0, 12), Optional(RectNear(Rect(0, 0.85, 68.0 / 400, 0.1), 1e-12)));

    DesktopTruthRecognizer splitting(knowing(sentence()), Noise{.splitRate = 1});
    const RecognizedText split = *recognize(splitting)[0].topCandidate;
    EXPECT_EQ(split.string, "read ing alo ud hel ps peo ple wh o pre fer liste ning t o te xt tod ay");
    EXPECT_THAT(split.boundingBox(0, 4), Optional(RectNear(Rect(0, 0.85, 30.0 * 4 / 7 / 400, 0.1), 1e-12)));
}

} // namespace
} // namespace lorvantine::testing
