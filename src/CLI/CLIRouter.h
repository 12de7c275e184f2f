#pragma once

#include "Accessibility/ArticleParagraph.h"
#include "Platform/AXTypes.h"
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

// "--test-align-offline [--verbose]": runs the offline alignment cases of the copy-and-recognise
// selection road and reports them on standard error (with "--verbose" also the passing ones);
// 0 when every case passed, else 1.
int routeTestAlignOffline(const Arguments& args);
// "--probe-matrix <matrix-config.json>": the selection-capability matrix over the configuration's
// applications, with its reports in the current directory; 1 with the usage lines without a path
// (or one beginning with "--"), else the matrix's own status.
int routeProbeMatrix(const Arguments& args);
// "--test-highlight [--batch <urls.txt> | --watch] [--app <bundleID>] [--append <file>] [--round N]
// [--results-dir <dir>] [--fail-report]": the highlight geometry tests in batch, watch or single
// mode; 1 when single mode finds no document or the URL list cannot be read, else 0 (watch mode
// at Ctrl+C).
int routeTestHighlight(const Arguments& args);
// "--validate-urls <urls.txt>": opens each URL of the list in Safari and writes those that give
// an article of at least two paragraphs to standard output; 1 without a list or when it cannot
// be read, else 0.
int routeValidateUrls(const Arguments& args);

// --- Turning the pages of other applications ---

// The next page's paragraphs, or none at the end of the document (or when it cannot be read).
using PageCompletion = std::function<void(std::optional<std::vector<ArticleParagraph>>)>;

// Turns one page of a paged reader (Kindle and Books by a key press, other applications by their
// next-page menu item), waits until the page's text has changed and reads the new page. Main
// thread; it blocks there for the key press (about 0.3 s, 0.5 s with a minimised window). The
// completion runs once on the main queue, or before this returns when the application does not run.
void turnPage(const std::string& bundleID, PageCompletion completion);

// --- Scrolling documents that show one screen at a time (Word) ---

// Scrolls the application by Page Down, reads its window again and hands back the paragraphs that
// do not repeat the end of `lastParagraphTexts` (the texts just read), renumbered from 0 when some
// were dropped. Up to five presses while a screen brings nothing new; none after them is the end of
// the document. Main thread; the presses and reads run on a global queue, each press waiting 0.4 s
// on the installed clock. The completion runs once on the main queue, or before this returns when
// the application does not run. `stillWanted`, asked before every press on that queue, ends the
// scroll with none once the reading it serves has stopped.
void scrollPage(const std::string& bundleID, std::vector<std::string> lastParagraphTexts, PageCompletion completion,
                std::function<bool()> stillWanted = {});

// A Word window showing under 100 Characters (a title page, a picture): scrolls ahead up to five
// times, appending what each screen adds, until there are 100 Characters or three presses in a row
// brought nothing. Any other application, or enough text, returns `initialParas` unchanged. Blocks
// the calling thread (0.5 s per press on the installed clock); the document stays scrolled.
std::vector<ArticleParagraph> enrichSparseContent(const std::string& bundleID, std::vector<ArticleParagraph> initialParas);

// One Page Down, down and up 50 ms apart, posted to the process (the application stays behind).
void sendScrollDown(const std::string& bundleID, ProcessID pid);

// How many of `newParas`, from the first, repeat one of `lastTexts`: their overlap keys (the first
// 30 Characters, trimmed, without spaces) are equal, or both at least 6 Characters long and at most
// 3 edits apart. An empty key ends the count. A paragraph more than 10 Characters longer than the
// last of `lastTexts` does not repeat that one: it is the whole of a paragraph whose top was cut off
// at the bottom of the screen before.
int countOverlappingParagraphs(const std::vector<ArticleParagraph>& newParas, const std::vector<std::string>& lastTexts);
// Edits (insert, delete, replace one Character) that turn `a` into `b`.
int levenshteinDistance(const std::string& a, const std::string& b);

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
