#pragma once

#include "CLI/CLIRouter.h"
#include "CLI/EndToEndProbeRunner.h"
#include "CLI/FakeSelectionProgram.h"
#include "TestSupport/DesktopTest.h"
#include "TestSupport/ScratchDirectory.h"
#include "Support/Text.h"

#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

inline const std::string endToEndFixturePath = std::string(LORVANTINE_SOURCE_DIR) + "/tests/fixtures/probe-matrix-fixture.txt";

// One application entry of a matrix configuration.
inline std::string endToEndApp(const std::string& bundleID, const std::string& name, const std::string& fixture = endToEndFixturePath)
{
    return "{\"bundleID\": \"" + bundleID + "\", \"name\": \"" + name + "\", \"fixture\": \"" + fixture + "\"}";
}

// The end-to-end desktop (tests/fixtures/probe-e2e-desktop.json) with the fake program's panels in
// this process (the desktop lists the program as a process of its own), a manual clock on which the runner's sleeps move time, the report, the fixture
// copies and the program's log in a scratch directory, at a fixed wall time.
class EndToEndProbeTest : public DesktopTest {
protected:
    std::shared_ptr<SimDesktop> makeDesktop() override { return SimDesktop::create(fixtureNamed("probe-e2e-desktop.json")); }

    void SetUp() override
    {
        DesktopTest::SetUp();
        clock->setMainThreadSleepsAdvance(true);
        logPath = (scratch / "lorvantine.log").string();
        // The program was started with its standard error sent there.
        test::writeFile(logPath, "[SelectionWatcher] 开始监听全局鼠标/键盘事件\n");
        EndToEndProbeRunner::Environment environment;
        environment.files = { scratch.path(), [] { return std::chrono::system_clock::time_point(std::chrono::seconds(1'796'634'000)); } };
        environment.copyDirectory = scratch.path();
        m_previous = EndToEndProbeRunner::installCommandEnvironment(environment);
        program.emplace(logPath);
    }

    void TearDown() override
    {
        program.reset();
        EndToEndProbeRunner::installCommandEnvironment(m_previous);
        DesktopTest::TearDown();
    }

    // Runs "--probe-e2e" on a configuration of these application entries, with the log.
    int probe(const std::vector<std::string>& apps)
    {
        std::string list;
        for (const std::string& app : apps)
            list += (list.empty() ? "" : ", ") + app;
        test::writeFile(scratch / "matrix.json", "{\"apps\": [" + list + "]}");
        return CLIRouter::route({ "lorvantine", "--probe-e2e", (scratch / "matrix.json").string(), "--log", logPath });
    }

    std::string report() { return test::readFile(scratch / "probe-e2e-report.md"); }
    // The report's row of the application.
    std::string row(const std::string& app)
    {
        for (const std::string& line : Text::components(report(), "\n"))
            if (line.starts_with("| " + app + " |"))
                return line;
        return {};
    }

    test::ScratchDirectory scratch;
    std::string logPath;
    std::optional<FakeSelectionProgram> program;

private:
    EndToEndProbeRunner::Environment m_previous;
};

} // namespace lorvantine
