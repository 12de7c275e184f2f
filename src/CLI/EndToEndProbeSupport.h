#pragma once

#include "CLI/CLIRouter.h"
#include "Platform/AXTypes.h"
#include "Platform/Geometry.h"
#include "Platform/WorkspacePort.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// What the end-to-end runners share: they drive a separately running copy of the program from
// outside, as a user would, and see it only through the desktop's ports — its process's
// accessibility windows (recognised by size), synthetic events posted at the session tap, and
// its standard-error log in a file. Everything runs on the calling (main) thread; every wait
// sleeps on the installed clock and runs the main queue's pending work in between.
namespace EndToEndProbeSupport {

inline constexpr const char* programBundleID = "com.lorvantine.desktop";
// Where whoever starts the program redirects its standard error, unless "--log" says otherwise.
inline constexpr const char* defaultLogPath = "/tmp/lorvantine-selection-ocr.log";

// --- The program and its windows ---

// The first running application with the program's bundle identifier; else the first, in the
// workspace's order, whose localized name or executable name contains "Lorvantine". This process
// is never taken for it.
std::optional<RunningApplication> findLorvantine();

// One accessibility window of the program as read now. A window is the same window across reads
// when its element and its frame are both unchanged: a panel the program moved or re-showed
// elsewhere counts as new.
struct ProgramWindow {
    AXElement element;
    std::optional<Point> position;
    std::optional<Size> size;
    friend bool operator==(const ProgramWindow&, const ProgramWindow&) = default;
};
using WindowSnapshot = std::vector<ProgramWindow>;

// The windows of the process's application element, in "AXWindows" order; none when the list
// cannot be read (or is not a list).
std::optional<WindowSnapshot> programWindows(ProcessID pid);
bool wasThere(const WindowSnapshot& before, const ProgramWindow& window);

// Size classes of the program's panels, bounds inclusive. The bubble is the selection bubble's
// own 40 × 40 panel give or take 10 points — not the 60 × 60 read button the program shows on a
// readable front window. The overlay covers at least 0.8 of the main screen both ways.
bool isBubbleSized(const Size& size);     // 30–50 × 30–50
bool isMiniPlayerSized(const Size& size); // 380–460 × 40–80
bool isOverlaySized(const Size& size, const Size& mainScreen);
// The main screen's size; none without screens.
std::optional<Size> mainScreenSize();

// The first window of the bubble's size that is not in `before`; none when there is none.
std::optional<AXElement> findNewBubble(ProcessID pid, const WindowSnapshot& before);
// Polls `findNewBubble` every `interval` seconds until `timeout` has passed.
std::optional<AXElement> waitForNewBubble(ProcessID pid, const WindowSnapshot& before, double timeout, double interval);
// True once an overlay-sized window that is not in `before` is listed; false at once without a
// main screen; 0.15 s between looks.
bool waitForOverlay(ProcessID pid, const WindowSnapshot& before, double timeout);
// True once no overlay-sized window outside `before` is left, or the list cannot be read, or
// there is no main screen; false when the time runs out first. 0.15 s between looks.
bool waitForOverlayGone(ProcessID pid, double timeout, const WindowSnapshot& before = {});
// The first mini-player-sized window.
std::optional<AXElement> findMiniPlayer(ProcessID pid);

// "AXPosition" plus half of "AXSize"; none when either cannot be read.
std::optional<Point> windowCenterOnScreen(const AXElement& window);
// Breadth first through "AXChildren" (at most 200 elements, the start included): the "AXButton"
// with a readable position and the greatest x; on equal x the first met.
std::optional<AXElement> rightmostButton(const AXElement& element);

// --- Synthetic input, posted at the session tap from the combined session state ---

// Key code 53 down, 0.03 s, up.
void pressEscape();
// Left button down at `p`, `hold` seconds, up at `p`; `flags` on both (EventFlags masks).
void pressAt(Point p, double hold, uint64_t flags = 0);
// Pointer moved to `p`, 0.05 s, then `pressAt(p, 0.05)`.
void clickAt(Point p);
// Left button down at the first point, 0.08 s, ten dragged events per segment 0.025 s apart,
// up at the last point. Fewer than two points do nothing.
void simulateDragThrough(const std::vector<Point>& points);

// Sleeps on the installed clock, then runs the main queue's pending work (main thread only).
void sleep(double seconds);

// --- The program's log ---

// The value of "--log" (by its first occurrence, whatever it is), else the default; "--log" as
// the last argument counts as absent.
std::string logPath(const CLIRouter::Arguments& args);
// The file's size in bytes; 0 when it is missing or cannot be read.
uint64_t logSize(const std::string& path);
// The lines written after `offset` bytes (the split at "\n"), those that are not UTF-8 left out;
// empty when the file cannot be read or is not a regular file.
std::vector<std::string> logLinesSince(const std::string& path, uint64_t offset);
// Whether anything was written to the log since it was `offset` bytes long (a file started afresh
// and written again counts).
bool logGrew(const std::string& path, uint64_t offset);

// The program never opens its log: whoever starts it sends its standard error there. How to
// start it so, for the hints of the runners' setup errors.
std::string startCommand(const std::string& logPath);
// A regular file at `path`, or a setup error's lines that say where the log must come from.
bool checkLogFile(const std::string& path);
// The setup error of a log that stayed as it was while the program answered a click.
void reportSilentLog(const std::string& path);
// The audio player's line for the first segment that started playing:
// "[Audio] play para=<n> off=… ok=true".
std::optional<std::string> firstPlayedSegmentLine(const std::vector<std::string>& lines);

} // namespace EndToEndProbeSupport
} // namespace lorvantine
