#include "EndToEnd/SharedDesktopRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

namespace lorvantine::test {
namespace {

using namespace std::chrono_literals;

const std::filesystem::path sharedFixtures = std::filesystem::path(LORVANTINE_SOURCE_DIR) / "tests" / "fixtures";

// What changes from run to run: the moment, process ids, times taken, the copies' names.
std::string maskedRunText(std::string text)
{
    text = std::regex_replace(text, std::regex("Generated: [^\n]*"), "Generated: 2026-12-07T09:00:00Z");
    text = std::regex_replace(text, std::regex("pid=[0-9]+"), "pid=<pid>");
    text = std::regex_replace(text, std::regex("first_playing=[0-9]+ms"), "first_playing=<ms>");
    text = std::regex_replace(text, std::regex(" \\| [0-9]+ms\n"), " | <ms>\n");
    return std::regex_replace(text, std::regex("lorvantine-fixture-[0-9]+\\."), "lorvantine-fixture-<ms>.");
}

// The runners leave their fixture copies in /tmp for a person to look at; a test takes its own
// away: the probe's are named by the application and the second they were made, the recognition
// run's is named on its console.
void removeProbeCopies(const std::vector<std::string>& bundleIDs, std::chrono::system_clock::time_point from)
{
    using namespace std::chrono;
    const auto first = duration_cast<seconds>(from.time_since_epoch()).count();
    const auto last = duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
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

bool runTextHolds(const std::string& text, const std::string& needle) { return text.find(needle) != std::string::npos; }

// The editor whose selection reaches accessibility is read from its bubble to its overlay; the
// one that only draws its selection never offers a bubble. About 15 s, most of it the runner's
// own pauses and the 3 s it gives a bubble to appear.
TEST(SharedDesktopRunners, TheProbeRunPassesTheSelectingEditorAndStopsTheOtherAtItsBubble)
{
    SharedDesktopRun run(sharedFixtures / "e2e-desktop.json");
    ASSERT_TRUE(run.ready()) << run.failure();
    run.stage("tests/fixtures/e2e-probe-fixture.txt");

    const auto started = std::chrono::system_clock::now();
    const auto outcome = run.runProgram({ "--probe-e2e", (sharedFixtures / "e2e-probe-matrix.json").string(), "--log", run.programLog().string() }, 60s);
    removeProbeCopies({ "com.example.PlainEdit", "com.example.LagEdit" }, started);
    EXPECT_EQ(outcome.status, 1) << outcome.err;
    const auto report = run.runnerDirectory() / "probe-e2e-report.md";
    EXPECT_EQ(maskedRunText(readFile(report)), readFile(sharedFixtures / "e2e-golden" / "probe-e2e-report.md")) << readFile(run.programLog());

    const std::string err = maskedRunText(outcome.err);
    EXPECT_TRUE(runTextHolds(err, "✅ Lorvantine pid=<pid> name=")) << err;
    EXPECT_TRUE(runTextHolds(err, "🔬 End-to-End Probe — 2 个 App（每 App 只跑 single_line 场景）\n")) << err;
    EXPECT_TRUE(runTextHolds(err, "\n  E2E PlainEdit: ✅ PASS\n")) << err;
    EXPECT_TRUE(runTextHolds(err, "    ✗ bubble_shown — 3s 内未扫到 ≈40×40 panel\n")) << err;
    EXPECT_TRUE(runTextHolds(err, "\n📄 E2E Report: " + report.string() + "\n")) << err;
    EXPECT_TRUE(runTextHolds(err, "📊 Total 2: ✅ 1 PASS  ❌ 1 FAIL\n")) << err;

    // What was read is the stretch between the markers, and only that.
    const auto requests = run.speech().speechRequests();
    ASSERT_EQ(requests.size(), 1u) << readFile(run.programLog());
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
    EXPECT_EQ(outcome.status, 0) << outcome.err << readFile(run.programLog());
    const std::string err = maskedRunText(outcome.err);
    EXPECT_TRUE(runTextHolds(err, "✅ Lorvantine pid=<pid>\n")) << err;
    EXPECT_TRUE(runTextHolds(err, "📄 fixture 复制到 /tmp/lorvantine-fixture-<ms>.md\n")) << err;
    EXPECT_TRUE(runTextHolds(err, "🔍 找到 2 组 sentinel: [1, 2]\n")) << err;
    EXPECT_TRUE(runTextHolds(err, "  🔦 frontmost=com.microsoft.VSCode expected=com.microsoft.VSCode\n")) << err;
    EXPECT_TRUE(runTextHolds(err, "  ✅ S1 clip=36字 first_playing=<ms>\n")) << err;
    EXPECT_TRUE(runTextHolds(err, "  ✅ S2 clip=33字 first_playing=<ms>\n")) << err;
    EXPECT_TRUE(runTextHolds(err, "2/2 PASS\n\nseg | chars | first_playing\n S1 | 36 | <ms>\n S2 | 33 | <ms>\n")) << err;

    const std::string log = readFile(run.programLog());
    EXPECT_TRUE(runTextHolds(log, "[SelectionOCR] 📋 clipboard: 36 字符")) << log;
    EXPECT_TRUE(runTextHolds(log, "[SelectionOCR] 📋 clipboard: 33 字符")) << log;
}

} // namespace
} // namespace lorvantine::test
