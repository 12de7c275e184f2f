#include "EndToEnd/SharedDesktopRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

namespace lorvantine::test {
namespace {

using namespace std::chrono_literals;

const std::filesystem::path sharedFixtures = std::filesystem::path(LORVANTINE_SOURCE_DIR) / "tests" / "fixtures";

// What changes from run to run: the moment, process ids, times taken, the copies' names, the
// scratch directory.
std::string maskedRunText(std::string text, const std::filesystem::path& runnerDirectory)
{
    for (size_t at; (at = text.find(runnerDirectory.string())) != std::string::npos;)
        text.replace(at, runnerDirectory.string().size(), "<runner>");
    text = std::regex_replace(text, std::regex("Generated: [^\n]*"), "Generated: 2026-12-07T09:00:00Z");
    text = std::regex_replace(text, std::regex("pid=[0-9]+"), "pid=<pid>");
    text = std::regex_replace(text, std::regex("(first_playing=| in | \\| )[0-9]+ms"), "$1<ms>");
    return std::regex_replace(text, std::regex("lorvantine-fixture-[0-9]+\\."), "lorvantine-fixture-<ms>.");
}

std::string sharedGolden(const std::string& name) { return readFile(sharedFixtures / "e2e-golden" / name); }

// The runners leave their fixture copies in /tmp for a person to look at; a test takes its own
// away: the probe's are named by the application and the second they were made, the recognition
// run's is named on its console.
void removeProbeCopies(const std::vector<std::string>& bundleIDs, std::chrono::system_clock::time_point from)
{
    using std::chrono::duration_cast;
    const auto first = duration_cast<std::chrono::seconds>(from.time_since_epoch()).count();
    const auto last = duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    for (std::string bundleID : bundleIDs) {
        std::replace(bundleID.begin(), bundleID.end(), '.', '_');
        for (auto second = first; second <= last; ++second)
            std::filesystem::remove("/tmp/lorvantine-e2e-" + bundleID + "-" + std::to_string(second) + ".txt");
    }
}

void removeRecognitionCopy(const std::string& err)
{
    std::smatch copied;
    if (std::regex_search(err, copied, std::regex("📄 fixture 复制到 (/tmp/lorvantine-fixture-[0-9]+\\.md)\n")))
        std::filesystem::remove(copied[1].str());
}

// The editor whose selection reaches accessibility is read from its bubble to its overlay; the
// one whose selection never does is never offered a bubble. About 19 s, nearly all of it the
// runner's own pauses: the 3 s it gives a bubble, and twice 2 s looking for a mini player that a
// read selection does not show.
TEST(SharedDesktopRunners, TheProbeRunPassesTheSelectingEditorAndStopsTheOtherAtItsBubble)
{
    SharedDesktopRun run(sharedFixtures / "e2e-desktop.json");
    ASSERT_TRUE(run.ready()) << run.failure();
    run.stage("tests/fixtures/e2e-probe-fixture.txt");

    const auto started = std::chrono::system_clock::now();
    const auto outcome = run.runProgram(
        { "--probe-e2e", (sharedFixtures / "e2e-probe-matrix.json").string(), "--log", run.programLog().string() }, 60s);
    removeProbeCopies({ "com.example.PlainEdit", "com.example.LagEdit" }, started);
    EXPECT_EQ(outcome.status, 1) << outcome.err;
    const std::string log = readFile(run.programLog());
    EXPECT_EQ(maskedRunText(readFile(run.runnerDirectory() / "probe-e2e-report.md"), run.runnerDirectory()),
              sharedGolden("probe-e2e-report.md"))
        << log;
    EXPECT_EQ(maskedRunText(outcome.err, run.runnerDirectory()), sharedGolden("probe-e2e-console.txt"));

    // What was read is the stretch between the markers, and only that.
    const auto requests = run.speech().speechRequests();
    ASSERT_EQ(requests.size(), 1u) << log;
    EXPECT_EQ(requests.front().input, "Read this line aloud.");
}

// Each numbered stretch of the drawn editor is selected by a drag from below its START word to
// above its END word, copied by the program and read. About 12 s.
TEST(SharedDesktopRunners, TheRecognitionRunReadsEverySegmentOfTheDrawnEditor)
{
    SharedDesktopRun run(sharedFixtures / "e2e-desktop.json");
    ASSERT_TRUE(run.ready()) << run.failure();

    const auto outcome = run.runProgram({ "--probe-ocr-e2e", "--app", "com.microsoft.VSCode", "--fixture",
                                          (sharedFixtures / "e2e-ocr-fixture.md").string(), "--log", run.programLog().string() },
                                        60s);
    removeRecognitionCopy(outcome.err);
    const std::string log = readFile(run.programLog());
    EXPECT_EQ(outcome.status, 0) << outcome.err << log;
    EXPECT_EQ(maskedRunText(outcome.err, run.runnerDirectory()), sharedGolden("probe-ocr-e2e-console.txt"));
    EXPECT_TRUE(log.find("[SelectionOCR] 📋 clipboard: 36 字符") != std::string::npos) << log;
    EXPECT_TRUE(log.find("[SelectionOCR] 📋 clipboard: 33 字符") != std::string::npos) << log;
    // Each segment is read as recognised in the selected lines.
    std::vector<std::string> read;
    for (const auto& request : run.speech().speechRequests())
        read.push_back(request.input.value_or(""));
    EXPECT_EQ(read, (std::vector<std::string> { "The editor draws these words itself.", "Copying them is the only way out." }));
}

} // namespace
} // namespace lorvantine::test
