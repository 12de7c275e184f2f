#include "Support/Files.h"
#include "TestSupport/ScopedEnvironment.h"
#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <optional>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace lorvantine {
namespace {

namespace fs = std::filesystem;

class FilesTest : public ::testing::Test {
protected:
    test::ScratchDirectory scratch;
    const std::string m_directory = scratch.path().string();

    std::string path(const std::string& name) const { return m_directory + "/" + name; }

    // Collects the lines handed over, one too long as "(too long)".
    static std::function<void(std::optional<std::string_view>)> collectInto(std::vector<std::string>& lines)
    {
        return [&lines](std::optional<std::string_view> line) { lines.emplace_back(line ? *line : "(too long)"); };
    }

    std::vector<std::string> entries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_directory))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    static mode_t permissionsOf(const std::string& file)
    {
        struct stat info {};
        ::lstat(file.c_str(), &info);
        return info.st_mode & 07777;
    }
};

TEST_F(FilesTest, WritesAndReplacesAtomically)
{
    const std::string report = path("probe-report.json");
    ASSERT_TRUE(Files::writeAtomically(report, "first"));
    EXPECT_EQ(Files::readAll(report).value(), "first");
    EXPECT_EQ(permissionsOf(report), 0644u);

    ::chmod(report.c_str(), 0600);
    const std::string large(300000, 'x');
    ASSERT_TRUE(Files::writeAtomically(report, large));
    EXPECT_EQ(Files::readAll(report).value(), large);
    EXPECT_EQ(permissionsOf(report), 0600u); // the owner's choice survives the replacement
    EXPECT_EQ(entries(), std::vector<std::string>{"probe-report.json"});

    ASSERT_TRUE(Files::writeAtomically(report, ""));
    EXPECT_EQ(Files::readAll(report).value(), "");
}

TEST_F(FilesTest, FailedWriteKeepsTheOldFileAndLeavesNoTemporary)
{
    const std::string report = path("report.md");
    ASSERT_TRUE(Files::writeAtomically(report, "old"));

    // A file size limit makes the write itself fail, even for root.
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {1024, 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        auto result = Files::writeAtomically(report, std::string(100000, 'n'));
        ::_exit(!result && result.error().message.find(report) != std::string::npos ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(Files::readAll(report).value(), "old");
    EXPECT_EQ(entries(), std::vector<std::string>{"report.md"});

    // A directory in the way: the rename fails and the temporary goes.
    fs::create_directory(path("taken"));
    auto blocked = Files::writeAtomically(path("taken"), "data");
    ASSERT_FALSE(blocked);
    EXPECT_NE(blocked.error().message.find("taken"), std::string::npos);
    EXPECT_EQ(entries(), (std::vector<std::string>{"report.md", "taken"}));

    auto missing = Files::writeAtomically(path("no-such-dir/report.md"), "data");
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().message.find("no-such-dir/report.md"), std::string::npos);
    EXPECT_FALSE(Files::writeAtomically("", "data"));
    EXPECT_FALSE(Files::writeAtomically(m_directory + "/", "data"));
}

TEST_F(FilesTest, NoFollowRefusesSymbolicLinks)
{
    const std::string target = path("target");
    const std::string fixed = path("capture.png");
    ASSERT_TRUE(Files::writeAtomically(target, "precious"));
    ASSERT_EQ(::symlink(target.c_str(), fixed.c_str()), 0);

    auto written = Files::writeNoFollow(fixed, "planted");
    ASSERT_FALSE(written);
    EXPECT_NE(written.error().message.find("symbolic link"), std::string::npos);
    EXPECT_EQ(Files::readAll(target).value(), "precious");
    EXPECT_TRUE(fs::is_symlink(fixed));

    auto opened = Files::openNoFollow(fixed, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_FALSE(opened);
    EXPECT_NE(opened.error().message.find("symbolic link"), std::string::npos);
    EXPECT_EQ(Files::readAll(target).value(), "precious");

    // A dangling link must not create its target either.
    const std::string dangling = path("dangling");
    ASSERT_EQ(::symlink(path("created-through-link").c_str(), dangling.c_str()), 0);
    EXPECT_FALSE(Files::writeNoFollow(dangling, "x"));
    EXPECT_FALSE(Files::openNoFollow(dangling, O_WRONLY | O_CREAT, 0600));
    EXPECT_FALSE(fs::exists(path("created-through-link")));
}

TEST_F(FilesTest, NoFollowWritesOrdinaryPaths)
{
    const std::string fixed = path("selection-ocr.png");
    ASSERT_TRUE(Files::writeNoFollow(fixed, "one"));
    ASSERT_TRUE(Files::writeNoFollow(fixed, "two"));
    EXPECT_EQ(Files::readAll(fixed).value(), "two");

    auto opened = Files::openNoFollow(path("new"), O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_TRUE(opened);
    EXPECT_EQ(::write(*opened, "abc", 3), 3);
    ::close(*opened);
    EXPECT_EQ(Files::readAll(path("new")).value(), "abc");
    EXPECT_EQ(permissionsOf(path("new")), 0600u);
}

TEST_F(FilesTest, ReadsAndAppends)
{
    const std::string binary("a\0b\xFF", 4);
    const std::string file = path("results.jsonl");
    ASSERT_TRUE(Files::append(file, binary));
    ASSERT_TRUE(Files::append(file, "\n{}\n"));
    EXPECT_EQ(Files::readAll(file).value(), binary + "\n{}\n");

    auto missing = Files::readAll(path("missing"));
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().message.find("missing"), std::string::npos);
    EXPECT_FALSE(Files::readAll(m_directory)); // a directory is not a file
    EXPECT_FALSE(Files::append(path("no-such-dir/x"), "x"));
}

// Input files of the command line: never more than the limit, which the refusal names.
TEST_F(FilesTest, InputFilesAreReadWithinTheLimit)
{
    const std::string file = path("results.jsonl");
    test::writeFile(file, "0123456789");
    EXPECT_EQ(Files::readInputFile(file, 10).value(), "0123456789");
    auto over = Files::readInputFile(file, 9);
    ASSERT_FALSE(over);
    EXPECT_EQ(over.error().message, file + " is larger than 9 bytes, the most an input file may hold");

    // The log reader takes regular files only: it starts part way in.
    const std::string fifo = path("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& other : { fifo, std::string("/dev/zero") })
        EXPECT_FALSE(Files::readInputFileFrom(other, 0, 100)) << other;

    // From an offset: at most so much of what follows, nothing past the end.
    EXPECT_EQ(Files::readInputFileFrom(file, 4, 3).value(), "456");
    EXPECT_EQ(Files::readInputFileFrom(file, 50, 100).value(), "");
}

// A file that holds more than its size says (one under /proc says it holds nothing; another can
// grow after it was looked at) is read up to the limit and refused there, never cut and taken
// for whole.
TEST_F(FilesTest, AFileHoldingMoreThanItsSizeSaysIsRefusedPastTheLimit)
{
    const std::string status = "/proc/self/status";
    struct stat info {};
    ASSERT_EQ(::stat(status.c_str(), &info), 0);
    ASSERT_EQ(info.st_size, 0);
    auto whole = Files::readInputFile(status);
    ASSERT_TRUE(whole);
    EXPECT_NE(whole->find("Pid:"), std::string::npos);

    auto cut = Files::readInputFile(status, 16);
    ASSERT_FALSE(cut) << *cut;
    EXPECT_EQ(cut.error().message, status + " is larger than 16 bytes, the most an input file may hold");
    std::vector<std::string> lines;
    auto byLines = Files::readInputLines(status, collectInto(lines), 16);
    ASSERT_FALSE(byLines);
    EXPECT_EQ(byLines.error().message, status + " is larger than 16 bytes, the most an input file may hold");
}

// Standard input and pipes are how a command line hands a file over: they are read up to the
// limit like a file, and stop there with the same refusal.
TEST_F(FilesTest, PipesAreReadLikeFilesUpToTheLimit)
{
    auto pipeHolding = [](const std::string& bytes) {
        int ends[2];
        EXPECT_EQ(::pipe(ends), 0);
        EXPECT_EQ(::write(ends[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        ::close(ends[1]);
        return ends[0];
    };
    // A process substitution or a redirected standard input, whose writer has already gone.
    int reader = pipeHolding("{\"a\":1}\n{\"b\":2}\n");
    const std::string substituted = "/dev/fd/" + std::to_string(reader);
    EXPECT_EQ(Files::readInputFile(substituted).value(), "{\"a\":1}\n{\"b\":2}\n");
    ::close(reader);

    reader = pipeHolding("0123456789");
    const std::string over = "/dev/fd/" + std::to_string(reader);
    auto refused = Files::readInputFile(over, 9);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().message, over + " is larger than 9 bytes, the most an input file may hold");
    ::close(reader);

    // A named pipe is waited on until its writer comes.
    const std::string fifo = path("results.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] {
        int fd = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        const std::string text = "first\nsecond";
        EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        ::close(fd);
    });
    std::vector<std::string> lines;
    auto read = Files::readInputLines(fifo, collectInto(lines));
    // A refused pipe would leave the writer waiting for a reader: one comes, so the test ends.
    const int unblock = read ? -1 : ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    writer.join();
    if (unblock >= 0)
        ::close(unblock);
    ASSERT_TRUE(read) << read.error().message;
    EXPECT_EQ(lines, (std::vector<std::string> { "first", "second" }));
}

// What can be opened but is no file to read whole is refused at once, without reading it.
TEST_F(FilesTest, DirectoriesAndDevicesAreRefusedWithoutBeingRead)
{
    EXPECT_EQ(Files::readInputFile(m_directory).error().message, m_directory + " is a directory, not a file");
    for (const std::string& device : { std::string("/dev/zero"), std::string("/dev/null") }) {
        EXPECT_EQ(Files::readInputFile(device).error().message, device + " is a device, not a file");
        EXPECT_FALSE(Files::readInputLines(device, [](std::optional<std::string_view>) { ADD_FAILURE() << "a line of a device"; }));
    }
}

// Lines come whole whatever the pieces the input is read in, the empty ones too, and the last one
// without a line feed.
TEST_F(FilesTest, InputLinesComeWholeAcrossTheReadsThatBringThem)
{
    const std::string file = path("lines.jsonl");
    const std::string longLine(200000, 'x');
    test::writeFile(file, "a\n\n" + longLine + "\nb\r\n" + longLine + "y");
    std::vector<std::string> lines;
    ASSERT_TRUE(Files::readInputLines(file, collectInto(lines)));
    EXPECT_EQ(lines, (std::vector<std::string> { "a", "", longLine, "b\r", longLine + "y" }));

    lines.clear();
    test::writeFile(file, "");
    ASSERT_TRUE(Files::readInputLines(file, collectInto(lines)));
    EXPECT_TRUE(lines.empty());
}

// A line beyond the bound is named in its place and never held, whether it ends within the read
// that began it or runs on over several, and whether a line feed ends it or the input does; one
// of exactly the bound comes whole, and so do the lines after.
TEST_F(FilesTest, InputLinesBeyondTheBoundComeAsNoneInTheirPlace)
{
    const std::string file = path("lines.jsonl");
    // Well within one read of the input, which reads 64 KiB at a time.
    constexpr uint64_t bound = 20000;
    const std::string atBound(bound, 'x');
    test::writeFile(file, "a\n" + atBound + "y\n\n" + atBound + "\n" + std::string(10 * bound, 'z') + "\nb\n" + atBound + "+");
    std::vector<std::string> lines;
    ASSERT_TRUE(Files::readInputLines(file, collectInto(lines), Files::maxInputFileBytes, bound));
    EXPECT_EQ(lines, (std::vector<std::string> { "a", "(too long)", "", atBound, "(too long)", "b", "(too long)" }));
}

TEST_F(FilesTest, AppendedLinesStandOnTheirOwnAfterALineCutShort)
{
    const struct {
        const char* before; // none: no file
        const char* after;
    } cases[] = {
        { nullptr, "{}\n" },
        { "", "{}\n" },
        { "{\"a\":1}\n", "{\"a\":1}\n{}\n" },
        { "{\"a\":", "{\"a\":\n{}\n" },
        { "\n\n", "\n\n{}\n" },
    };
    for (const auto& c : cases) {
        const std::string file = path("lines.jsonl");
        fs::remove(file);
        if (c.before) {
            ASSERT_TRUE(Files::append(file, c.before));
        }
        ASSERT_TRUE(Files::appendLine(file, "{}"));
        EXPECT_EQ(Files::readAll(file).value(), c.after) << (c.before ? c.before : "(none)");
    }
    EXPECT_FALSE(Files::appendLine(path("no-such-dir/x"), "x"));
}

TEST_F(FilesTest, PrivateTemporaryFilesLiveInTmpdir)
{
    std::string first, second;
    {
        test::ScopedEnvironment tmpdir("TMPDIR", m_directory);
        first = Files::makePrivateTemporaryFile("speech-", ".mp3").valueOr("");
        second = Files::makePrivateTemporaryFile("speech-", ".mp3").valueOr("");
    }

    ASSERT_FALSE(first.empty() || second.empty());
    EXPECT_NE(first, second);
    for (const std::string& made : {first, second}) {
        EXPECT_EQ(fs::path(made).parent_path(), fs::path(m_directory));
        EXPECT_EQ(fs::path(made).filename().string().rfind("speech-", 0), 0u);
        EXPECT_EQ(fs::path(made).extension(), ".mp3");
        EXPECT_EQ(permissionsOf(made), 0600u);
        EXPECT_EQ(Files::readAll(made).value(), "");
    }
    EXPECT_FALSE(Files::makePrivateTemporaryFile("a/b", ""));
}

} // namespace
} // namespace lorvantine
