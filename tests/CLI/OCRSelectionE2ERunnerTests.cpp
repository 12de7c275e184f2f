#include "CLI/OCRSelectionE2ERunner.h"

#include "Support/Files.h"
#include "TestSupport/ScratchDirectory.h"

#include <gmock/gmock.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace lorvantine {
namespace {

using ::testing::IsEmpty;
using OCRSelectionE2ERunner::SentinelWord;

RecognizedWord wordAt(std::string text, double x, double y, double width = 60, double height = 16)
{
    return { std::move(text), Rect(x, y, width, height) };
}

TEST(OCRSentinelWords, LongAndShortForms)
{
    const std::vector<std::pair<std::string, std::optional<SentinelWord>>> cases {
        { "START3", SentinelWord { SentinelWord::Kind::start, 3 } },
        { "END3", SentinelWord { SentinelWord::Kind::end, 3 } },
        { "START+4", SentinelWord { SentinelWord::Kind::start, 4 } }, // a sign is part of an integer
        { "E7", SentinelWord { SentinelWord::Kind::end, 7 } },
        { "S12", SentinelWord { SentinelWord::Kind::start, 12 } },
        { "S123", SentinelWord { SentinelWord::Kind::start, 123 } },
        { "S1234", std::nullopt }, // five Characters are no short form
        { "S1X", std::nullopt },
        { "START", std::nullopt },
        { "END", std::nullopt },
        { "S", std::nullopt },
        { "X12", std::nullopt },
        { "5TART1", std::nullopt },
        { "ENDING", std::nullopt },
    };
    for (const auto& [token, expected] : cases)
        EXPECT_EQ(OCRSelectionE2ERunner::parseSentinel(token), expected) << token;
}

TEST(OCRSentinelPairs, PairByNumberWithTheRulesOfRepeatsAndSplits)
{
    // START3 in one word, END3 split in two on one line: the END is the union of both words.
    auto split = OCRSelectionE2ERunner::findSentinels({ wordAt("START3", 100, 100), wordAt("text", 100, 130), wordAt("END", 100, 160, 40),
                                 wordAt("3", 150, 162, 10) });
    ASSERT_EQ(split.size(), 1u);
    EXPECT_EQ(split[0].n, 3);
    EXPECT_EQ(split[0].startRect, Rect(100, 100, 60, 16));
    EXPECT_EQ(split[0].endRect, Rect(100, 160, 60, 18));

    // Lower case and spaces inside a word are read as the sentinel.
    EXPECT_EQ(OCRSelectionE2ERunner::findSentinels({ wordAt("st art1", 10, 10), wordAt("e1", 10, 40) }).size(), 1u);

    // The later START of a number wins, the earlier END does.
    auto repeated = OCRSelectionE2ERunner::findSentinels({ wordAt("START2", 10, 10), wordAt("START2", 10, 50), wordAt("END2", 10, 90), wordAt("END2", 10, 130) });
    ASSERT_EQ(repeated.size(), 1u);
    EXPECT_EQ(repeated[0].startRect.minY(), 50);
    EXPECT_EQ(repeated[0].endRect.minY(), 90);

    // A one-word START beats a split one wherever it stands; a split one fills a gap only.
    auto oneWordFirst = OCRSelectionE2ERunner::findSentinels({ wordAt("START", 10, 10, 40), wordAt("5", 55, 10, 10), wordAt("START5", 10, 40), wordAt("E5", 10, 80) });
    ASSERT_EQ(oneWordFirst.size(), 1u);
    EXPECT_EQ(oneWordFirst[0].startRect, Rect(10, 40, 60, 16));

    // An END more than 4 points above its START drops the number; 4 points is still taken.
    EXPECT_THAT(OCRSelectionE2ERunner::findSentinels({ wordAt("START1", 10, 100), wordAt("END1", 200, 95) }), IsEmpty());
    EXPECT_EQ(OCRSelectionE2ERunner::findSentinels({ wordAt("START1", 10, 100), wordAt("END1", 200, 96) }).size(), 1u);

    // Unpaired numbers give nothing; pairs come out by number.
    auto several = OCRSelectionE2ERunner::findSentinels({ wordAt("START9", 10, 10), wordAt("END9", 10, 30), wordAt("START2", 10, 50), wordAt("END2", 10, 70),
                                   wordAt("START4", 10, 90) });
    ASSERT_EQ(several.size(), 2u);
    EXPECT_EQ(several[0].n, 2);
    EXPECT_EQ(several[1].n, 9);
}

TEST(OCRSentinelPairs, ASplitSentinelMustStayOnItsLineAndClose)
{
    struct Case {
        double numberX, numberY;
        bool pairs;
    };
    // The END word spans x 100…140, y 160…176 (centre 168); the number word is 10 wide, 16 high.
    const std::vector<Case> cases {
        { 150, 160, true },   // gap 10
        { 136, 160, true },   // overlapping by 4
        { 135, 160, false },  // overlapping by 5
        { 179, 160, true },   // gap 39
        { 180, 160, false },  // gap 40
        { 150, 171, true },   // centres 11 apart
        { 150, 172, false },  // centres 12 apart
    };
    for (const Case& c : cases) {
        auto found = OCRSelectionE2ERunner::findSentinels({ wordAt("START1", 100, 100), wordAt("END", 100, 160, 40), wordAt("1", c.numberX, c.numberY, 10) });
        EXPECT_EQ(found.size(), c.pairs ? 1u : 0u) << c.numberX << "," << c.numberY;
    }
    // A bare START with nothing after it, or a word after it that is no integer, is no sentinel.
    EXPECT_THAT(OCRSelectionE2ERunner::findSentinels({ wordAt("E1", 10, 40), wordAt("START", 10, 10, 40) }), IsEmpty());
    EXPECT_THAT(OCRSelectionE2ERunner::findSentinels({ wordAt("START", 10, 10, 40), wordAt("1X", 55, 10, 10), wordAt("E1", 10, 40) }), IsEmpty());
}

TEST(OCRRunnerOptions, SegmentsKeepWholeIntegersOnly)
{
    auto filter = [](std::vector<std::string> tail) {
        std::vector<std::string> args { "lorvantine", "--probe-ocr-e2e" };
        args.insert(args.end(), tail.begin(), tail.end());
        return OCRSelectionE2ERunner::segmentFilter(args);
    };
    EXPECT_EQ(filter({ "--segments", "2,x,4" }), (std::vector<int64_t> { 2, 4 }));
    EXPECT_EQ(filter({ "--segments", "x" }), std::vector<int64_t> {}); // a filter that lets nothing through
    EXPECT_EQ(filter({ "--segments", "2, 4" }), (std::vector<int64_t> { 2 }));
    EXPECT_EQ(filter({ "--segments", ",,3," }), (std::vector<int64_t> { 3 }));
    EXPECT_EQ(filter({ "--segments" }), std::nullopt); // the last argument: every segment
    EXPECT_EQ(filter({}), std::nullopt);
    EXPECT_EQ(filter({ "--segments", "1", "--segments", "2" }), (std::vector<int64_t> { 1 }));
}

TEST(OCRRunnerLog, CountsOnlyWhatFollowsTheOffset)
{
    test::ScratchDirectory scratch;
    const std::string path = (scratch / "app.log").string();
    EXPECT_EQ(OCRSelectionE2ERunner::currentLogSize(path), 0u);
    EXPECT_EQ(OCRSelectionE2ERunner::parseClipCharsFromLog(path, 0), 0);

    const std::string first = "[SelectionOCR] 📋 clipboard: 42 字符\n";
    ASSERT_TRUE(Files::append(path, "[Bubble] shown\n" + first));
    const uint64_t afterFirst = OCRSelectionE2ERunner::currentLogSize(path);
    EXPECT_EQ(afterFirst, 15u + first.size());
    EXPECT_EQ(OCRSelectionE2ERunner::parseClipCharsFromLog(path, 0), 42);
    // The next segment starts at the end: the earlier line is not counted again.
    EXPECT_EQ(OCRSelectionE2ERunner::parseClipCharsFromLog(path, afterFirst), 0);

    ASSERT_TRUE(Files::append(path, "[SelectionOCR] clipboard: empty\n[SelectionOCR] 📋 clipboard:7字符 then clipboard: 9 字符\n"
                                    "[SelectionOCR] 📋 clipboard: 8 字符\n"));
    EXPECT_EQ(OCRSelectionE2ERunner::parseClipCharsFromLog(path, afterFirst), 7);
}

TEST(OCRRunnerLog, AClipboardLineFarLongerThanAnyRealOneIsReadWithoutRecursion)
{
    test::ScratchDirectory scratch;
    const std::string path = (scratch / "app.log").string();
    // 200,000 blanks: a matcher that recurses per character runs out of stack on them.
    test::writeFile(path, "[SelectionOCR] 📋 clipboard:" + std::string(200000, ' ') + "\n[SelectionOCR] 📋 clipboard:"
                              + std::string(200000, ' ') + "17 \t字符\n");
    EXPECT_EQ(OCRSelectionE2ERunner::parseClipCharsFromLog(path, 0), 17);
    test::writeFile(path, "clipboard: 5 chars clipboard:\t9字符 clipboard: 3 字符\n");
    EXPECT_EQ(OCRSelectionE2ERunner::parseClipCharsFromLog(path, 0), 9);
}

// A run that starts in the same millisecond as another (a second runner, a parallel test) must
// not take away the other's copy: the next free name is used and the other copies stay as they are.
TEST(OCRRunnerFixture, ACopyNeverReplacesAnotherRunsCopy)
{
    test::ScratchDirectory scratch;
    const std::string source = (scratch / "segments.md").string();
    test::writeFile(source, "START1 ours END1\n");
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch());
    std::vector<std::string> others;
    for (int64_t ms = now.count(); ms < now.count() + 400; ++ms) {
        const std::string path = "/tmp/lorvantine-fixture-" + std::to_string(ms) + ".md";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0)
            continue;
        ::close(fd);
        others.push_back(path);
        ASSERT_TRUE(Files::writeNoFollow(path, "another run's fixture"));
    }
    const std::string copy = OCRSelectionE2ERunner::stageFixtureAsTemp(source);
    EXPECT_NE(copy, source);
    EXPECT_EQ(std::find(others.begin(), others.end(), copy), others.end());
    EXPECT_EQ(Files::readAll(copy).valueOr(""), "START1 ours END1\n");
    for (const std::string& other : others) {
        EXPECT_EQ(Files::readAll(other).valueOr(""), "another run's fixture") << other;
        std::filesystem::remove(other);
    }
    std::filesystem::remove(copy);
}

} // namespace
} // namespace lorvantine
