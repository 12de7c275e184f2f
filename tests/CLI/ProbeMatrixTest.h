#pragma once

#include "CLI/CLIRouter.h"
#include "CLI/SelectionProbeRunner.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Log.h"
#include "TestSupport/DesktopTest.h"
#include "TestSupport/ManualClockTest.h"
#include "TestSupport/ScratchDirectory.h"

#include <optional>
#include <string>

namespace lorvantine {

inline const std::string probeFixturePath = std::string(LORVANTINE_SOURCE_DIR) + "/tests/fixtures/probe-matrix-fixture.txt";
inline const std::string probeGoldenDirectory = std::string(LORVANTINE_SOURCE_DIR) + "/tests/fixtures/probe-matrix-golden/";

// One application entry of a matrix configuration, on the shared fixture file unless told.
inline std::string probeApp(const std::string& bundleID, const std::string& name, const std::string& extra = "",
                            const std::string& fixture = probeFixturePath)
{
    return "{\"bundleID\": \"" + bundleID + "\", \"name\": \"" + name + "\", \"fixture\": \"" + fixture + "\"" + extra + "}";
}

// The matrix desktop (tests/fixtures/probe-matrix-desktop.json), a manual clock on which the
// runner's sleeps move time, the command's reports in a scratch directory at a fixed wall time,
// and the console captured.
class ProbeMatrixTest : public ManualClockTest {
protected:
    void SetUp() override
    {
        ManualClockTest::SetUp();
        clock->setMainThreadSleepsAdvance(true);
        desktop = SimDesktop::create(fixtureNamed("probe-matrix-desktop.json"));
        services.emplace(desktop->services());
        m_previous = SelectionProbeRunner::installCommandEnvironment(
            { scratch.path(), [] { return std::chrono::system_clock::time_point(std::chrono::seconds(1'796'634'000)); } });
    }

    void TearDown() override
    {
        SelectionProbeRunner::installCommandEnvironment(m_previous);
        services.reset();
        ManualClockTest::TearDown();
    }

    // Runs "--probe-matrix" on a configuration of these application entries.
    int probe(const std::vector<std::string>& apps)
    {
        std::string list;
        for (const std::string& app : apps)
            list += (list.empty() ? "" : ", ") + app;
        test::writeFile(scratch / "matrix.json", "{\"apps\": [" + list + "]}");
        return CLIRouter::route({ "lorvantine", "--probe-matrix", (scratch / "matrix.json").string() });
    }

    std::string report(const std::string& name) { return test::readFile(scratch / name); }

    // The ranges the program set as the selection, in order.
    std::vector<AXRange> selectionsSet()
    {
        std::vector<AXRange> ranges;
        for (const SimJournalEntry& entry : desktop->journal())
            if (entry.kind == SimJournalEntry::Kind::setAttribute && entry.name == "AXSelectedTextRange")
                if (const AXRange* range = axGet<AXRange>(entry.value))
                    ranges.push_back(*range);
        return ranges;
    }

    test::ScratchDirectory scratch;
    std::shared_ptr<SimDesktop> desktop;
    std::optional<Platform::ScopedServices> services;
    Log::Capture log;

private:
    SelectionProbeRunner::Environment m_previous;
};

} // namespace lorvantine
