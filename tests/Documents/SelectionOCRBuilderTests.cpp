#include "Documents/SelectionOCRBuilder.h"
#include "Platform/Image.h"
#include "Support/Log.h"
#include "TestSupport/NaiveSelectionAlignment.h"
#include "TestSupport/ScratchDirectory.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace lorvantine {

inline std::ostream& operator<<(std::ostream& out, const OCRWordEntry& e)
{
    return out << "'" << e.text << "' [" << e.charStart << "," << e.charEnd << ") (" << e.screenRect.origin.x << ","
               << e.screenRect.origin.y << " " << e.screenRect.size.width << "x" << e.screenRect.size.height << ")";
}

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

RecognizedWord ocrWord(const std::string& text, double x, double y, double width = 60, double height = 20)
{
    return { text, Rect(x, y, width, height) };
}

TEST(SelectionOCRMeasures, NormalisingKeepsLettersMarksAndDigits)
{
    const std::vector<std::pair<std::string, std::string>> cases {
        { "Data-Driven,", "datadriven" },
        { "HELLO world!", "helloworld" },
        { "Café\u0301 3.14", "café\u0301314" },
        { "中文，测试。", "中文测试" },
        { "Ⅻ ½ → 🙂", "" },
        { "ΣΑΣ", "σας" },
        { "", "" },
    };
    for (const auto& [input, expected] : cases)
        EXPECT_EQ(SelectionOCRBuilder::normalize(input), expected) << input;
}

TEST(SelectionOCRMeasures, SimilarityIsOneLessTheShareOfEdits)
{
    struct Case {
        std::string a, b;
        int distance;
        double similarity;
    };
    const std::vector<Case> cases {
        { "", "", 0, 1.0 },
        { "a", "", 1, 0.0 },
        { "", "abc", 3, 0.0 },
        { "hello", "hello", 0, 1.0 },
        { "hello", "hallo", 1, 0.8 },
        { "kitten", "sitting", 3, 1.0 - 3.0 / 7.0 },
        { "datadriven", "datadrlven", 1, 0.9 },
        { "中文测试", "中文测", 1, 0.75 },
        { "e\u0301t\u00e9", "et\u00e9", 1, 1.0 - 1.0 / 3.0 }, // a combining pair is one Character
        { "abc", "xyz", 3, 0.0 },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SelectionOCRBuilder::editDistance(c.a, c.b), c.distance) << c.a << " / " << c.b;
        EXPECT_DOUBLE_EQ(SelectionOCRBuilder::similarity(c.a, c.b), c.similarity) << c.a << " / " << c.b;
    }
}

TEST(SelectionOCRMeasures, FuzzySubstringFindsTheEarliestBestOccurrence)
{
    using Occurrence = SelectionOCRBuilder::FuzzyOccurrence;
    const std::vector<std::tuple<std::string, std::string, std::optional<Occurrence>>> cases {
        { "world", "helloworld", Occurrence { 5, 10, 0 } },
        { "wrld", "helloworld", Occurrence { 6, 10, 1 } },
        { "ab", "abab", Occurrence { 0, 2, 0 } },
        { "hello", "helloworld", Occurrence { 0, 5, 0 } },
        { "abc", "abc", std::nullopt },
        { "abcd", "abc", std::nullopt },
        { "", "abc", std::nullopt },
        { "xy", "", std::nullopt },
        { "世界", "你好世界", Occurrence { 2, 4, 0 } },
    };
    for (const auto& [needle, haystack, expected] : cases)
        EXPECT_EQ(SelectionOCRBuilder::fuzzySubstring(needle, haystack), expected) << needle << " in " << haystack;
}

TEST(SelectionOCRMeasures, ReadingOrderGroupsLinesByTheirCentres)
{
    // Centres 10 apart with heights 20: one line (10 < 0.6 × 20), read left to right. The third
    // word is 13 below the second: a new line.
    const std::vector<RecognizedWord> words {
        ocrWord("right", 200, 10), ocrWord("left", 10, 0), ocrWord("below", 10, 23), ocrWord("first", 100, 10),
    };
    std::vector<std::string> texts;
    for (const RecognizedWord& w : SelectionOCRBuilder::sortIntoReadingOrder(words))
        texts.push_back(w.text);
    EXPECT_THAT(texts, ElementsAre("left", "first", "right", "below"));

    const auto clip = SelectionOCRBuilder::tokenizeClipboard("  one\ttwo\u3000三四 \n five");
    EXPECT_THAT(clip.words, ElementsAre("one", "two", "三四", "five"));
    EXPECT_THAT(clip.offsets, ElementsAre(2, 6, 10, 15));
}

class SelectionOCRBuildTest : public ::testing::Test {
protected:
    std::vector<OCRWordEntry> entries(const std::string& clipboard, const std::vector<RecognizedWord>& words)
    {
        auto paragraph = SelectionOCRBuilder::build(clipboard, words, std::nullopt);
        return paragraph && paragraph->ocrWordBboxes ? *paragraph->ocrWordBboxes : std::vector<OCRWordEntry> {};
    }
    Log::Capture log;
};

TEST_F(SelectionOCRBuildTest, AlignmentEdgeCases)
{
    struct Case {
        const char* name;
        std::string clipboard;
        std::vector<RecognizedWord> words;
        std::vector<OCRWordEntry> expected;
    };
    const std::vector<Case> cases {
        { "hyphenated word against two recognised words", "data-driven",
          { ocrWord("data", 10, 0, 40), ocrWord("driven", 60, 0, 60) },
          { { "data-driven", 0, 11, Rect(10, 0, 110, 20) } } },
        { "one wrong letter in five", "hello there",
          { ocrWord("hallo", 0, 0, 50), ocrWord("there", 60, 0, 50) },
          { { "hello", 0, 5, Rect(0, 0, 50, 20) }, { "there", 6, 11, Rect(60, 0, 50, 20) } } },
        { "selection starting inside a token", "world again",
          { ocrWord("helloworld,", 100, 10, 200), ocrWord("again", 310, 10, 50) },
          { { "world", 0, 5, Rect(200, 10, 100, 20) }, { "again", 6, 11, Rect(310, 10, 50, 20) } } },
        { "copied words not on screen get no entry", "alpha zzzzqqq gamma",
          { ocrWord("alpha", 0, 0), ocrWord("gamma", 70, 0) },
          { { "alpha", 0, 5, Rect(0, 0, 60, 20) }, { "gamma", 14, 19, Rect(70, 0, 60, 20) } } },
        { "unselected words around the selection are skipped", "quick brown",
          { ocrWord("The", 0, 0), ocrWord("quick", 70, 0), ocrWord("brown", 140, 0), ocrWord("fox", 210, 0) },
          { { "quick", 0, 5, Rect(70, 0, 60, 20) }, { "brown", 6, 11, Rect(140, 0, 60, 20) } } },
        { "two words sharing one box by their lengths", "ab cdefgh",
          { ocrWord("abcdefgh", 0, 0, 80) },
          { { "ab", 0, 2, Rect(0, 0, 20, 20) }, { "cdefgh", 3, 9, Rect(20, 0, 60, 20) } } },
        { "Chinese run over at most three tokens", "今天天气很好",
          { ocrWord("今天", 0, 0, 40), ocrWord("天气", 40, 0, 40), ocrWord("很好", 80, 0, 40) },
          { { "今天天气很好", 0, 6, Rect(0, 0, 120, 20) } } },
        { "words of two lines close enough to read as one", "left right",
          { ocrWord("right", 100, 8), ocrWord("left", 0, 0) },
          { { "left", 0, 4, Rect(0, 0, 60, 20) }, { "right", 5, 10, Rect(100, 8, 60, 20) } } },
    };
    for (const Case& c : cases)
        EXPECT_EQ(entries(c.clipboard, c.words), c.expected) << c.name;
}

TEST_F(SelectionOCRBuildTest, ParagraphCarriesTheWholeCopiedTextAndTheEntriesUnion)
{
    auto paragraph = SelectionOCRBuilder::build("  alpha zzzzqqq gamma\n", { ocrWord("gamma", 70, 5), ocrWord("alpha", 0, 0) },
                                                std::nullopt);
    ASSERT_TRUE(paragraph);
    EXPECT_EQ(paragraph->index, 0);
    EXPECT_EQ(paragraph->text, "alpha zzzzqqq gamma");
    EXPECT_EQ(paragraph->role, "Selection");
    EXPECT_TRUE(paragraph->boundsDisabled);
    EXPECT_FALSE(paragraph->element);
    EXPECT_FALSE(paragraph->nativeCharOffset);
    EXPECT_EQ(paragraph->frame, Rect(0, 0, 130, 25));
    EXPECT_THAT(log.lines(), ElementsAre("[SelectionOCR] 词级对齐: 2/3 clip 词配到 OCR bbox (OCR token 数=2)",
                                         "  entry[0] 'alpha' chars=[0,5) rect=(0,0 60×20)",
                                         "  entry[1] 'gamma' chars=[14,19) rect=(70,5 60×20)",
                                         "  ocr[0] 'alpha' rect=(0,0 60×20)", "  ocr[1] 'gamma' rect=(70,5 60×20)",
                                         "  clipText=alpha zzzzqqq gamma", "  clip[0] 'alpha' off=0",
                                         "  clip[1] 'zzzzqqq' off=6", "  clip[2] 'gamma' off=14",
                                         "[SelectionOCR] 构建: 2 词有 bbox, paragraph 19 字符"));
}

TEST_F(SelectionOCRBuildTest, NothingToAlignGivesNone)
{
    EXPECT_FALSE(SelectionOCRBuilder::build("", { ocrWord("a", 0, 0) }, std::nullopt));
    EXPECT_FALSE(SelectionOCRBuilder::build(" \n\u3000 ", { ocrWord("a", 0, 0) }, std::nullopt));
    EXPECT_FALSE(SelectionOCRBuilder::build("hello", {}, std::nullopt));
    EXPECT_THAT(log.lines(), IsEmpty());

    EXPECT_FALSE(SelectionOCRBuilder::build("nothing here", { ocrWord("xyzzy", 0, 0) }, std::nullopt));
    EXPECT_EQ(log.lines().back(), "[SelectionOCR] ⚠️ 全部词无 OCR 匹配 → 跳过（不显示朗读按钮）");
}

TEST_F(SelectionOCRBuildTest, HugeAlignmentsAreRefusedWithALine)
{
    std::string clipboard;
    // Appended piece by piece: g++ 12 at -O3 misreads "w" + std::to_string(i) as an overlapping copy.
    for (int i = 0; i < 1300; ++i)
        clipboard.append("w").append(std::to_string(i)).append(" ");
    std::vector<RecognizedWord> words;
    for (int i = 0; i < 1200; ++i)
        words.push_back(ocrWord(std::string("w").append(std::to_string(i)), i * 10.0, 0, 8));
    EXPECT_FALSE(SelectionOCRBuilder::build(clipboard, words, std::nullopt));
    EXPECT_THAT(log.lines(), ElementsAre("[SelectionOCR] ⚠️ 选区过长 (1300 × 1200 词)，超出对齐上限 → 跳过（不显示朗读按钮）"));
}

// Words of a small alphabet, misread now and then, with unselected words around: the skipping
// of hopeless pairs must not change a single entry.
TEST(SelectionOCRAlignment, GivesExactlyTheStraightforwardAlignment)
{
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::mt19937 random(seed);
        auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
        const std::vector<std::string> alphabet { "a", "b", "c", "d", "é", "中", "-", "1" };
        auto makeWord = [&] {
            std::string w;
            for (int len = 1 + pick(8); len > 0; --len)
                w += alphabet[static_cast<size_t>(pick(static_cast<int>(alphabet.size())))];
            return w;
        };
        std::vector<std::string> clip;
        std::vector<int> offsets;
        int offset = 0;
        for (int i = 0, n = 1 + pick(25); i < n; ++i) {
            clip.push_back(makeWord());
            offsets.push_back(offset);
            offset += static_cast<int>(clip.back().size()) + 1;
        }
        std::vector<RecognizedWord> ocr;
        double x = 0;
        auto addOCR = [&](std::string text) {
            ocr.push_back({ std::move(text), Rect(x, 0, 10.0 + pick(40), 20) });
            x += 55;
        };
        for (int i = pick(4); i > 0; --i)
            addOCR(makeWord());
        for (size_t i = 0; i < clip.size(); ++i) {
            std::string text = clip[i];
            switch (pick(6)) {
            case 0: text += clip[std::min(i + 1, clip.size() - 1)]; break; // merged with the next
            case 1: text = "x" + text; break; // one letter misread in front
            case 2: if (text.size() > 2) { addOCR(text.substr(0, 1)); text = text.substr(1); } break; // split
            case 3: text = makeWord(); break;
            default: break;
            }
            addOCR(text);
        }
        for (int i = pick(4); i > 0; --i)
            addOCR(makeWord());
        EXPECT_EQ(SelectionOCRBuilder::alignWordLevel(clip, offsets, ocr), naiveAlignWordLevel(clip, offsets, ocr)) << "seed " << seed;
    }
}

class SelectionOCRPictureTest : public SelectionOCRBuildTest {
protected:
    struct Rgba {
        int r, g, b, a;
    };
    static Rgba at(const Image& image, int x, int y)
    {
        const uint32_t p = image.pixel(x, y);
        return { static_cast<int>((p >> 16) & 0xFF), static_cast<int>((p >> 8) & 0xFF), static_cast<int>(p & 0xFF),
                 static_cast<int>(p >> 24) };
    }
    test::ScratchDirectory scratch;
};

TEST_F(SelectionOCRPictureTest, DrawsRecognisedBoxesGreyAndEntriesGreen)
{
    const std::string path = scratch.path().string() + "/selection.png";
    // Boxes from (100, 50) to (300, 80): the picture covers (80, 30)–(320, 100), 2 pixels a point.
    auto paragraph = SelectionOCRBuilder::build("hello", { ocrWord("hello", 100, 50, 80, 20), ocrWord("zzz", 200, 60, 100, 20) }, path);
    ASSERT_TRUE(paragraph);
    EXPECT_EQ(log.lines().back(), "[SelectionOCR] 诊断 PNG: " + path);
    auto image = Image::loadPNG(path);
    ASSERT_TRUE(image) << image.error().message;
    EXPECT_EQ(image->width, 480);
    EXPECT_EQ(image->height, 140);

    auto near = [](Rgba c, int r, int g, int b) { return std::abs(c.r - r) <= 3 && std::abs(c.g - g) <= 3 && std::abs(c.b - b) <= 3 && c.a == 255; };
    EXPECT_TRUE(near(at(*image, 5, 5), 255, 255, 255)); // margin
    EXPECT_TRUE(near(at(*image, 100, 60), 255, 255, 255)); // inside the matched box
    // The entry "hello" is (100, 50, 80 × 20): its left edge at pixel x 40, rows 40–80, stroked
    // 2 pixels wide in green (0.1, 0.7, 0.1).
    EXPECT_TRUE(near(at(*image, 40, 60), 26, 179, 26));
    // The unmatched box's left edge, x 240, stroked 1 pixel wide in grey at 0.4 over white.
    const Rgba grey = at(*image, 240, 70);
    EXPECT_TRUE(grey.r == grey.g && grey.g == grey.b && grey.r > 200 && grey.r < 250) << grey.r;
}

TEST_F(SelectionOCRPictureTest, NeverWritesThroughALinkAtThePath)
{
    const std::string target = scratch.path().string() + "/victim.txt";
    const std::string link = scratch.path().string() + "/selection.png";
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    SelectionOCRBuilder::writeDebugOverlay({ ocrWord("a", 0, 0) }, {}, link);
    struct stat info {};
    EXPECT_NE(::stat(target.c_str(), &info), 0) << "the link's target was created";
    EXPECT_FALSE(log.contains("诊断 PNG"));

    // A directory that is not there: silently nothing.
    SelectionOCRBuilder::writeDebugOverlay({ ocrWord("a", 0, 0) }, {}, scratch.path().string() + "/missing/x.png");
    EXPECT_THAT(log.lines(), IsEmpty());

    // A fresh file is written whole and is not left half-written under a temporary name.
    const std::string fresh = scratch.path().string() + "/fresh.png";
    SelectionOCRBuilder::writeDebugOverlay({ ocrWord("a", 0, 0) }, {}, fresh);
    EXPECT_TRUE(Image::loadPNG(fresh));
}

} // namespace
} // namespace lorvantine
