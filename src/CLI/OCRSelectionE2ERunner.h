#pragma once

#include "CLI/OCRSelectionE2ERecords.h"
#include "Documents/RecognizedWord.h"
#include "Platform/AXTypes.h"
#include "Platform/Geometry.h"
#include "Platform/WorkspacePort.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lorvantine {

// The copy-and-recognise selection road of a separately running Lorvantine, checked from outside
// ("--probe-ocr-e2e --app <bundleID> --fixture <path> [--segments 1,2,3] [--log <path>]
// [--ocr-debug]"): it opens the fixture in one of the editors that expose no selection, recognises
// the editor's whole window once, finds the numbered sentinel words START1 … END1, START2 … END2,
// and for each segment drags over the lines between them, clicks the program's bubble, times the
// program's overlay and reads from the program's log how many Characters it copied.
//
// It talks to the program only through synthetic input, the program's windows as the desktop
// lists them (told apart by size) and the program's standard-error log, which whoever starts the
// program redirects to the log file. Only windows that were not up before the drag (a bubble of
// 30 to 50 points) or before the click (an overlay) count: the program's 60 × 60 read button, or
// a panel left from an earlier segment, is neither. Main thread, start to end, with blocking waits on the
// installed clock that keep the main queue served; console lines go to standard error.
namespace OCRSelectionE2ERunner {

// The whole run; answers the exit status: 2 on a setup error (no trust, no program, a usage
// error, an editor outside the recognition road, a log that is no regular file or does not grow
// when the program answers a click, a fixture or window that cannot be had, no recognition, no
// sentinel pair), 1 when a segment failed, else 0.
int run(const std::vector<std::string>& args);

// --- Reading the recognised window ---

// "START3"/"END3", or a 2 to 4 Character short form "S3"/"E12"; the token is already upper-cased
// and without spaces.
std::optional<SentinelWord> parseSentinel(std::string_view token);
// Pairs the START and END words by number (the last START and the first END of a number win;
// "START" or "END" followed by a number word on the same line counts too) and drops a pair whose
// END begins more than 4 points above its START. In ascending order of n.
std::vector<Sentinel> findSentinels(const std::vector<RecognizedWord>& words);
// The numbers of "--segments": whole integers between commas, anything else dropped; none when
// the option is absent or the last argument (every segment runs).
std::optional<std::vector<int64_t>> segmentFilter(const std::vector<std::string>& args);

// --- The fixture and the editor ---

// Copies the fixture to "/tmp/lorvantine-fixture-<ms>.<extension or md>" and answers the copy;
// the absolute source path when there is nothing to copy or the copy fails.
std::string stageFixtureAsTemp(const std::string& source);
// Opens the fixture in the application through "/usr/bin/open -a <application path>"; false
// (with its line where there is one) when the fixture or the application path is missing or open
// fails.
bool launchWithFixture(const std::string& bundleID, const std::string& fixture);

// --- The program's log ---

// Bytes in the log file; 0 when it is missing or unreadable.
uint64_t currentLogSize(const std::string& path);
// The first copied-Characters count ("clipboard: N 字符") written at or after `offset`, else 0.
int64_t parseClipCharsFromLog(const std::string& path, uint64_t offset);

// --- One segment and the console ---

// Selects the segment's lines, clicks the bubble, waits for the overlay and reads the copied
// count from `logStartOffset` on; closes the reading again when it got as far as the click.
Result runSegment(const RunningApplication& app, const std::string& bundleID, const Sentinel& sentinel,
                  ProcessID lorvantinePid, const std::string& logPath, uint64_t logStartOffset, const Rect& windowRect);

void printResult(const Result& result);
// The summary table, rows by segment; answers 1 when a segment failed, else 0.
int printSummary(const std::vector<Result>& results);
// "(x,y)", each truncated toward zero.
std::string fmtPt(Point point);

} // namespace OCRSelectionE2ERunner
} // namespace lorvantine
