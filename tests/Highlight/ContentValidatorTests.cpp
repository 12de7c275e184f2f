#include "Core/ContentValidator.h"

#include "Articles/ArticleTestSupport.h"
#include "Support/Text.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

std::vector<ArticleParagraph> paragraphs(const std::vector<std::string>& texts)
{
    std::vector<ArticleParagraph> result;
    for (const std::string& text : texts)
        result.push_back(ArticleParagraph { .index = static_cast<int>(result.size()), .text = text });
    return result;
}

ContentValidator::ContentReport validate(const std::vector<std::string>& extracted, const std::string& groundTruth)
{
    return ContentValidator::validate(paragraphs(extracted), groundTruth, 7);
}

const std::string partA = "abcdefghijklmnopqrstuvwxyz0123";      // 30 Characters
const std::string partB = "ABCDEFGHIJKLMNOPQRSTUVWXYZ4567";      // 30
const std::string inserted = "一二三四五六七八九十甲乙丙丁戊己庚辛壬癸子丑寅卯辰巳午未申酉"; // 30

TEST(ContentValidator, SpacingAndLineBreaksDoNotCount)
{
    auto report = validate({ "abc def\tghij klm", "nop qrs\u2028tuv wxyz 0123" }, "abcdefghijklmnopqrstuvwxyz\n0123");
    EXPECT_EQ(report.coverage, 1.0);
    EXPECT_EQ(report.noiseRatio, 0.0);
    EXPECT_TRUE(report.missingSamples.empty());
    EXPECT_TRUE(report.noiseSamples.empty());
    EXPECT_EQ(report.groundTruthChars, 30);
    EXPECT_EQ(report.extractedChars, 30);
    EXPECT_EQ(report.extractedParagraphs, 2);
    EXPECT_EQ(report.groundTruthNodes, 7);
}

TEST(ContentValidator, PassageAddedInTheMiddleIsNoiseAndItsOnlySample)
{
    auto report = validate({ partA + inserted + partB }, partA + partB);
    // 41 ground-truth windows, of which the 19 across the join are not in the extraction.
    EXPECT_DOUBLE_EQ(report.coverage, 22.0 / 41.0);
    EXPECT_EQ(report.coveredChars, static_cast<int64_t>(22.0 / 41.0 * 60));
    EXPECT_TRUE(report.missingSamples.empty());
    EXPECT_GT(report.noiseRatio, 0.0);
    EXPECT_EQ(report.noiseChars, static_cast<int64_t>(report.noiseRatio * 90));
    EXPECT_EQ(report.noiseSamples, std::vector<std::string> { inserted });
}

TEST(ContentValidator, ShortTextsAreOneWindowAndEmptyTextsHaveTheirLimits)
{
    const struct {
        std::vector<std::string> extracted;
        std::string groundTruth;
        double coverage;
        double noise;
    } cases[] = {
        { { "0123456789" }, "0123456789", 1.0, 0.0 },
        { { "abcdefghij" }, "0123456789", 0.0, 1.0 },
        { {}, "", 1.0, 0.0 },
        { {}, "0123456789", 0.0, 0.0 },
        { { "0123456789" }, " \n", 1.0, 1.0 },
    };
    for (const auto& c : cases) {
        auto report = validate(c.extracted, c.groundTruth);
        EXPECT_EQ(report.coverage, c.coverage) << c.groundTruth;
        EXPECT_EQ(report.noiseRatio, c.noise) << c.groundTruth;
        EXPECT_TRUE(report.missingSamples.empty());
    }
}

// Covered stretches are runs of one lowercase letter found in the reference; uncovered runs are
// uppercase letters found nowhere in it.
TEST(ContentValidator, SamplesAreTheLongestUncoveredRunsCutTo80)
{
    const std::vector<size_t> runs = { 5, 9, 9, 30, 4, 12, 50 };
    std::string source;
    std::string reference;
    for (size_t i = 0; i < runs.size(); ++i) {
        const std::string covered(20, static_cast<char>('a' + i));
        source += covered + std::string(runs[i], static_cast<char>('A' + i));
        reference += covered + "\n";
    }
    EXPECT_EQ(validate({ source }, reference).noiseSamples,
              (std::vector<std::string> { std::string(50, 'G'), std::string(30, 'D'), std::string(12, 'F'),
                                          std::string(9, 'B'), std::string(9, 'C') }));

    const std::string a(20, 'a');
    const std::string b(20, 'b');
    EXPECT_TRUE(validate({ a + "XYZ" + b }, a + "\n" + b).noiseSamples.empty());
    EXPECT_EQ(validate({ a + std::string(200, 'X') + b }, a + "\n" + b).noiseSamples,
              std::vector<std::string> { std::string(80, 'X') });
    // A missing stretch of the page is a missing sample, whole Characters included.
    const std::string emoji = "👍🏽👍🏽👍🏽👍🏽👍🏽";
    EXPECT_EQ(validate({ a, b }, a + emoji + b).missingSamples, std::vector<std::string> { emoji });
}

class ContentValidatorPage : public ArticleTreeTest {
protected:
    std::optional<std::pair<std::string, int64_t>> groundTruth()
    {
        return ContentValidator::fetchGroundTruth(element("window"));
    }
};

TEST_F(ContentValidatorPage, GroundTruthTakesTextsAndHeadingsAndSkipsScrollBarsAndImages)
{
    install(articleFixture({
        SimElement("AXHeading").with("AXTitle", std::string("Heading by title")),
        SimElement("AXHeading", "Heading by value").with("AXTitle", std::string("unused")),
        staticText("First paragraph.", Rect(0, 40, 600, 20)),
        SimElement("AXScrollBar").child(staticText("in a scroll bar", Rect(0, 0, 10, 10))),
        SimElement("AXImage").child(staticText("in an image", Rect(0, 0, 10, 10))),
        SimElement("AXGroup").child(SimElement("AXGroup").child(staticText("Nested text.", Rect(0, 80, 600, 20)))),
        staticText("", Rect(0, 100, 600, 20)),
    }));
    auto truth = groundTruth();
    ASSERT_TRUE(truth);
    EXPECT_EQ(truth->first, "Heading by title\nHeading by value\nFirst paragraph.\nNested text.");
    EXPECT_EQ(truth->second, 4);
}

TEST_F(ContentValidatorPage, WebAreaIsSoughtTwelveLevelsDeep)
{
    for (int extraLevels : { 10, 11 }) {
        // The web area sits at depth extraLevels + 1 below the window.
        SimFixture fixture = articleFixture({ staticText("Deep text.", Rect(0, 0, 600, 20)) });
        SimElement webArea = std::move(fixture.applications[0].windows[0].children[0]);
        for (int level = 0; level < extraLevels; ++level)
            webArea = SimElement("AXGroup").child(std::move(webArea));
        fixture.applications[0].windows[0].children = { std::move(webArea) };
        install(fixture);
        EXPECT_EQ(groundTruth().has_value(), extraLevels + 1 <= 12) << extraLevels;
    }
    install(articleFixture({ SimElement("AXGroup").child(staticText("", Rect(0, 0, 600, 20))) }));
    EXPECT_FALSE(groundTruth());
}

TEST_F(ContentValidatorPage, CaptureOfFixturePagesCoversTheirText)
{
    for (const char* name : { "safari-article.json", "e2e-chinese-article.json", "code-links.json" }) {
        desktop.emplace(loadFixture(name));
        auto captured = ArticleParser::captureArticle(std::nullopt);
        ASSERT_TRUE(captured) << name;
        auto truth = ContentValidator::fetchGroundTruth(captured->window);
        ASSERT_TRUE(truth) << name;
        auto report = ContentValidator::validate(captured->paragraphs, truth->first, truth->second);
        EXPECT_GE(report.coverage, 0.9) << name;
        EXPECT_LE(report.noiseRatio, 0.1) << name;

        // Leaving out the longest paragraph loses coverage and shows that paragraph as missing (its
        // sample may open with the end of the text before it: windows across the join are gone too).
        auto shorter = captured->paragraphs;
        auto longest = std::max_element(shorter.begin(), shorter.end(), [](const auto& a, const auto& b) {
            return Text::characterCount(a.text) < Text::characterCount(b.text);
        });
        const std::string dropped = longest->text;
        shorter.erase(longest);
        auto without = ContentValidator::validate(shorter, truth->first, truth->second);
        EXPECT_LT(without.coverage, report.coverage) << name;
        ASSERT_FALSE(without.missingSamples.empty()) << name;
        const std::string droppedCompact = Text::joined(Text::splitOnWhitespace(dropped), "");
        EXPECT_TRUE(std::any_of(without.missingSamples.begin(), without.missingSamples.end(), [&](const std::string& sample) {
            return Text::contains(sample, Text::characterPrefix(droppedCompact, 10));
        })) << name;
    }
}

// The WeChat capture leaves the account's "Original" tag out on purpose: the page's own text
// shows it as missing, and nothing the capture added is taken for noise beyond a join or two.
TEST_F(ContentValidatorPage, WeChatTagLeftOutByTheCaptureIsMissing)
{
    desktop.emplace(loadFixture("wechat-article.json"));
    auto captured = ArticleParser::captureArticle(std::nullopt);
    ASSERT_TRUE(captured);
    auto truth = ContentValidator::fetchGroundTruth(captured->window);
    ASSERT_TRUE(truth);
    auto report = ContentValidator::validate(captured->paragraphs, truth->first, truth->second);
    EXPECT_LT(report.coverage, 0.95);
    EXPECT_LE(report.noiseRatio, 0.1);
    EXPECT_TRUE(std::any_of(report.missingSamples.begin(), report.missingSamples.end(),
                            [](const std::string& sample) { return Text::contains(sample, "Original"); }))
        << ::testing::PrintToString(report.missingSamples);
}

} // namespace
} // namespace lorvantine
