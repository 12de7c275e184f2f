#pragma once

#include "CLI/EndToEndProbeRecords.h"
#include "CLI/EndToEndProbeSupport.h"
#include "CLI/SelectionProbeRunner.h"

#include <filesystem>
#include <string>
#include <vector>

namespace lorvantine {

// The end-to-end probe ("--probe-e2e <matrix-config.json> [--log <path>]"): for every application
// of the matrix configuration it opens the fixture, finds the text between "<<P1>>" and "<</P1>>"
// through the Accessibility API, selects it with a synthetic drag, clicks the running program's
// selection bubble and waits for its highlight overlay and for its log to say that the first
// segment plays; then it closes the reading again and writes "probe-e2e-report.md". It never
// calls into the program: it sees the program's windows through accessibility and its standard
// error through the log file. Runs on the main thread with blocking sleeps (EndToEndProbeSupport);
// console lines go to standard error.
namespace EndToEndProbeRunner {

struct Environment {
    SelectionProbeRunner::Environment files; // where the report goes and relative paths resolve; the wall clock
    std::string logPath = EndToEndProbeSupport::defaultLogPath;
    std::filesystem::path copyDirectory = "/tmp"; // where the fixture copies go (and stay)
};

// What "--probe-e2e" runs with (the log path comes from the command's arguments); tests install
// another, which answers the previous one.
const Environment& commandEnvironment();
Environment installCommandEnvironment(Environment environment);

// The whole run; answers the exit status: 2 on a setup error (no accessibility trust, the
// program not running, a configuration that cannot be read or decoded, a log that is no regular
// file or does not grow when the program answers a click), 1 when an application failed a step
// or the report could not be written, else 0.
int run(const std::string& configPath, const Environment& environment = {});

// The seven steps for one application.
E2EResult runE2E(const SelectionProbeRunner::AppConfig& app, ProcessID lorvantinePid, const Environment& environment);

// "/tmp/lorvantine-e2e-<bundle id, dots as underscores>-<seconds since 1970>.txt" (in the
// environment's copy directory).
std::filesystem::path fixtureCopyPath(const std::string& bundleID, const Environment& environment);

// --- Closing a reading ---
// Presses the mini player's rightmost button (2 s of looking), else Escape and a click at (12, 40).
void stopPlaybackAndDismiss(ProcessID lorvantinePid);
bool waitForMiniPlayerGone(ProcessID lorvantinePid, double timeout);
// The program's accessibility windows and their sizes on the console.
void dumpLorvantineWindows(ProcessID lorvantinePid);

// --- The tested application's window ---
bool resizeAppMainWindow(const std::string& bundleID, double width, double height);
bool moveAppMainWindow(const std::string& bundleID, double x, double y);
// Within 50 points of some screen (screens converted to top-left global points).
bool isRectOnScreen(const Rect& rect);

// --- Reports ---
void printE2EResult(const E2EResult& result);
// The report's text, generated at `generatedAt`.
std::string markdownReport(const std::vector<E2EResult>& results, const std::string& generatedAt);
// Writes "probe-e2e-report.md" and prints its path, or why it could not be written, and the
// totals; answers whether it was written.
bool writeReport(const std::vector<E2EResult>& results, const Environment& environment);

} // namespace EndToEndProbeRunner
} // namespace lorvantine
