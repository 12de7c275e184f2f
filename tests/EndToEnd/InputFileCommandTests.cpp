#include "EndToEnd/BuiltProgram.h"
#include "EndToEnd/ChildProcess.h"

#include "Core/HighlightTestReportJson.h"
#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

namespace lorvantine::test {
namespace {

using namespace std::chrono_literals;

std::string reportLine(const std::string& title, int64_t totalChecks, int64_t passed, int64_t failed)
{
    HighlightTestReport report;
    report.articleTitle = title;
    report.timestamp = "2026-12-07T07:20:00Z";
    report.summary = { totalChecks, passed, failed, {}, std::nullopt };
    return HighlightTestReportJson::jsonLine(report).valueOr("");
}

struct CommandRun {
    std::optional<int> status;
    std::string err;
};

// The program run by a shell, as a person types it: `$0` is the program, `$1` the file.
CommandRun throughShell(const ScratchDirectory& directory, const std::string& command, const std::string& file)
{
    ChildProcess child({ .program = "/bin/bash",
                         .arguments = { "-c", command, lorvantineProgram.string(), file },
                         .directory = directory.path() });
    CommandRun run;
    run.status = child.wait(60s);
    run.err = child.standardError();
    return run;
}

// The peak memory of one run of the program, in bytes.
std::optional<long> peakMemoryOf(const std::vector<std::string>& arguments, const std::filesystem::path& directory)
{
    std::vector<std::string> words { lorvantineProgram.string() };
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, (directory / "peak-stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (directory / "peak-stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        return std::nullopt;
    int status = 0;
    rusage usage {};
    if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return usage.ru_maxrss * 1024L;
}

// A results file handed over as standard input or through a process substitution is summarised
// as its path would be; what is no file is refused with the reason.
TEST(InputFileCommands, TheSummaryReadsStandardInputAndPipesAndRefusesDirectoriesAndDevices)
{
    ScratchDirectory directory;
    const std::string results = (directory / "results.jsonl").string();
    writeFile(results, reportLine("first", 3, 2, 1) + reportLine("second", 1, 1, 0));
    for (const char* command : { "\"$0\" --test-summary /dev/stdin < \"$1\"", "\"$0\" --test-summary <(cat \"$1\")",
                                 "cat \"$1\" | \"$0\" --test-summary /dev/stdin" }) {
        CommandRun run = throughShell(directory, command, results);
        EXPECT_EQ(run.status, 0) << command << "\n" << run.err;
        EXPECT_NE(run.err.find("=== 测试汇总 (2 篇文章) ===\n"), std::string::npos) << command << "\n" << run.err;
        EXPECT_NE(run.err.find("  ❌ first — 2/3\n  ✅ second — 1/1\n"), std::string::npos) << command << "\n" << run.err;
    }

    const std::string folder = directory.path().string();
    for (const auto& [path, reason] : { std::pair<std::string, std::string> { folder, folder + " is a directory, not a file" },
                                        std::pair<std::string, std::string> { "/dev/zero", "/dev/zero is a device, not a file" } }) {
        CommandRun run = throughShell(directory, "\"$0\" --test-summary \"$1\"", path);
        EXPECT_EQ(run.status, 1) << path;
        EXPECT_NE(run.err.find("❌ 无法读取文件: " + path + "\n   " + reason + "\n"), std::string::npos) << run.err;
    }
}

// The lines left out for their counts are named as the lines that are not UTF-8 are.
TEST(InputFileCommands, TheSummaryNamesTheLinesItLeavesOutForTheirCounts)
{
    ScratchDirectory directory;
    std::string negative = reportLine("negative", 1, 1, 0);
    negative.replace(negative.find("\"totalCharacters\":0"), 19, "\"totalCharacters\":-5");
    const std::string results = (directory / "results.jsonl").string();
    writeFile(results, reportLine("kept", 2, 2, 0) + reportLine("wrapped", 6, INT64_MAX, 4) + negative + "\xFF\n");
    CommandRun run = throughShell(directory, "\"$0\" --test-summary \"$1\"", results);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.err.find("⚠️ 1 行不是 UTF-8，已跳过: 第 4 行\n⚠️ 1 行含负数计数，已跳过: 第 3 行\n"
                           "⚠️ 1 行的计数相加超出 64 位整数，已跳过: 第 2 行\n=== 测试汇总 (1 篇文章) ===\n"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("通过率: 100.0%\n"), std::string::npos) << run.err;
}

// The summary holds the reports, not the lines: a file of sixteen million empty lines costs it
// less memory than the file's own size.
TEST(InputFileCommands, TheSummaryOfAFileOfEmptyLinesNeedsLessMemoryThanTheFile)
{
    ScratchDirectory directory;
    const auto tiny = directory / "tiny.jsonl";
    writeFile(tiny, "\n");
    const auto large = directory / "line-feeds.jsonl";
    constexpr long fileBytes = 16L << 20;
    writeFile(large, std::string(fileBytes, '\n'));
    const auto floor = peakMemoryOf({ "--test-summary", tiny.string() }, directory.path());
    const auto peak = peakMemoryOf({ "--test-summary", large.string() }, directory.path());
    ASSERT_TRUE(floor && peak);
    EXPECT_LT(*peak - *floor, fileBytes) << "peak " << *peak << " bytes against " << *floor << " for one line";
}

// A results line beyond the bound (a report of 64 MiB, where a real one is a few hundred KB) is
// skipped as it is read and named; the reports around it are summarised, and the line costs the
// summary less memory than its own size, where holding and parsing it whole cost several times it.
TEST(InputFileCommands, TheSummarySkipsALineBeyondTheBoundWithoutHoldingIt)
{
    ScratchDirectory directory;
    const auto tiny = directory / "tiny.jsonl";
    writeFile(tiny, "\n");
    constexpr long lineBytes = 64L << 20;
    std::string huge = reportLine("a very long title", 1, 1, 0);
    huge.insert(huge.find("a very long title"), std::string(static_cast<size_t>(lineBytes) - huge.size(), 'x'));
    const auto results = directory / "results.jsonl";
    writeFile(results, reportLine("before", 1, 1, 0) + huge + reportLine("after", 2, 1, 1));
    huge.clear();
    const auto floor = peakMemoryOf({ "--test-summary", tiny.string() }, directory.path());
    const auto peak = peakMemoryOf({ "--test-summary", results.string() }, directory.path());
    ASSERT_TRUE(floor && peak);
    EXPECT_LT(*peak - *floor, lineBytes) << "peak " << *peak << " bytes against " << *floor << " for one line";
    const std::string err = readFile(directory / "peak-stderr");
    EXPECT_NE(err.find("⚠️ 1 行长于 16 MiB，已跳过: 第 2 行\n=== 测试汇总 (2 篇文章) ===\n"), std::string::npos) << err.substr(0, 2000);
    EXPECT_NE(err.find("  ✅ before — 1/1\n  ❌ after — 1/2\n"), std::string::npos) << err.substr(0, 2000);
}

// URL validation loses the line of the list that is not UTF-8, and says which, but goes on.
TEST(InputFileCommands, UrlValidationSkipsAndNamesALineThatIsNotUtf8)
{
    ScratchDirectory directory;
    const std::string list = (directory / "urls.txt").string();
    writeFile(list, "# candidates\nhttps://example.com/caf\xE9\n");
    CommandRun run = throughShell(directory, "\"$0\" --validate-urls \"$1\"", list);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("⚠️ 1 行不是 UTF-8，已跳过: 第 2 行\n🔍 验证 0 个 URL...\n"), std::string::npos) << run.err;
}

} // namespace
} // namespace lorvantine::test
