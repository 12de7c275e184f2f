#include "EndToEnd/BuiltProgram.h"
#include "EndToEnd/ChildProcess.h"

#include "TestSupport/ScratchDirectory.h"
#include "TestSupport/SpeechServerProcess.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

namespace lorvantine::test {
namespace {

using namespace std::chrono_literals;


struct SelectionRun {
    std::optional<int> status;
    std::string err;
};

// `lorvantine <arguments>` on the demo desktop, silent, speaking through `server`.
SelectionRun runSelectionCommand(SpeechServerProcess& server, std::vector<std::string> arguments)
{
    ScratchDirectory directory;
    const auto settings = directory / "settings.json";
    writeFile(settings, nlohmann::json { { "Lorvantine.ttsServerURL", server.baseURL() } }.dump());
    ChildProcess child({ .program = lorvantineProgram,
                         .arguments = std::move(arguments),
                         .environment = { { "LORVANTINE_DESKTOP", std::nullopt },
                                          { "LORVANTINE_AUDIO_OUT", "null" },
                                          { "LORVANTINE_DEFAULTS", settings.string() } },
                         .directory = directory.path() });
    SelectionRun run;
    run.status = child.wait(20s);
    run.err = child.standardError();
    return run;
}

bool has(const std::string& text, const std::string& needle) { return text.find(needle) != std::string::npos; }

TEST(TestSelectionCommand, SpeaksTheTextAndEndsWhenPlaybackHasFinished)
{
    SpeechServerProcess server;
    ASSERT_TRUE(server.isRunning());
    const std::string text = "  Read this selection aloud, please.  ";
    SelectionRun run = runSelectionCommand(server, { "--test-selection", text });
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(has(run.err, "[TestSelection] 测试文本: \"" + text + "\"\n")) << run.err;
    EXPECT_TRUE(has(run.err, "[SelectionReader] ▶ 34 字符, highlight=off, bundle=com.apple.Safari")) << run.err;
    EXPECT_TRUE(has(run.err, "[TestSelection] ✅ 播放完成\n")) << run.err;
    const auto requests = server.speechRequests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.front().input, "Read this selection aloud, please.");
}

TEST(TestSelectionCommand, FailsWhenTheSpeechFails)
{
    SpeechServerProcess server({ .arguments = { "--fault", "404" } });
    ASSERT_TRUE(server.isRunning());
    SelectionRun run = runSelectionCommand(server, { "--test-selection", "Nothing will be spoken." });
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_TRUE(has(run.err, "[TestSelection] ❌ ")) << run.err;
    EXPECT_FALSE(has(run.err, "✅ 播放完成")) << run.err;
}

TEST(TestSelectionCommand, UsageAndRefusalsEndAtOnce)
{
    SpeechServerProcess server;
    ASSERT_TRUE(server.isRunning());
    struct Case {
        std::vector<std::string> arguments;
        std::vector<std::string> lines;
    };
    const std::string sixty(60, 'x');
    const std::vector<Case> cases {
        { { "--test-selection" }, { "用法: --test-selection \"要朗读的文本\"\n" } },
        { { "--test-selection", "--app" }, { "用法: --test-selection \"要朗读的文本\"\n" } },
        { { "--test-selection", "   " }, { "[TestSelection] 测试文本: \"   \"\n", "[SelectionReader] ⚠️ 空选区，忽略\n", "❌" } },
        { { "--test-selection", sixty + "y " }, { "[TestSelection] 测试文本: \"" + sixty + "…\"\n" } },
    };
    for (const Case& c : cases) {
        SelectionRun run = runSelectionCommand(server, c.arguments);
        if (c.arguments.size() == 2 && c.arguments[1] == sixty + "y ") {
            EXPECT_EQ(run.status, 0) << run.err;
        } else {
            EXPECT_EQ(run.status, 1) << run.err;
        }
        for (const std::string& line : c.lines)
            EXPECT_TRUE(has(run.err, line)) << line << "\n" << run.err;
    }
    SelectionRun exact = runSelectionCommand(server, { "--test-selection", sixty });
    EXPECT_TRUE(has(exact.err, "[TestSelection] 测试文本: \"" + sixty + "\"\n")) << exact.err;
}

} // namespace
} // namespace lorvantine::test
