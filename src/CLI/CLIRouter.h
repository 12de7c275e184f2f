#pragma once

#include "Accessibility/ArticleParagraph.h"
#include "Documents/ScreenTrail.h"
#include "Platform/AXTypes.h"
#include "Platform/Geometry.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

class ArticleReader;

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
// "X,Y": exactly two numbers after dropping empty and non-numeric pieces, both finite.
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
// averages and one line per report of a results file (or pipe), on standard error, read a line at
// a time. Lines that do not decode as a report are skipped; lines that are not UTF-8, reports with
// a negative count, reports whose passed and failed checks do not make up their total and reports
// that would carry a sum past 64 bits are skipped and named. 1 without a path or when the input
// cannot be read (a directory or a device, or more than an input file may hold), else 0.
int routeTestSummary(const Arguments& args);

// --- One-shot diagnostics of text geometry, selections, page turns, recognition and sources ---
// Each writes its account to standard error (the detected source to standard output) and answers
// the exit status; a check that fails (a page that did not turn) still answers 0.

// "--probe-bounds [--app <bundleID>] [--test]": the text and layout attributes of up to five text
// elements of the application's first window (default Books); "AXBoundsForRange" is asked only
// with "--test", once, followed by the system's and Books' versions. 1 without the application,
// a window or a text element of 20 Characters.
int routeProbeBounds(const Arguments& args);

// "--probe-selection [--seconds N]": every 0.5 s (sleeping the main thread) for N seconds (30 by
// default), the front application and its focused element's selection, range and bounds, written
// when they change and every 2 s while they do not. 0.
int routeProbeSelection(const Arguments& args);

// "--test-bounds": the character bounds of the first three paragraphs of the WeChat article and
// of their first three children. 1 without an article window.
int routeTestBounds(const Arguments& args);

// "--diag-highlight": for up to five article paragraphs holding inline elements (links, inline
// code) beside static text, bounds asked on the paragraph, on each child and at the children's
// edges. 1 without an article window.
int routeDiagHighlight(const Arguments& args);

// "--test-page-turn [--app <bundleID>]": turns one page of Kindle (default) or Books by one
// AppleScript and tells whether the text changed a second later; 0 either way, 1 without the
// application or a readable window.
int routeTestPageTurn(const Arguments& args);

// "--probe-ocr-window --app <bundleID>": recognises the words of the application's whole window.
// 1 on a usage error, without the application or a readable window, or when recognition fails.
int routeProbeOCRWindow(const Arguments& args);

// "--test-selection-ocr --app <bundleID> --start X,Y --end X,Y --clip-text <text> [--overlay
// <png>] [--languages a,b]": rebuilds a copied selection from the recognised words around the two
// points, as the copy-and-recognise road does; 0 when a paragraph was built, else 1.
int routeTestSelectionOCR(const Arguments& args);

// "--detect-source --app <bundleID>": which document source takes the application, and what it
// reads (on standard output). 1 on a usage error, without the application or a session.
int routeDetectSource(const Arguments& args);
// "--inspect [--app <bundleID>] [--depth N]": the accessibility inspector (AppInspector), its
// tree alone on standard output; 1 when the application is not found, else 0.
int routeInspect(const Arguments& args);

// "--article-dump": the diagnostic report of the article windows on standard output; 0.
int routeArticleDump(const Arguments& args);

// --- Dispatchers of the runners of the probe and test flags ---
// The code that brings a runner puts its flag in the table through these, so the arguments and
// usage lines stay the router's own.

// Runs a configuration file and answers the exit status.
using ConfigRunner = std::function<int(const std::string& configPath)>;

// "--probe-matrix <matrix-config.json>": runs the file. Without a value, or with one that begins
// with "--", the two usage lines and 1.
int routeProbeMatrix(const Arguments& args, const ConfigRunner& run);

// "--probe-e2e <matrix-config.json> [--log <path>]": the same rule; the usage adds a line saying
// that the program must already run in another terminal, its standard error sent to the log.
int routeProbeE2E(const Arguments& args, const ConfigRunner& run);

// Runs the offline alignment cases, with the builder's own lines when `verbose`, and answers how
// many failed.
using AlignCasesRunner = std::function<size_t(bool verbose)>;

// "--test-align-offline [--verbose]": verbose when "--verbose" is anywhere in the list; 1 when a
// case failed, else 0.
int routeTestAlignOffline(const Arguments& args, const AlignCasesRunner& runAll);
// "--test-highlight [--batch <urls.txt> | --watch] [--app <bundleID>] [--append <file>] [--round N]
// [--results-dir <dir>] [--fail-report]": the highlight geometry tests in batch, watch or single
// mode; 1 when single mode finds no document, the URL list cannot be read, "--fail-report" comes
// with a "--round" that is no integer, or a results line or report could not be written (the
// lines then go to standard output), else 0 (watch mode at Ctrl+C).
int routeTestHighlight(const Arguments& args);
// "--validate-urls <urls.txt>": opens each URL of the list in Safari and writes those that give
// an article of at least two paragraphs to standard output; lines of the list that are not UTF-8
// are skipped and named. 1 without a list or when it cannot be read, else 0.
int routeValidateUrls(const Arguments& args);

// --- Turning the pages of other applications ---

// The next page's paragraphs, or none at the end of the document (or when it cannot be read).
using PageCompletion = std::function<void(std::optional<std::vector<ArticleParagraph>>)>;

// Turns one page of a paged reader (Kindle and Books by a key press, other applications by their
// next-page menu item), waits until the page has changed (its text; where it shows none, as a
// scanned page does, its picture) and reads the new page; up to three pages with nothing to read
// (pictures) are turned past. Main thread; it blocks there for the key press (about 0.3 s, 0.5 s
// with a minimised window), which a page without text gets later, once a worker has captured the
// page. The completion runs once on the main queue, or before this returns when the application
// does not run. `stillWanted`, asked before every press that does not follow at once, ends the
// turn with none once the reading it serves has stopped.
void turnPage(const std::string& bundleID, PageCompletion completion, std::function<bool()> stillWanted = {});

// How a reading of `bundleID`'s document goes on once its page has played: Kindle and Books turn
// the page (`turnPage`), Word scrolls a screen on (`scrollPage`, from the texts `session` holds,
// for as long as it still reads, going on from `trail`: where the first screen, as
// `enrichSparseContent` left it, was read to); any other application has no next page (an empty
// function).
std::function<void(PageCompletion)> pageAdvance(const std::string& bundleID, std::weak_ptr<ArticleReader> session,
                                                ScreenTrail trail = {});

// --- Scrolling documents that show one screen at a time (Word) ---

// Scrolls the application by Page Down, reads its window again and hands back what the new screen
// adds to what was read, renumbered from 0. Where the document's place can be read (its scroll
// area's contents or scroll bar), what is new is decided by where the content moved: lines below
// the last line read; a paragraph that the foot of a screen may have cut off is held back until a
// screen shows how it goes on (or the document ends), then read whole, and lines that open a
// screen in the middle of a paragraph read before are not read again. `trail` (when given) says
// how far the reading has come and is brought up to date before the completion runs; without it
// the screen showing now counts as read. Where no place can be read, the paragraphs that repeat
// the end of `lastParagraphTexts` (the texts just read) are dropped instead.
// Up to five presses while a screen brings nothing new; none after them is the end of the
// document. Main thread; the presses and reads run on a global queue, each press waiting 0.4 s on
// the installed clock. The completion runs once on the main queue, or before this returns when the
// application does not run. `stillWanted`, asked before every press on that queue, ends the scroll
// with none once the reading it serves has stopped.
void scrollPage(const std::string& bundleID, std::vector<std::string> lastParagraphTexts, PageCompletion completion,
                std::function<bool()> stillWanted = {}, std::shared_ptr<ScreenTrail> trail = {});

// The first screen of a Word document, ready to be read: a paragraph its foot may have cut off is
// held back (into `trail`, when given, for `scrollPage` to go on from), and a window showing under
// 100 Characters (a title page, a picture) is scrolled ahead up to five times, appending what each
// screen adds, until there are 100 Characters or three presses in a row brought nothing. The
// paragraphs are placed where the screen the document ends on shows them; one no longer on it has
// no place (no mark). Any other application returns `initialParas` unchanged. Blocks the calling
// thread (0.5 s per press on the installed clock); the document stays scrolled.
std::vector<ArticleParagraph> enrichSparseContent(const std::string& bundleID, std::vector<ArticleParagraph> initialParas,
                                                  ScreenTrail* trail = nullptr);

// One Page Down, down and up 50 ms apart, posted to the process (the application stays behind).
void sendScrollDown(const std::string& bundleID, ProcessID pid);

// Where a screen's place cannot be read: `newParas` less what repeats the end of `lastTexts`.
// Compared without white space (recognition splits and joins words differently each time), the
// longest run at the start of the new paragraphs that the last texts end with is dropped: whole
// paragraphs read before, and the part read before of a paragraph read in part (the rest of it
// stays, from the word after). Runs under 12 Characters count only when they are all that was
// read or all that is new; whole paragraphs of 30 Characters or more also match with one
// Character in ten read differently.
std::vector<ArticleParagraph> withoutRepeatedLead(std::vector<ArticleParagraph> newParas, const std::vector<std::string>& lastTexts);
// How many of `newParas`, from the first, `withoutRepeatedLead` drops whole.
int countOverlappingParagraphs(const std::vector<ArticleParagraph>& newParas, const std::vector<std::string>& lastTexts);
// Both at once: what `withoutRepeatedLead` keeps and how many paragraphs it drops whole.
struct RepeatedLead {
    std::vector<ArticleParagraph> rest;
    int wholeDropped = 0;
};
RepeatedLead dropRepeatedLead(std::vector<ArticleParagraph> newParas, const std::vector<std::string>& lastTexts);
// Edits (insert, delete, replace one Character) that turn `a` into `b`.
int levenshteinDistance(const std::string& a, const std::string& b);

// --- The run loop of the commands that read aloud ---

// Runs the main run loop with the Ctrl+C handler installed until `finishRunLoop` is called or
// Ctrl+C is pressed, and answers the exit status. Ctrl+C writes "\n[退出]" to standard error,
// stops the shared reading session and finishes with 0; so do SIGTERM and SIGHUP. Main thread.
int runUntilFinished();
// Takes Ctrl+C (SIGTERM, SIGHUP) from now on for the loop `runUntilFinished` runs next, and lets
// `finishRunLoop` end it before it begins: a command calls it before it starts what Ctrl+C ends,
// so that a press that comes meanwhile is not lost. Every call is followed by `runUntilFinished`.
// Main thread.
void prepareRunLoop();
// Ends the loop of `runUntilFinished` with `status`; ignored when no loop runs or is prepared, or
// when it is already ending. Main thread.
void finishRunLoop(int status);

} // namespace CLIRouter
} // namespace lorvantine
