#include "Documents/OfflineAlignTests.h"

#include "Support/Log.h"
#include "Support/Text.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace lorvantine {
namespace {

// The lines of the report itself; the alignment writes lines of its own between them.
std::vector<std::string> reportLines(const Log::Capture& log)
{
    std::vector<std::string> lines;
    for (const std::string& line : log.lines()) {
        const bool builderLine = Text::hasPrefix(line, "[") || (Text::hasPrefix(line, "  ") && !Text::hasPrefix(line, "   "));
        if (!builderLine)
            lines.push_back(line);
    }
    return lines;
}

TEST(OfflineAlignCases, ElevenCasesInTheirOrderWithBoxesLaidOutAsWords)
{
    const std::vector<OfflineAlignTests::TestCase> cases = OfflineAlignTests::cases();
    std::vector<std::string> names;
    for (const auto& c : cases)
        names.push_back(c.name);
    EXPECT_EQ(names, (std::vector<std::string> {
                         "A_english_1to1_allvisible", "B_english_mid_scroll", "C_english_gutter_noise",
                         "D_ocr_merges_two_clip", "E_ocr_splits_one_clip", "F_mixed_cjk_english", "G_pure_cjk_fanout",
                         "H_all_noise", "J_cjk_selection_starts_midline", "K_cjk_selection_ends_midline_with_ocr_typo",
                         "I_clip_extends_both_sides" }));

    // 8 pt a Character, 16 high, 6 pt apart from x 100; lines 20 pt apart from y 100.
    const auto& mixed = cases[5];
    ASSERT_EQ(mixed.ocrWords.size(), 16u);
    EXPECT_EQ(mixed.ocrWords[0], (RecognizedWord { "今天天气真好", Rect(100, 100, 48, 16) }));
    EXPECT_EQ(mixed.ocrWords[1], (RecognizedWord { "我们出去散步吧", Rect(154, 100, 56, 16) }));
    EXPECT_EQ(mixed.ocrWords[2], (RecognizedWord { "海内存知己", Rect(100, 120, 40, 16) }));
    EXPECT_EQ(mixed.ocrWords[9], (RecognizedWord { "Sphinx", Rect(100, 160, 48, 16) }));
    EXPECT_EQ(mixed.ocrWords[12], (RecognizedWord { "quartz,", Rect(100 + 54 + 22 + 46, 160, 56, 16) }));
    EXPECT_EQ(std::count(mixed.clipboard.begin(), mixed.clipboard.end(), '\n'), 3);
    EXPECT_FALSE(Text::hasSuffix(mixed.clipboard, "\n"));
    EXPECT_EQ(cases[9].ocrWords.at(0).screenRect.width(), 26 * 8);
    EXPECT_EQ(Text::splitOnWhitespace(cases[10].clipboard).size(), 40u); // pre0 … pre14, ten words, post0 … post14
    EXPECT_TRUE(cases[7].allowNil);
}

TEST(OfflineAlignCases, EveryCasePassesWithTheRealAlignment)
{
    Log::Capture log;
    const auto quiet = OfflineAlignTests::runAll(false);
    EXPECT_EQ(quiet.passed, 11);
    EXPECT_TRUE(quiet.failed.empty());
    EXPECT_EQ(reportLines(log), (std::vector<std::string> { "\n━━━ 结果 ━━━", "通过: 11/11" }));

    log.clear();
    const auto verbose = OfflineAlignTests::runAll(true);
    EXPECT_EQ(verbose.passed, 11);
    EXPECT_EQ(reportLines(log), (std::vector<std::string> {
                                    "✅ A_english_1to1_allvisible: 匹配=9 OCR=9 clip 词数=9",
                                    "✅ B_english_mid_scroll: 匹配=3 OCR=3 clip 词数=10",
                                    "✅ C_english_gutter_noise: 匹配=4 OCR=6 clip 词数=4",
                                    "✅ D_ocr_merges_two_clip: 匹配=4 OCR=3 clip 词数=4",
                                    "✅ E_ocr_splits_one_clip: 匹配=2 OCR=3 clip 词数=2",
                                    "✅ F_mixed_cjk_english: 匹配=10 OCR=16 clip 词数=10",
                                    "✅ G_pure_cjk_fanout: 匹配=1 OCR=3 clip 词数=1",
                                    "✅ H_all_noise: 匹配=0 OCR=5 clip 词数=2",
                                    "✅ J_cjk_selection_starts_midline: 匹配=2 OCR=2 clip 词数=2",
                                    "✅ K_cjk_selection_ends_midline_with_ocr_typo: 匹配=1 OCR=1 clip 词数=1",
                                    "✅ I_clip_extends_both_sides: 匹配=10 OCR=10 clip 词数=40",
                                    "\n━━━ 结果 ━━━",
                                    "通过: 11/11",
                                }));
}

TEST(OfflineAlignCases, FailedCasesSayWhyAndWhatWasMatched)
{
    const std::vector<OfflineAlignTests::TestCase> cases = OfflineAlignTests::cases();
    OfflineAlignTests::TestCase missingWord = cases[0];
    missingWord.name = "eight_of_nine";
    missingWord.ocrWords.pop_back(); // "dog."
    OfflineAlignTests::TestCase tooFew = cases[1];
    tooFew.name = "too_few";
    tooFew.expectMinMatches = 4;
    OfflineAlignTests::TestCase nothing = cases[7];
    nothing.name = "nothing";
    nothing.allowNil = false;
    OfflineAlignTests::TestCase allowed = cases[7];

    Log::Capture log;
    const auto outcome = OfflineAlignTests::run({ missingWord, tooFew, allowed, nothing }, false);
    EXPECT_EQ(outcome.passed, 1);
    EXPECT_EQ(outcome.failed, (std::vector<std::string> { "eight_of_nine", "too_few", "nothing" }));
    EXPECT_EQ(reportLines(log), (std::vector<std::string> {
                                    "❌ eight_of_nine: 缺少期望词 'dog.'",
                                    "   clip: The quick brown fox jumps over the lazy dog.",
                                    R"(   OCR tokens: ["The", "quick", "brown", "fox", "jumps", "over", "the", "lazy"])",
                                    R"(   配到的 clip 词: ["The", "quick", "brown", "fox", "jumps", "over", "the", "lazy"])",
                                    R"(   期望至少配到: ["The", "quick", "brown", "fox", "jumps", "over", "the", "lazy", "dog."])",
                                    "❌ too_few: 匹配数 3 < 下限 4",
                                    "   clip: one two three four FIVE SIX SEVEN eight nine ten",
                                    R"(   OCR tokens: ["FIVE", "SIX", "SEVEN"])",
                                    R"(   配到的 clip 词: ["FIVE", "SIX", "SEVEN"])",
                                    R"(   期望至少配到: ["FIVE", "SIX", "SEVEN"])",
                                    "❌ nothing: build 返回 nil，期望非 nil",
                                    "   clip: hello world",
                                    R"(   OCR tokens: ["1", "2", "3", "|", "◶"])",
                                    "   配到的 clip 词: []",
                                    "   期望至少配到: []",
                                    "\n━━━ 结果 ━━━",
                                    "通过: 1/4",
                                    "失败: eight_of_nine, too_few, nothing",
                                }));
}

} // namespace
} // namespace lorvantine
