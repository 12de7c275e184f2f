#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// The data of the selection-capability matrix: the configuration that names the applications to
// probe, one result per application and scenario, and the fingerprint a baseline keeps. Plain
// values; their JSON keys are the field names.
namespace SelectionProbeRunner {

// How the fixture's text gets into the application.
enum class SetupMode { file, pasteNewWindow, appleScript };
// What is done after an application's scenarios.
enum class CleanupMode { deleteNotesWithMarker, discardStickyWindow, discardMailDraft, closeTerminalMarkerTab };

struct AppConfig {
    std::string bundleID;
    std::string name;
    std::string fixture;
    std::optional<SetupMode> setup;     // none: file
    std::optional<std::string> script;  // the AppleScript of "apple-script"
    std::optional<CleanupMode> cleanup; // none: nothing
    std::optional<bool> isBaseline;
    std::optional<bool> keepAlive;      // only false terminates the application
    friend bool operator==(const AppConfig&, const AppConfig&) = default;
};

struct MatrixConfig {
    std::vector<AppConfig> apps;
    friend bool operator==(const MatrixConfig&, const MatrixConfig&) = default;
};

// One application's result for one scenario. Offsets and lengths are UTF-16 code units.
struct ProbeResult {
    std::string bundleID;
    std::string appName;
    std::string scenario;
    std::string expectedText;
    int64_t expectedU16Length = 0;
    std::optional<std::string> focusedRole;
    std::optional<int64_t> numberOfCharacters;
    bool supportsBoundsForRange = false;
    bool setRangeOK = false;
    bool readBackTextOK = false;
    std::optional<std::string> readBackText;
    bool textMatchesExpected = false;
    bool readBackRangeOK = false;
    std::optional<int64_t> readBackRangeLocation;
    std::optional<int64_t> readBackRangeLength;
    bool rangeMatchesSet = false;
    bool firstCharRectValid = false;
    bool fullRangeRectValid = false;
    int64_t lineCount = 0;
    double bfrCharCoverage = 0;
    std::vector<int64_t> bfrHoleOffsets;
    double stringForRangeCharCoverage = 0;
    std::vector<int64_t> stringForRangeMismatchOffsets;
    double randomRangeConsistency = 0;
    std::vector<std::string> randomRangeFailures;
    std::string lineDetectionMode = "n_a";
    std::optional<bool> cjkBFRValid;
    std::string verdict = "FAIL";
    std::vector<std::string> failReasons;
    friend bool operator==(const ProbeResult&, const ProbeResult&) = default;
};

struct ScenarioFingerprint {
    double bfrCharCoverage = 0;
    double stringForRangeCharCoverage = 0;
    double randomRangeConsistency = 0;
    std::string lineDetectionMode;
    std::optional<bool> cjkBFRValid;
    friend bool operator==(const ScenarioFingerprint&, const ScenarioFingerprint&) = default;
};

// The content of "probe-baseline.json".
struct BaselineFingerprint {
    std::string appName;
    std::string bundleID;
    std::string capturedAt; // ISO 8601, UTC, to the second, "Z"
    std::map<std::string, ScenarioFingerprint> scenarios;
    friend bool operator==(const BaselineFingerprint&, const BaselineFingerprint&) = default;
};

} // namespace SelectionProbeRunner
} // namespace lorvantine
