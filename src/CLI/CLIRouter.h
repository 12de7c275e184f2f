#pragma once

#include "Accessibility/ArticleParagraph.h"
#include "Platform/Geometry.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// The command-line face: one command per process, chosen from a fixed, ordered table of flags.
// Everything runs on the main thread.
namespace CLIRouter {

using Arguments = std::vector<std::string>; // element 0 is the program path

// Checks the accessibility permission, runs the first command of the table whose flag is in
// `args`, and answers the process's exit status. A command that keeps the run loop going
// returns when its loop ends.
int route(const Arguments& args);

// The flags of the table, in the order they are tried.
const std::vector<std::string>& flagOrder();
// The usage block written when no known flag is given, line feeds included.
const std::string& usageText();

// A flag is present when an argument equals it exactly; its value is the argument right after
// its first occurrence.
bool hasFlag(const Arguments& args, const std::string& flag);
std::optional<std::string> value(const Arguments& args, const std::string& flag);
// "X,Y": exactly two numbers after dropping empty and non-numeric pieces.
std::optional<Point> parsePoint(const Arguments& args, const std::string& flag);

// A command of the table. Commands not built in this program are absent from the table and
// answer as an unknown flag does.
using Command = std::function<int(const Arguments&)>;
// Replaces the command behind `flag` (tests, and the parts that bring their commands).
// Returns the previous one.
Command setCommand(const std::string& flag, Command command);

// --- Commands of the table ---

// "--read-article [--app <bundleID>]": reads the document of an application (without "--app",
// the open article window) aloud with the mini player on its window, until the mini player's
// close button or Ctrl+C; 1 when nothing readable is found.
int routeReadArticle(const Arguments& args);

// "--test-selection <text>": reads the text aloud through the selection reader, into the front
// application's window, until playback finishes (0) or Ctrl+C (0); 1 with the usage line without
// a text, and 1 when the reader refuses it or the speech fails.
int routeTestSelection(const Arguments& args);

// "--test-summary <results.jsonl>": totals, failure distribution, failure categories, content
// averages and one line per report of a results file, on standard error. Lines that do not decode
// as a report are skipped. 1 without a path or when the file cannot be read as UTF-8, else 0.
int routeTestSummary(const Arguments& args);

// --- Turning the pages of other applications ---

// The next page's paragraphs, or none at the end of the document (or when it cannot be read).
using PageCompletion = std::function<void(std::optional<std::vector<ArticleParagraph>>)>;

// Turns one page of a paged reader (Kindle and Books by a key press, other applications by their
// next-page menu item), waits until the page's text has changed and reads the new page. Main
// thread; it blocks there for the key press (about 0.3 s, 0.5 s with a minimised window). The
// completion runs once on the main queue, or before this returns when the application does not run.
void turnPage(const std::string& bundleID, PageCompletion completion);

// --- The run loop of the commands that read aloud ---

// Runs the main run loop with the Ctrl+C handler installed until `finishRunLoop` is called or
// Ctrl+C is pressed, and answers the exit status. Ctrl+C writes "\n[退出]" to standard error,
// stops the shared reading session and finishes with 0. Main thread.
int runUntilFinished();
// Ends the loop of `runUntilFinished` with `status`; ignored when no loop runs or it is already
// ending. Main thread.
void finishRunLoop(int status);

} // namespace CLIRouter
} // namespace lorvantine
