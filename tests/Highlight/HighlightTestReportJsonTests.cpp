#include "Core/HighlightTestReportJson.h"

#include "Support/Files.h"
#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace lorvantine {
namespace {

// A small report with every kind of value: optional members present and absent, a "/" in text,
// doubles with and without a fraction.
HighlightTestReport sampleReport()
{
    HighlightTestReport report;
    report.articleTitle = "A/B";
    report.timestamp = "2026-12-07T07:16:43Z";
    report.paragraphCount = 1;
    report.totalCharacters = 5;
    ParagraphTestResult paragraph;
    paragraph.index = 0;
    paragraph.textPreview = "Hello";
    paragraph.charCount = 5;
    paragraph.role = "AXStaticText";
    paragraph.sentenceCount = 1;
    paragraph.sentences.push_back({ "0..<5", "", 1, { { 10, 20.5, 300, 18 } }, { { "containment", false, "out" } } });
    paragraph.checks.push_back({ "coverage", true, "100%" });
    paragraph.diagnostics = ParagraphDiagnostics { .frameHeight = 18, .textCharCount = 5 };
    report.paragraphs.push_back(paragraph);
    report.summary = { 2, 1, 1, { "containment" },
                       std::map<std::string, CheckBreakdown> { { "coverage", { 1, 0 } }, { "containment", { 0, 1 } } } };
    return report;
}

using HighlightTestReportJson::decode;
using HighlightTestReportJson::jsonLine;

TEST(HighlightTestReportJson, LineIsCompactWithKeysSortedAtEveryDepth)
{
    EXPECT_EQ(*jsonLine(sampleReport()),
              R"({"articleTitle":"A\/B","paragraphCount":1,"paragraphs":[{"charCount":5,"checks":[{"detail":"100%","name":"coverage","passed":true}],)"
              R"("diagnostics":{"frameHeight":18,"textCharCount":5},"index":0,"role":"AXStaticText","sentenceCount":1,)"
              R"("sentences":[{"charRange":"0..<5","checks":[{"detail":"out","name":"containment","passed":false}],"lineCount":1,)"
              R"("lineRects":[{"height":18,"width":300,"x":10,"y":20.5}],"textPreview":""}],"textPreview":"Hello"}],)"
              R"("summary":{"checkBreakdown":{"containment":{"failed":1,"passed":0},"coverage":{"failed":0,"passed":1}},)"
              R"("failed":1,"failedCheckNames":["containment"],"passed":1,"totalChecks":2},)"
              R"("timestamp":"2026-12-07T07:16:43Z","totalCharacters":5})"
              "\n");
}

TEST(HighlightTestReportJson, PrettyFormIndentsWithSortedKeysAndKeepsOptionalMembers)
{
    HighlightTestReport report;
    report.articleTitle = "T";
    report.url = "https://x.org/a";
    report.timestamp = "2026-12-07T07:16:43Z";
    report.summary.failedCheckNames = {};
    report.content = ContentValidator::ContentReport { 10, 8, 7, 1, 0.7, 0.125, 2, 3, { "gone" }, {} };
    report.failureCategories = FailureCategories { 1, 0, 0, 2, 0, 0 };
    EXPECT_EQ(*HighlightTestReportJson::prettyJson(report),
              "{\n"
              "  \"articleTitle\" : \"T\",\n"
              "  \"content\" : {\n"
              "    \"coverage\" : 0.7,\n"
              "    \"coveredChars\" : 7,\n"
              "    \"extractedChars\" : 8,\n"
              "    \"extractedParagraphs\" : 2,\n"
              "    \"groundTruthChars\" : 10,\n"
              "    \"groundTruthNodes\" : 3,\n"
              "    \"missingSamples\" : [\n"
              "      \"gone\"\n"
              "    ],\n"
              "    \"noiseChars\" : 1,\n"
              "    \"noiseRatio\" : 0.125,\n"
              "    \"noiseSamples\" : [\n"
              "\n"
              "    ]\n"
              "  },\n"
              "  \"failureCategories\" : {\n"
              "    \"frameTextMisaligned\" : 0,\n"
              "    \"frameTooTall\" : 1,\n"
              "    \"geometryError\" : 2,\n"
              "    \"megaParagraph\" : 0,\n"
              "    \"textAxMisaligned\" : 0,\n"
              "    \"textIncomplete\" : 0\n"
              "  },\n"
              "  \"paragraphCount\" : 0,\n"
              "  \"paragraphs\" : [\n"
              "\n"
              "  ],\n"
              "  \"summary\" : {\n"
              "    \"failed\" : 0,\n"
              "    \"failedCheckNames\" : [\n"
              "\n"
              "    ],\n"
              "    \"passed\" : 0,\n"
              "    \"totalChecks\" : 0\n"
              "  },\n"
              "  \"timestamp\" : \"2026-12-07T07:16:43Z\",\n"
              "  \"totalCharacters\" : 0,\n"
              "  \"url\" : \"https:\\/\\/x.org\\/a\"\n"
              "}");
}

TEST(HighlightTestReportJson, OptionalMembersAreLeftOutWhenAbsent)
{
    HighlightTestReport report = sampleReport();
    report.summary.checkBreakdown.reset();
    ParagraphTestResult disabled { .index = 1, .textPreview = "x", .charCount = 1, .role = "AXStaticText" };
    disabled.checks.push_back({ "bounds_disabled", true, "" });
    report.paragraphs.push_back(disabled);
    const std::string line = *jsonLine(report);
    for (const char* key : { "\"url\"", "\"content\"", "\"failureCategories\"", "\"checkBreakdown\"",
                             "\"expectedHeight\"", "\"firstCharTopGap\"", "\"axFullCharCount\"", "null" })
        EXPECT_EQ(line.find(key), std::string::npos) << key;
    EXPECT_NE(line.find(R"({"charCount":1,"checks":[{"detail":"","name":"bounds_disabled","passed":true}],"index":1,)"
                        R"("role":"AXStaticText","sentenceCount":0,"sentences":[],"textPreview":"x"})"),
              std::string::npos);
    EXPECT_EQ(*decode(line), report);
}

TEST(HighlightTestReportJson, EveryValueReadsBackUnchanged)
{
    HighlightTestReport report = sampleReport();
    report.url = "https://example.com/p?q=1";
    report.content = ContentValidator::ContentReport { 100, 90, 85, 4, 0.85, 1.0 / 3, 4, 12, { "a", "b" }, { "c" } };
    report.failureCategories = FailureCategories { 1, 2, 3, 4, 5, 6 };
    report.paragraphs[0].diagnostics = ParagraphDiagnostics { 18.25, 36.5, -0.1, 42, 5 };
    report.paragraphs[0].sentences[0].lineRects.push_back({ 0.1, 1e-7, 1e21, 123456.789 });
    EXPECT_EQ(*decode(*jsonLine(report)), report);
    EXPECT_EQ(*decode(*HighlightTestReportJson::prettyJson(report)), report);
}

// Readers that split at every Unicode line break must still see one report per line.
TEST(HighlightTestReportJson, LineBreakCharactersInTextAreEscapedAndReadBack)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        { "\r", "\\r" }, { "\v", "\\u000b" }, { "\f", "\\f" }, { "\n", "\\n" },
        { "\xC2\x85", "\\u0085" }, { "\xE2\x80\xA8", "\\u2028" }, { "\xE2\x80\xA9", "\\u2029" },
    };
    for (const auto& [separator, escape] : cases) {
        HighlightTestReport report = sampleReport();
        report.articleTitle = "a" + separator + "b";
        report.paragraphs[0].textPreview = separator;
        report.paragraphs[0].checks[0].detail = "x" + separator;
        const std::string line = *jsonLine(report);
        EXPECT_EQ(line.find(separator), separator == "\n" ? line.size() - 1 : std::string::npos) << escape;
        EXPECT_NE(line.find("\"articleTitle\":\"a" + escape + "b\""), std::string::npos) << escape;
        EXPECT_EQ(*decode(line), report) << escape;
    }
    // Similar bytes that are no line break stay as they are.
    HighlightTestReport report = sampleReport();
    report.articleTitle = "\xE2\x80\xA7\xC2\x86\xE2\x82\xAC";
    EXPECT_NE(jsonLine(report)->find(report.articleTitle), std::string::npos);
}

TEST(HighlightTestReportJson, NonFiniteNumbersAreNotWritten)
{
    HighlightTestReport report = sampleReport();
    report.paragraphs[0].sentences[0].lineRects[0].width = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(jsonLine(report));
    EXPECT_FALSE(HighlightTestReportJson::prettyJson(report));
}

TEST(HighlightTestReportJson, MalformedReportsDoNotDecode)
{
    const std::string good = *jsonLine(sampleReport());
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        const size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return text.replace(at, from.size(), to);
    };
    const std::vector<std::pair<std::string, std::string>> cases = {
        { "missing required key", replaced(R"("timestamp":"2026-12-07T07:16:43Z",)", "") },
        { "missing nested key", replaced(R"("x":10,)", "") },
        { "string for int", replaced(R"("paragraphCount":1)", R"("paragraphCount":"1")") },
        { "fraction for int", replaced(R"("paragraphCount":1)", R"("paragraphCount":1.5)") },
        { "null for required", replaced(R"("role":"AXStaticText")", R"("role":null)") },
        { "number for bool", replaced(R"("passed":true)", R"("passed":1)") },
        { "int above int64", replaced(R"("totalCharacters":5)", R"("totalCharacters":9223372036854775808)") },
        { "int below int64", replaced(R"("totalCharacters":5)", R"("totalCharacters":-9223372036854775809)") },
        // Counts are never negative: a sum of them would run backwards.
        { "negative count", replaced(R"("totalCharacters":5)", R"("totalCharacters":-9223372036854775808)") },
        { "negative nested count", replaced(R"("textCharCount":5)", R"("textCharCount":-1)") },
        { "int above uint64", replaced(R"("index":0)", R"("index":18446744073709551616)") },
        { "array for object", replaced(R"("diagnostics":{"frameHeight":18,"textCharCount":5})", R"("diagnostics":[])") },
        { "truncated", good.substr(0, good.size() / 2) },
        { "not an object", "[1,2]" },
        { "empty", "" },
    };
    for (const auto& [name, text] : cases)
        EXPECT_FALSE(decode(text)) << name;

    // The limits themselves still fit; a null optional reads as absent; unknown keys are ignored.
    EXPECT_EQ(decode(replaced(R"("totalCharacters":5)", R"("totalCharacters":9223372036854775807)"))->totalCharacters,
              INT64_MAX);
    EXPECT_FALSE(decode(replaced(R"("articleTitle":"A\/B",)", R"("articleTitle":"A\/B","url":null,)"))->url);
    EXPECT_EQ(*decode(replaced(R"("index":0,)", R"("index":0,"extra":{"deep":[1,2]},)")), sampleReport());
}

TEST(HighlightTestReportJson, AppendedLinesEachDecodeInOrder)
{
    test::ScratchDirectory scratch;
    const std::string path = (scratch / "results.jsonl").string();
    HighlightTestReport first = sampleReport();
    HighlightTestReport second = sampleReport();
    second.articleTitle = "second";
    ASSERT_TRUE(Files::append(path, *jsonLine(first)).hasValue());
    ASSERT_TRUE(Files::append(path, *jsonLine(second)).hasValue());
    const std::string contents = test::readFile(path);
    const size_t cut = contents.find('\n');
    ASSERT_EQ(contents.find('\n', cut + 1), contents.size() - 1);
    EXPECT_EQ(*decode(contents.substr(0, cut)), first);
    EXPECT_EQ(*decode(contents.substr(cut + 1)), second);
}

} // namespace
} // namespace lorvantine
