#include "Documents/OfflineAlignTests.h"

#include "Documents/SelectionOCRBuilder.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>

namespace lorvantine::OfflineAlignTests {

namespace {

constexpr double kFirstWordX = 100;
constexpr double kWordGap = 6;
constexpr double kWidthPerCharacter = 8;
constexpr double kWordHeight = 16;

struct RunResult {
    bool passed = false;
    std::string reason;
    int matchedCount = 0;
    int clipboardWordCount = 0;
    std::vector<std::string> matchedWords;
};

// One line of recognised words at `y`, left to right, each as wide as its Characters.
void addLine(std::vector<RecognizedWord>& words, double y, const std::vector<std::string>& texts)
{
    double x = kFirstWordX;
    for (const std::string& text : texts) {
        const double width = kWidthPerCharacter * static_cast<double>(Text::characterCount(text));
        words.push_back({ text, Rect(x, y, width, kWordHeight) });
        x += width + kWordGap;
    }
}

std::vector<RecognizedWord> line(double y, const std::string& spaced)
{
    std::vector<RecognizedWord> words;
    addLine(words, y, Text::splitOnWhitespace(spaced));
    return words;
}

std::vector<RecognizedWord> lines(const std::vector<std::pair<double, std::vector<std::string>>>& rows)
{
    std::vector<RecognizedWord> words;
    for (const auto& [y, texts] : rows)
        addLine(words, y, texts);
    return words;
}

std::string quotedList(const std::vector<std::string>& items)
{
    std::string text = "[";
    for (size_t i = 0; i < items.size(); ++i)
        text += (i ? ", \"" : "\"") + items[i] + "\"";
    return text + "]";
}

RunResult runOne(const TestCase& testCase)
{
    RunResult result;
    result.clipboardWordCount = static_cast<int>(Text::splitOnWhitespace(testCase.clipboard).size());
    const auto paragraph = SelectionOCRBuilder::build(testCase.clipboard, testCase.ocrWords, std::nullopt);
    if (!paragraph) {
        result.passed = testCase.allowNil;
        if (!result.passed)
            result.reason = "build 返回 nil，期望非 nil";
        return result;
    }
    for (const OCRWordEntry& entry : paragraph->ocrWordBboxes.value_or(std::vector<OCRWordEntry> {}))
        result.matchedWords.push_back(entry.text);
    result.matchedCount = static_cast<int>(result.matchedWords.size());
    for (const std::string& expected : testCase.expectMatchedWords) {
        if (std::find(result.matchedWords.begin(), result.matchedWords.end(), expected) == result.matchedWords.end()) {
            result.reason = "缺少期望词 '" + expected + "'";
            return result;
        }
    }
    if (result.matchedCount < testCase.expectMinMatches) {
        result.reason = "匹配数 " + std::to_string(result.matchedCount) + " < 下限 " + std::to_string(testCase.expectMinMatches);
        return result;
    }
    result.passed = true;
    return result;
}

} // namespace

std::vector<TestCase> cases()
{
    const std::vector<std::string> greek = Text::splitOnWhitespace("alpha beta gamma delta epsilon zeta eta theta iota kappa");
    std::vector<std::string> extended;
    for (int i = 0; i < 15; ++i)
        extended.push_back("pre" + std::to_string(i));
    extended.insert(extended.end(), greek.begin(), greek.end());
    for (int i = 0; i < 15; ++i)
        extended.push_back("post" + std::to_string(i));

    return {
        { "A_english_1to1_allvisible", "The quick brown fox jumps over the lazy dog.",
          line(100, "The quick brown fox jumps over the lazy dog."), 9,
          Text::splitOnWhitespace("The quick brown fox jumps over the lazy dog."), false },
        { "B_english_mid_scroll", "one two three four FIVE SIX SEVEN eight nine ten", line(100, "FIVE SIX SEVEN"), 3,
          { "FIVE", "SIX", "SEVEN" }, false },
        { "C_english_gutter_noise", "public class Foo {", line(100, "1 | public class Foo {"), 3,
          { "public", "class", "Foo" }, false },
        { "D_ocr_merges_two_clip", "hello world foo bar", line(100, "hello world,foo bar"), 4,
          { "hello", "world", "foo", "bar" }, false },
        { "E_ocr_splits_one_clip", "foobar baz", line(100, "foo bar baz"), 2, { "foobar", "baz" }, false },
        { "F_mixed_cjk_english",
          "今天天气真好，我们出去散步吧。\n海内存知己，天涯若比邻。无为在歧路，儿女共沾巾。\n"
          "人工智能改变了世界。机器学习是其中的核心。深度学习更进一步。\nSphinx of black quartz, judge my vow.",
          lines({ { 100, { "今天天气真好", "我们出去散步吧" } },
                  { 120, { "海内存知己", "天涯若比邻", "无为在歧路", "儿女共沾巾" } },
                  { 140, { "人工智能改变了世界", "机器学习是其中的核心", "深度学习更进一步" } },
                  { 160, Text::splitOnWhitespace("Sphinx of black quartz, judge my vow.") } }),
          7, Text::splitOnWhitespace("Sphinx of black quartz, judge my vow."), false },
        { "G_pure_cjk_fanout", "今天天气真好我们出去散步", line(100, "今天天气 真好我们 出去散步"), 1,
          { "今天天气真好我们出去散步" }, false },
        { "H_all_noise", "hello world", line(100, "1 2 3 | ◶"), 0, {}, true },
        { "J_cjk_selection_starts_midline", "我们出去散步吧\n海内存知己天涯若比邻",
          lines({ { 100, { "今天天气真好我们出去散步吧" } }, { 120, { "海内存知己天涯若比邻" } } }), 2,
          { "我们出去散步吧", "海内存知己天涯若比邻" }, false },
        { "K_cjk_selection_ends_midline_with_ocr_typo", "人工智能改变了世界机器学习是其中的核心",
          line(100, "人丁智能改变了世界机器学习是其中的核心深度学习更进一"), 1, { "人工智能改变了世界机器学习是其中的核心" }, false },
        { "I_clip_extends_both_sides", Text::joined(extended, " "), line(100, Text::joined(greek, " ")), 10, greek, false },
    };
}

Outcome runAll(bool verbose) { return run(cases(), verbose); }

Outcome run(const std::vector<TestCase>& all, bool verbose)
{
    Outcome outcome;
    for (const TestCase& testCase : all) {
        const RunResult result = runOne(testCase);
        if (result.passed) {
            ++outcome.passed;
            if (verbose)
                Log::line("✅ " + testCase.name + ": 匹配=" + std::to_string(result.matchedCount) + " OCR="
                          + std::to_string(testCase.ocrWords.size()) + " clip 词数=" + std::to_string(result.clipboardWordCount));
            continue;
        }
        outcome.failed.push_back(testCase.name);
        std::vector<std::string> ocrTexts;
        for (const RecognizedWord& word : testCase.ocrWords)
            ocrTexts.push_back(word.text);
        Log::line("❌ " + testCase.name + ": " + result.reason);
        Log::line("   clip: " + testCase.clipboard);
        Log::line("   OCR tokens: " + quotedList(ocrTexts));
        Log::line("   配到的 clip 词: " + quotedList(result.matchedWords));
        Log::line("   期望至少配到: " + quotedList(testCase.expectMatchedWords));
    }
    Log::line("\n━━━ 结果 ━━━");
    Log::line("通过: " + std::to_string(outcome.passed) + "/" + std::to_string(all.size()));
    if (!outcome.failed.empty())
        Log::line("失败: " + Text::joined(outcome.failed, ", "));
    return outcome;
}

} // namespace lorvantine::OfflineAlignTests
