#include "SimDesktop/SimDesktopTestSupport.h"

#include "Platform/Dispatch/Clock.h"
#include "Platform/PasteboardPort.h"
#include "Platform/ProcessPort.h"
#include "SimDesktop/Model/SimFixtureLoader.h"
#include "SimDesktop/Ports/SimAppleScript.h"
#include "TestSupport/ManualClockTest.h"
#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lorvantine {
namespace {

const std::string fixtureText = std::string(LORVANTINE_SOURCE_DIR) + "/tests/fixtures/probe-matrix-fixture.txt";

// The matrix desktop with its ports, on a manual clock that the waits of "open" and scripts move.
class SimProcessesTest : public ManualClockTest {
protected:
    void SetUp() override
    {
        ManualClockTest::SetUp();
        clock->setMainThreadSleepsAdvance(true);
        t.emplace(SimDesktop::create(fixtureNamed("probe-matrix-desktop.json")));
    }

    ProcessPort& processes() { return *t->ports.processes; }
    ProcessOutcome run(const std::string& program, const std::vector<std::string>& arguments)
    {
        auto outcome = processes().run(program, arguments);
        EXPECT_TRUE(outcome) << program;
        return outcome ? *outcome : ProcessOutcome { -1, "" };
    }
    std::optional<AXElement> focused()
    {
        return t->get<AXElement>(AXElement { 0, 1 }, "AXFocusedUIElement");
    }
    std::optional<std::string> frontBundle()
    {
        auto front = t->ports.workspace->frontmostApplication();
        return front ? front->bundleIdentifier : std::nullopt;
    }
    void pressCommand(uint16_t key)
    {
        for (bool down : { true, false }) {
            InputEvent event = InputEvent::keyboard(EventSourceState::combinedSession, key, down);
            event.flags = EventFlags::maskCommand;
            t->ports.windowServer->post(EventTap::session, event);
        }
    }

    std::optional<PortsUnderTest> t;
};

TEST_F(SimProcessesTest, OpenLaunchesAnInstalledApplicationOnAFileAfterItsLaunchDelay)
{
    EXPECT_EQ(run("/usr/bin/open", { "-b", "com.example.PlainEdit", fixtureText }), ProcessOutcome {});
    EXPECT_EQ(elapsed(), 0.2);
    auto pid = t->desktop->pidOf("com.example.PlainEdit");
    ASSERT_TRUE(pid);
    EXPECT_EQ(frontBundle(), "com.example.PlainEdit");
    const auto running = t->ports.workspace->runningApplications();
    auto app = std::find_if(running.begin(), running.end(), [&](const RunningApplication& a) { return a.pid == *pid; });
    ASSERT_NE(app, running.end());
    EXPECT_EQ(app->bundlePath, "/Applications/PlainEdit.app");
    EXPECT_EQ(app->bundleVersion, "2.4");
    const auto windows = t->desktop->windowNumbers(*pid);
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(t->get<std::string>(t->desktop->windowElement(windows[0]), "AXTitle"), "probe-matrix-fixture.txt");
    auto text = focused();
    ASSERT_TRUE(text);
    EXPECT_EQ(t->get<std::string>(*text, "AXRole"), "AXTextArea");
    EXPECT_EQ(t->get<std::string>(*text, "AXValue"), test::readFile(fixtureText));
    // Its window is in front of the Finder's, which it overlaps.
    const auto list = t->ports.windowServer->copyWindowInfo(0);
    ASSERT_TRUE(list && !list->empty());
    EXPECT_EQ(list->front().kCGWindowNumber, windows[0]);

    // Running already: no delay, another document window in front.
    EXPECT_EQ(run("/usr/bin/open", { "-a", "PlainEdit", fixtureText }), ProcessOutcome {});
    EXPECT_EQ(elapsed(), 0.2);
    EXPECT_EQ(t->desktop->windowNumbers(*pid).size(), 2u);
    EXPECT_EQ(t->desktop->journal().front().kind, SimJournalEntry::Kind::process);
}

TEST_F(SimProcessesTest, OpenAndOsascriptFailAsTheRealProgramsDoAndOtherProgramsCannotStart)
{
    test::ScratchDirectory scratch;
    test::writeFile(scratch / "note.txt", "plain file");
    test::writeFile(scratch / "bad.applescript", "tell application id \"com.example.PlainEdit\" to activate\nbeep\n");
    // A note's whole text quoted, and blocks within blocks: each would end the desktop for want of
    // stack if it were read.
    std::string passage;
    while (passage.size() < 32 * 1024)
        passage += "It was the best of times, it was the worst of times. ";
    const std::string quoting = "tell application \"Notes\" to delete (every note whose body contains \"" + passage + "\")";
    std::string nested;
    for (int depth = 0; depth < 100000; ++depth)
        nested += "try\n";
    nested += "delay 0\n";
    for (int depth = 0; depth < 100000; ++depth)
        nested += "end try\n";
    const struct {
        std::string program;
        std::vector<std::string> arguments;
        ProcessOutcome outcome;
    } cases[] = {
        { "/usr/bin/open", { "-b", "com.example.Nothing" }, { 1, "Unable to find application with bundle identifier com.example.Nothing\n" } },
        { "/usr/bin/open", { "-a", "Nothing" }, { 1, "Unable to find application named 'Nothing'\n" } },
        { "/usr/bin/open", { "-b", "com.example.PlainEdit", "/no/such.txt" }, { 1, "The file /no/such.txt does not exist.\n" } },
        { "/usr/bin/open", { "-x" }, { 1, "open: invalid option -- x\n" } },
        { "/usr/bin/open", { (scratch / "note.txt").string() }, { 0, "" } },
        { "/usr/bin/osascript", { "-e", "tell application id \"com.example.Nothing\" to activate" },
          { 1, "execution error: Can’t get application id \"com.example.Nothing\".\n" } },
        { "/usr/bin/osascript", { (scratch / "bad.applescript").string() },
          { 1, "execution error: syntax error: the simulated desktop does not understand \"beep\"\n" } },
        { "/usr/bin/osascript", { "/no/such.scpt" }, { 1, "osascript: /no/such.scpt: No such file or directory\n" } },
        { "/usr/bin/osascript", { "-e", "tell application \"Notes\" to delete (every note whose body contains \"x\")" },
          { 1, "execution error: Notes got an error: Application isn’t running.\n" } },
        { "/usr/bin/osascript", { "-e", "try", "-e", "tell application \"Notes\" to delete every note whose body contains \"x\"", "-e", "end try" },
          { 0, "" } },
        { "/usr/bin/osascript", { "-e", quoting },
          { 1, "execution error: syntax error: a statement of " + std::to_string(quoting.size())
                   + " characters is longer than the simulated desktop reads (4096)\n" } },
        { "/usr/bin/osascript", { "-e", nested }, { 1, "execution error: syntax error: blocks nested more than 64 deep\n" } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(run(c.program, c.arguments), c.outcome) << c.program << " " << c.arguments.front();
    // The file opened by its extension went to PlainEdit; the broken script never got past parsing.
    EXPECT_EQ(frontBundle(), "com.example.PlainEdit");
    auto refused = processes().run("/bin/rm", { "-rf", "/" });
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().find("/bin/rm"), std::string::npos);
}

// Holds this process to `room` more address space than it maps now, so that a read without end
// fails here instead of taking the machine's memory. Nothing under a sanitizer, which maps much
// of its own.
class AddressSpaceCap {
public:
    explicit AddressSpaceCap(size_t room)
    {
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
        size_t mapped = 0;
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
            if (line.starts_with("VmSize:"))
                mapped = std::stoul(line.substr(7)) * 1024;
        if (mapped == 0 || ::getrlimit(RLIMIT_AS, &m_previous) != 0)
            return;
        const rlimit cap { mapped + room, m_previous.rlim_max };
        m_set = ::setrlimit(RLIMIT_AS, &cap) == 0;
#else
        (void)room;
#endif
    }
    ~AddressSpaceCap()
    {
        if (m_set)
            ::setrlimit(RLIMIT_AS, &m_previous);
    }
    AddressSpaceCap(const AddressSpaceCap&) = delete;
    AddressSpaceCap& operator=(const AddressSpaceCap&) = delete;

private:
    rlimit m_previous {};
    bool m_set = false;
};

// What a person may hand "open" or "osascript" that is no document: a device without end, a named
// pipe nobody writes to (what a shell's process substitution gives), a file larger than any text.
// Each is refused at once with the reason, nothing is launched, and the desktop goes on.
TEST_F(SimProcessesTest, AFileThatIsNoDocumentIsRefusedAtOnceAndNothingIsLaunched)
{
    test::ScratchDirectory scratch;
    const std::string pipe = (scratch / "fixture.txt").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string large = (scratch / "export.txt").string();
    test::writeFile(large, "");
    std::filesystem::resize_file(large, (uint64_t(64) << 20) + 1);
    const struct {
        std::string file;
        std::string reason;
    } files[] = {
        { "/dev/zero", "/dev/zero is not a regular file" },
        { pipe, pipe + " is not a regular file" },
        { large, large + " is larger than 64 MiB" },
    };
    AddressSpaceCap cap(size_t(1) << 30);
    for (const auto& f : files) {
        const std::vector<std::vector<std::string>> runs = {
            { "/usr/bin/open", "-b", "com.example.PlainEdit", f.file }, { "/usr/bin/open", f.file }, { "/usr/bin/osascript", f.file } };
        for (const std::vector<std::string>& command : runs) {
            auto outcome = std::async(std::launch::async, [&] {
                return processes().run(command.front(), std::vector<std::string>(command.begin() + 1, command.end()));
            });
            // A run still waiting fails the test and is let go, so that the test ends: on the pipe
            // by a writer that comes and goes, in a launch by the clock.
            if (outcome.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
                ADD_FAILURE() << command.front() << " " << f.file << " is still running";
                while (outcome.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
                    if (const int writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK); writer >= 0)
                        ::close(writer);
                    clock->advance(seconds(1));
                }
            }
            auto ran = outcome.get();
            ASSERT_TRUE(ran) << command.front() << " " << f.file;
            EXPECT_EQ(ran->exitStatus, 1) << command.front() << " " << f.file;
            EXPECT_NE(ran->standardError.find(f.reason), std::string::npos) << ran->standardError;
        }
    }
    EXPECT_FALSE(t->desktop->pidOf("com.example.PlainEdit"));
    EXPECT_EQ(elapsed(), 0) << "no launch was waited for";
    EXPECT_EQ(run("/usr/bin/open", { "-b", "com.example.PlainEdit", fixtureText }), ProcessOutcome {});
    EXPECT_TRUE(t->desktop->pidOf("com.example.PlainEdit"));
}

TEST_F(SimProcessesTest, CommandNPastesAndClosesDocumentsOfTheApplicationInFront)
{
    run("/usr/bin/open", { "-b", "com.apple.Notes" });
    const ProcessID notes = *t->desktop->pidOf("com.apple.Notes");
    EXPECT_TRUE(t->desktop->windowNumbers(notes).empty());
    t->ports.pasteboard->clearContents();
    t->ports.pasteboard->setString("pasted 中文", PasteboardType::string);
    pressCommand(45);
    pressCommand(9);
    pressCommand(9);
    ASSERT_EQ(t->desktop->windowNumbers(notes).size(), 1u);
    // The application in front had no window: its new one comes in front of the others'.
    auto list = t->ports.windowServer->copyWindowInfo(WindowListOption::onScreenOnly);
    ASSERT_TRUE(list);
    auto firstNormal = std::find_if(list->begin(), list->end(), [](const WindowInfo& w) { return w.kCGWindowLayer == 0; });
    ASSERT_NE(firstNormal, list->end());
    EXPECT_EQ(firstNormal->kCGWindowOwnerPID, notes);
    EXPECT_EQ(t->get<std::string>(*focused(), "AXValue"), "pasted 中文pasted 中文");
    EXPECT_EQ(t->get<AXRange>(*focused(), "AXSelectedTextRange"), (AXRange { 18, 0 }));
    // Notes' bounds of CJK text are empty; its Latin text has bounds.
    EXPECT_EQ(t->bounds(*focused(), 7, 2)->size.width, 0);
    EXPECT_GT(t->bounds(*focused(), 0, 2)->size.width, 1);
    pressCommand(13);
    EXPECT_TRUE(t->desktop->windowNumbers(notes).empty());
    // Keys for another application in front go to that one.
    t->desktop->setFrontmost(301);
    pressCommand(45);
    EXPECT_TRUE(t->desktop->windowNumbers(notes).empty());
}

TEST_F(SimProcessesTest, ScriptsTypeWithModifiersAndWalkTheTerminalsTabs)
{
    auto script = SimAppleScript::parse("tell application \"System Events\" to keystroke \"w\" using {command down, shift down}\n"
                                        "tell application \"System Events\"\n  key code 36\nend tell\n");
    ASSERT_TRUE(script) << script.error();
    ASSERT_EQ(script->size(), 2u);
    EXPECT_EQ((*script)[0].keyCode, 13);
    EXPECT_EQ((*script)[0].flags, EventFlags::maskCommand | EventFlags::maskShift);
    EXPECT_EQ((*script)[1].body.front().keyCode, 36);
    for (const char* refused : { "try\ndelay 1", "end tell", "tell application \"System Events\" to keystroke \"w\" using meta down",
                                 "if contents of t is \"x\" then return" })
        EXPECT_FALSE(SimAppleScript::parse(refused)) << refused;

    EXPECT_EQ(t->ports.processes->controllingTerminal(), "/dev/ttys001");
    std::string error;
    EXPECT_TRUE(t->ports.workspace->runAppleScript(
        "tell application \"Terminal\"\nrepeat with w in windows\nrepeat with t in tabs of w\n"
        "if tty of t is \"/dev/ttys001\" then tell application \"System Events\" to key code 36 using command down\n"
        "end repeat\nend repeat\nend tell",
        error))
        << error;
    const auto journal = t->desktop->journal();
    ASSERT_GE(journal.size(), 2u);
    const SimJournalEntry& typed = journal[journal.size() - 2];
    EXPECT_EQ(typed.event->keyCode, 36);
    EXPECT_EQ(typed.event->flags, EventFlags::maskCommand);
    EXPECT_FALSE(t->ports.workspace->runAppleScript("repeat with t in tabs of w\nend repeat", error));
    EXPECT_EQ(error, "The variable w is not defined.");
}

TEST(SimInstalledApplicationsFixture, RefusesWhatCannotBeOpenedOrRun)
{
    const struct {
        const char* json;
        const char* fault;
    } cases[] = {
        { R"({"installed": [{"name": "X"}]})", "/installed/0: missing \"bundleID\"" },
        { R"({"installed": [{"bundleID": "x", "document": {"text": "t", "window": {"number": 4, "frame": [0, 0, 1, 1]}}}]})",
          "/installed/0/document/window/number: a document window gets its number when it opens" },
        { R"({"installed": [{"bundleID": "x", "document": {"text": "nothing", "window": {"frame": [0, 0, 1, 1]}}}]})",
          "/installed/0/document/text: no element is named \"nothing\"" },
        { R"({"applications": [{"windows": [{"frame": [0, 0, 1, 1], "runnersTerminal": true}]}]})",
          "/applications/0/windows/0/runnersTerminal: the program's own terminal needs a \"tty\"" },
        { R"({"installed": [{"bundleID": "x", "launchDelay": -1}]})", "/installed/0/launchDelay: must not be negative" },
    };
    for (const auto& c : cases) {
        auto fixture = SimFixtureLoader::parse(c.json, "f.json");
        ASSERT_FALSE(fixture) << c.json;
        EXPECT_EQ(fixture.error(), std::string("f.json: ") + c.fault);
    }
}

} // namespace
} // namespace lorvantine

namespace lorvantine {
namespace {

// Safari's catalogue of web pages on the harness desk.
class SimWebPagesTest : public ManualClockTest {
protected:
    void SetUp() override
    {
        ManualClockTest::SetUp();
        clock->setMainThreadSleepsAdvance(true);
        t.emplace(SimDesktop::create(fixtureNamed("highlight-harness-desktop.json")));
    }
    std::optional<std::string> frontTitle()
    {
        auto pid = t->desktop->pidOf("com.apple.Safari");
        if (!pid)
            return std::nullopt;
        auto window = t->get<AXElement>(AXElement { *pid, 0 }, "AXMainWindow");
        return window ? t->get<std::string>(*window, "AXTitle") : std::nullopt;
    }
    std::optional<PortsUnderTest> t;
};

TEST_F(SimWebPagesTest, SafariOpensEachUrlAsItsCataloguePageInATabOfItsOwnAndCommandWClosesTheFrontOne)
{
    const struct {
        const char* url;
        const char* title;
    } pages[] = {
        { "https://example.com/quiet-art", "The Quiet Art of Reading Aloud – Example Press" },
        { "https://example.com/short-walks", "Short Walks" },
        { "https://example.com/nowhere", "Failed to open page" },
    };
    for (const auto& page : pages) {
        EXPECT_EQ(*t->ports.processes->run("/usr/bin/open", { "-a", "Safari", page.url }), (ProcessOutcome {})) << page.url;
        EXPECT_EQ(frontTitle(), page.title) << page.url;
        EXPECT_EQ(t->ports.workspace->frontmostApplication()->bundleIdentifier, "com.apple.Safari");
    }
    // Launched once, after its launch delay; one tab per address.
    EXPECT_EQ(elapsed(), 0.8);
    const ProcessID safari = *t->desktop->pidOf("com.apple.Safari");
    EXPECT_EQ(t->desktop->windowNumbers(safari).size(), 3u);

    // The one-line form of the close script, with Safari brought to the front first.
    const ProcessOutcome closed = *t->ports.processes->run(
        "/usr/bin/osascript", { "-e", "tell application id \"com.apple.Safari\" to activate", "-e",
                                "tell application \"System Events\" to tell process \"Safari\" to keystroke \"w\" using command down" });
    EXPECT_EQ(closed, ProcessOutcome {});
    EXPECT_EQ(t->desktop->windowNumbers(safari).size(), 2u);
    EXPECT_EQ(frontTitle(), "Short Walks");
}

TEST_F(SimWebPagesTest, ACatalogueRefersOnlyToFixturesThatHoldTheBrowsersWindow)
{
    test::ScratchDirectory scratch;
    auto withPages = [](const std::string& pages) {
        return "{\"installed\": [{\"bundleID\": \"com.apple.Safari\", \"name\": \"Safari\", \"pages\": [" + pages + "]}]}";
    };
    const struct {
        std::string pages;
        std::string fault;
    } cases[] = {
        { "{\"fixture\": \"a.json\"}", "/installed/0/pages/0: missing \"url\"" },
        { "{\"url\": \"https://x\"}", "/installed/0/pages/0: expected either \"window\" or \"fixture\"" },
        { "{\"url\": \"https://x\", \"fixture\": \"absent.json\"}", "absent.json: cannot be read" },
        { "{\"url\": \"https://x\", \"fixture\": \"other.json\"}", "other.json has no window of com.apple.Safari" },
        { "{\"url\": \"https://x\", \"fixture\": \"nested.json\"}", "a page's fixture cannot list pages of its own" },
    };
    test::writeFile(scratch / "other.json", "{\"applications\": [{\"bundleID\": \"com.example.Other\", \"windows\": "
                                            "[{\"frame\": [0, 0, 100, 100]}]}]}");
    test::writeFile(scratch / "nested.json", withPages("{\"url\": \"https://y\", \"fixture\": \"other.json\"}"));
    for (const auto& c : cases) {
        test::writeFile(scratch / "desk.json", withPages(c.pages));
        auto loaded = SimFixtureLoader::load((scratch / "desk.json").string());
        ASSERT_FALSE(loaded) << c.pages;
        EXPECT_NE(loaded.error().find(c.fault), std::string::npos) << loaded.error();
    }
}

} // namespace
} // namespace lorvantine
