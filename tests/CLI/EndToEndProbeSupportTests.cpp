#include "CLI/EndToEndProbeSupport.h"

#include "Support/Files.h"
#include "Support/Log.h"
#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace lorvantine {
namespace {

using namespace EndToEndProbeSupport;

TEST(EndToEndProbeSupportLog, TheLogIsReadFromTheOffsetAndTheFirstPlayedSegmentIsTheAudioPlayersOkLine)
{
    test::ScratchDirectory scratch;
    const std::string path = (scratch / "app.log").string();
    EXPECT_EQ(logSize(path), 0u);
    EXPECT_TRUE(logLinesSince(path, 0).empty());

    test::writeFile(path, "[Audio] play para=0 off=0 bytes=1 dur=0.10s ok=true\n");
    const uint64_t offset = logSize(path);
    ASSERT_TRUE(Files::append(path, "[Audio] play para=1 off=0 bytes=1 dur=0.10s ok=false\n"
                                    "[Audio] play para= off=0 ok=true\n"
                                    "[Selection] play para=1 off=0 ok=true\n"
                                    "[Audio] play para=1 off=0 bytes=1 dur=0.10s ok=true\n"));
    const auto lines = logLinesSince(path, offset);
    EXPECT_EQ(lines.front(), "[Audio] play para=1 off=0 bytes=1 dur=0.10s ok=false");
    EXPECT_EQ(firstPlayedSegmentLine(lines), "[Audio] play para=1 off=0 bytes=1 dur=0.10s ok=true");
    EXPECT_EQ(firstPlayedSegmentLine({ "[Audio] play para=2 off=0 ok=trueish" }), std::nullopt);

    // A file started afresh since the offset is new from its start.
    test::writeFile(path, "[Audio] play para=4 off=0 ok=true\n");
    EXPECT_EQ(firstPlayedSegmentLine(logLinesSince(path, offset)), "[Audio] play para=4 off=0 ok=true");
}

TEST(EndToEndProbeSupportLog, ALineCutInsideACharacterCostsThatLineAlone)
{
    test::ScratchDirectory scratch;
    const std::string path = (scratch / "app.log").string();
    // A program killed while writing "选区" leaves half of its last character.
    test::writeFile(path, "[SelectionReader] ▶ \xE9\x80\x89\xE5\x8C\n"
                          "\xff\xfe[Audio] play para=4 off=0 ok=true\n"
                          "[Audio] play para=5 off=0 bytes=1 dur=0.10s ok=true\n");
    const auto lines = logLinesSince(path, 0);
    EXPECT_EQ(lines, (std::vector<std::string> { "[Audio] play para=5 off=0 bytes=1 dur=0.10s ok=true", "" }));
    EXPECT_EQ(firstPlayedSegmentLine(lines), "[Audio] play para=5 off=0 bytes=1 dur=0.10s ok=true");
}

TEST(EndToEndProbeSupportLog, APipeIsNoLogAndIsNeverWaitedOn)
{
    test::ScratchDirectory scratch;
    const std::string fifo = (scratch / "fifo.log").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    Log::Capture log;
    EXPECT_TRUE(logLinesSince(fifo, 0).empty()); // reading a pipe without a writer waits for ever
    EXPECT_FALSE(checkLogFile(fifo));
    EXPECT_EQ(log.lines().front(), "❌ 日志 " + fifo + " 不是普通文件");
}

TEST(EndToEndProbeSupportLog, TheLogPathIsTheFirstLogValueElseTheDefault)
{
    EXPECT_EQ(logPath({ "x", "--probe-e2e", "m.json" }), "/tmp/lorvantine-selection-ocr.log");
    EXPECT_EQ(logPath({ "x", "--log", "a.log", "--log", "b.log" }), "a.log");
    EXPECT_EQ(logPath({ "x", "--log", "--probe-e2e" }), "--probe-e2e");
    EXPECT_EQ(logPath({ "x", "m.json", "--log" }), "/tmp/lorvantine-selection-ocr.log");
}

TEST(EndToEndProbeSupportClasses, PanelsAreToldApartBySize)
{
    EXPECT_TRUE(isBubbleSized({ 40, 40 }));
    EXPECT_TRUE(isBubbleSized({ 30, 50 }));
    EXPECT_FALSE(isBubbleSized({ 60, 60 })); // the read button
    EXPECT_FALSE(isBubbleSized({ 40, 29.5 }));
    EXPECT_TRUE(isMiniPlayerSized({ 420, 60 }));
    EXPECT_FALSE(isMiniPlayerSized({ 288, 72 }));
    EXPECT_TRUE(isOverlaySized({ 1152, 720 }, { 1440, 900 }));
    EXPECT_FALSE(isOverlaySized({ 1440, 719 }, { 1440, 900 }));
}

} // namespace
} // namespace lorvantine
