#pragma once

#include "CLI/SelectionProbeRecords.h"
#include "Platform/AXTypes.h"
#include "Platform/WorkspacePort.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lorvantine {

// The selection-capability matrix ("--probe-matrix <config.json>"): for every application of the
// configuration it launches the application on its fixture, finds the text element showing it and
// probes seven marked stretches of its text through the Accessibility API (set and read back the
// selection, character bounds and strings, sub-ranges, lines, CJK bounds), then saves a baseline
// and writes "probe-report.json" and "probe-report.md". Runs on the main thread from start to end
// with blocking sleeps on the installed clock; it never runs the run loop and cannot be cancelled.
// Console lines go to standard error.
namespace SelectionProbeRunner {

struct Scenario {
    std::string name;
    std::string startMarker;
    std::string endMarker;
    bool expectMultiline = false;
};
// In the order they are probed.
const std::vector<Scenario>& scenarios();

// Where a run writes its reports and resolves relative paths, and the time its files carry.
struct Environment {
    std::filesystem::path directory; // empty: the current directory
    std::function<std::chrono::system_clock::time_point()> wallClock; // empty: the system clock

    std::filesystem::path resolve(const std::string& path) const;
    std::string now() const; // ISO 8601, UTC, "Z"
};

// What "--probe-matrix" runs with: the current directory and the system clock unless a test has
// installed another (which answers the previous one).
const Environment& commandEnvironment();
Environment installCommandEnvironment(Environment environment);

// The whole run; answers the exit status: 1 for a configuration that cannot be read or decoded,
// a "FAIL" result, an application that contributed no results, or a report that could not be
// written; else 0.
int run(const std::string& configPath, const Environment& environment = {});

// The application's results: none when it could not be launched, else one per scenario.
std::vector<ProbeResult> probeApp(const AppConfig& app, const Environment& environment = {});
ProbeResult probeScenario(const Scenario& scenario, const AXElement& textEl, const std::string& axText, const AppConfig& app);

// --- Driving the application ---
// Opens the fixture as the application's `setup` says (none: by file); none when that fails.
std::optional<RunningApplication> launch(const AppConfig& app, const std::string& fixturePath, const Environment& environment);
std::optional<RunningApplication> waitForApp(const std::string& bundleID, double timeout);
std::optional<RunningApplication> launchWithFile(const std::string& bundleID, const std::string& fixturePath);
std::optional<RunningApplication> launchAndPaste(const std::string& bundleID, const std::string& fixturePath);
std::optional<RunningApplication> launchWithAppleScript(const std::string& bundleID, const std::string& fixturePath,
                                                        const std::string& scriptPath);
// Command + the key, down and up 0.05 s apart, at the session tap.
void postKeyCommand(uint16_t keyCode);
using FoundText = std::pair<AXElement, std::string>; // the element and its value
std::optional<FoundText> waitForFocusedTextWithContent(const std::string& bundleID, const std::string& containing, double timeout);
// Breadth first through "AXChildren", visiting at most `maxNodes` elements.
std::optional<FoundText> findTextElementContaining(const std::string& marker, const AXElement& root, int maxNodes);
void runCleanup(std::optional<CleanupMode> cleanup, const std::string& bundleID);
void runAppleScriptSource(const std::string& source);
// The script that closes the terminal tab showing the fixture; never the tab whose tty is
// `ownTTY`, the terminal this program runs in, which shows the marker in its own output.
std::string terminalCleanupScript(const std::optional<std::string>& ownTTY);
void printVerdict(const ProbeResult& result);

// --- Reports ---
// Each writer says on the console what it wrote, or why it could not, and answers false when a
// file could not be written.
// Writes "probe-report.json" with every result, then its path on the console.
bool writeJSONReport(const std::vector<ProbeResult>& results, const Environment& environment = {});
// Writes "probe-baseline.json" from the results named `appName`.
bool saveBaseline(const std::vector<ProbeResult>& results, const std::string& appName, const std::string& bundleID,
                  const Environment& environment = {});
// Writes "probe-report.md", comparing with "probe-baseline.json" when it can be read.
bool writeMarkdownReport(const std::vector<ProbeResult>& results, const Environment& environment = {});
// The report's text, generated at `generatedAt`; without a baseline no equivalence section.
std::string markdownReport(const std::vector<ProbeResult>& results, const std::optional<BaselineFingerprint>& baseline,
                           const std::string& generatedAt);
// The dimensions in which the application falls more than a point below the baseline; empty
// means equivalent.
std::vector<std::string> compareToBaseline(const std::vector<ProbeResult>& appResults, const BaselineFingerprint& baseline);

} // namespace SelectionProbeRunner
} // namespace lorvantine
