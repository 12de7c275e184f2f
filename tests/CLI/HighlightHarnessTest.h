#pragma once

#include "CLI/CLIRouter.h"
#include "CLI/HighlightTestHarness.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Log.h"
#include "TestSupport/DesktopTest.h"
#include "TestSupport/ManualClockTest.h"
#include "TestSupport/ScratchDirectory.h"

#include <optional>
#include <string>

namespace lorvantine {

inline const std::string harnessGoldenDirectory = std::string(LORVANTINE_SOURCE_DIR) + "/tests/fixtures/highlight-harness-golden/";

// The harness desktop (an editor in front, Safari installed with its catalogue of pages), a manual
// clock on which the harness's sleeps move time, its reports at a fixed wall time, and the console
// captured.
class HighlightHarnessTest : public ManualClockTest {
protected:
    void SetUp() override
    {
        ManualClockTest::SetUp();
        clock->setMainThreadSleepsAdvance(true);
        useDesktop(SimDesktop::create(fixtureNamed("highlight-harness-desktop.json")));
        m_previous = HighlightTestHarness::installCommandEnvironment(
            { [] { return std::chrono::system_clock::time_point(std::chrono::seconds(1'796'634'000)); }, {} });
    }

    void TearDown() override
    {
        HighlightTestHarness::installCommandEnvironment(m_previous);
        services.reset();
        ManualClockTest::TearDown();
    }

    void useDesktop(std::shared_ptr<SimDesktop> made)
    {
        services.reset();
        desktop = std::move(made);
        services.emplace(desktop->services());
    }

    void onWatchRound(std::function<void()> hook)
    {
        HighlightTestHarness::installCommandEnvironment(
            { [] { return std::chrono::system_clock::time_point(std::chrono::seconds(1'796'634'000)); }, std::move(hook) });
    }

    // Routes the arguments after the program path with standard output captured.
    int route(std::vector<std::string> args)
    {
        args.insert(args.begin(), "lorvantine");
        ::testing::internal::CaptureStdout();
        const int status = CLIRouter::route(args);
        standardOutput = ::testing::internal::GetCapturedStdout();
        return status;
    }

    std::vector<SimJournalEntry> processRuns(const std::string& program)
    {
        std::vector<SimJournalEntry> runs;
        for (const SimJournalEntry& entry : desktop->journal())
            if (entry.kind == SimJournalEntry::Kind::process && entry.name == program)
                runs.push_back(entry);
        return runs;
    }

    test::ScratchDirectory scratch;
    std::shared_ptr<SimDesktop> desktop;
    std::optional<Platform::ScopedServices> services;
    Log::Capture log;
    std::string standardOutput;

private:
    HighlightTestHarness::Environment m_previous;
};

} // namespace lorvantine
