#include "SimDesktop/Control/SimControlChannel.h"
#include "SimDesktop/Control/SimControlCommand.h"
#include "SimDesktop/Control/SimControlPipe.h"
#include "SimDesktop/Control/SimControlServer.h"

#include "Platform/PermissionsPort.h"
#include "Platform/Toolkit/Alert.h"
#include "Support/Text.h"
#include "TestSupport/DesktopTest.h"
#include "TestSupport/ScopedEnvironment.h"
#include "TestSupport/ScratchDirectory.h"

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace lorvantine::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using Verb = SimControlCommand::Verb;

TEST(SimControlCommand, ReadsEachVerbWithItsArguments)
{
    auto parse = [](std::string_view line) {
        auto command = SimControlCommand::parse(line);
        EXPECT_TRUE(command) << line << ": " << (command ? "" : command.error());
        return command ? *command : SimControlCommand {};
    };
    EXPECT_EQ(parse("click 12.5 40").verb, Verb::click);
    EXPECT_EQ(parse("click 12.5 40").from, (Point { 12.5, 40 }));
    EXPECT_EQ(parse("click 1 2 2").clickCount, 2);
    EXPECT_EQ(parse("  drag 1 2   3 4\r").to, (Point { 3, 4 }));
    EXPECT_EQ(parse("key escape").keyCode, 53);
    EXPECT_EQ(parse("key R control shift").keyCode, 15);
    EXPECT_EQ(parse("key r ctrl shift").flags, EventFlags::maskControl | EventFlags::maskShift);
    EXPECT_EQ(parse("key 121 cmd option").flags, EventFlags::maskCommand | EventFlags::maskAlternate);
    EXPECT_EQ(parse("key 121").keyCode, 121);
    EXPECT_EQ(parse("scroll 5 6 -3").lines, -3);
    EXPECT_EQ(parse("front com.apple.TextEdit").text, "com.apple.TextEdit");
    EXPECT_EQ(parse(R"(press "Open System Settings")").text, "Open System Settings");
    EXPECT_EQ(parse(R"(press "say \"hi\" \u00e9")").text, "say \"hi\" é");
    EXPECT_EQ(parse("press 稍后").text, "稍后");
    EXPECT_EQ(parse(R"(type "http://tts.example:80\n")").verb, Verb::type);
    EXPECT_EQ(parse(R"(type "http://tts.example:80\n")").text, "http://tts.example:80\n");
    EXPECT_TRUE(parse("trust on").on);
    EXPECT_FALSE(parse("trust off").on);
    EXPECT_EQ(parse("input-monitoring denied").access, InputMonitoringAccess::denied);
    EXPECT_EQ(parse(R"(snapshot "/tmp/a b.png")").text, "/tmp/a b.png");
    EXPECT_EQ(parse("windows").verb, Verb::windows);
    EXPECT_EQ(parse("quit").verb, Verb::quit);
}

TEST(SimControlCommand, RefusesMalformedLinesWithAReason)
{
    struct Case {
        std::string line;
        std::string reason;
    };
    const std::vector<Case> cases {
        { "", "empty line" },
        { "   ", "empty line" },
        { "fly 1 2", "unknown command: fly" },
        { "click 1", "usage: click X Y [COUNT]" },
        { "click 1 2 3 4", "usage: click X Y [COUNT]" },
        { "click x 2", "not a coordinate: x" },
        { "click 1e300 2", "not a coordinate" },
        { "click nan 2", "not a coordinate" },
        { "click 1 2 4", "click count must be 1, 2 or 3" },
        { "click 1 2 1.5", "click count must be 1, 2 or 3" },
        { "drag 1 2 3", "usage: drag X1 Y1 X2 Y2" },
        { "scroll 1 2 0.5", "lines must be a whole number" },
        { "scroll 1 2 5000", "lines must be a whole number" },
        { "key", "usage: key KEY" },
        { "key 128", "unknown key: 128" },
        { "key -1", "unknown key" },
        { "key r hyper", "unknown modifier: hyper" },
        { "trust maybe", "usage: trust on|off" },
        { "input-monitoring yes", "usage: input-monitoring" },
        { "front", "usage: front BUNDLE_ID" },
        { R"(press "")", "usage: press TITLE" },
        { "type", "usage: type TEXT" },
        { R"(type "")", "usage: type TEXT" },
        { R"(type "a" "b")", "usage: type TEXT" },
        { R"(press "open)", "closing quote" },
        { R"(press "a"b)", "without a space" },
        { R"(press a"b)", "a quote inside a word" },
        { R"(press "\x")", "a malformed text at byte" },
        { std::string("press \"hi\\\xde\xa3\""), "a malformed text at byte" },
        { "windows now", "windows takes no arguments" },
        { "snapshot /tmp/a b.png", "usage: snapshot PATH" },
        { std::string("press \xff\xfe"), "not UTF-8" },
        { std::string("press a\0b", 9), "NUL" },
        { "press " + std::string(SimControlCommand::maxLineBytes, 'a'), "line longer than 1024 bytes" },
    };
    for (const Case& c : cases) {
        auto command = SimControlCommand::parse(c.line);
        ASSERT_FALSE(command) << c.line;
        EXPECT_THAT(command.error(), HasSubstr(c.reason)) << c.line;
        EXPECT_TRUE(Text::isValidUtf8(command.error())) << "the reason is text, whatever the line held";
    }
}

// The channel on a desktop with one window of another application and the program's panels.
class SimControlChannelTest : public DesktopTest {
protected:
    std::shared_ptr<SimDesktop> makeDesktop() override
    {
        SimFixture fixture = oneWindowFixture();
        fixture.screens = screens();
        return SimDesktop::create(fixture);
    }

    std::vector<InputEvent> postedEvents()
    {
        std::vector<InputEvent> events;
        for (const SimJournalEntry& entry : desktop->journal())
            if (entry.kind == SimJournalEntry::Kind::event && entry.tap == EventTap::hid)
                events.push_back(*entry.event);
        return events;
    }

    std::unique_ptr<SimControlChannel> channel = std::make_unique<SimControlChannel>(desktop);
};

TEST_F(SimControlChannelTest, PostsInputAtTheHardwareTapAsAHandWould)
{
    channel = std::make_unique<SimControlChannel>(desktop);
    EXPECT_EQ(channel->handle("click 300 200 2"), "ok");
    EXPECT_EQ(channel->handle("key r control shift"), "ok");
    EXPECT_EQ(channel->handle("scroll 310 220 -3"), "ok");
    EXPECT_EQ(channel->handle("drag 100 100 180 140"), "ok");
    const auto events = postedEvents();
    ASSERT_EQ(events.size(), 3u + 2u + 2u + 7u);
    EXPECT_EQ(events[1].type, InputEventType::leftMouseDown);
    EXPECT_EQ(events[1].location, (Point { 300, 200 }));
    EXPECT_EQ(events[1].clickCount, 2);
    EXPECT_EQ(events[2].type, InputEventType::leftMouseUp);
    EXPECT_EQ(events[3].type, InputEventType::keyDown);
    EXPECT_EQ(events[3].keyCode, 15);
    EXPECT_EQ(events[3].flags, EventFlags::maskControl | EventFlags::maskShift);
    EXPECT_EQ(events[4].type, InputEventType::keyUp);
    EXPECT_EQ(events[6].type, InputEventType::scrollWheel);
    EXPECT_EQ(events[6].scrollDeltaY, -3);
    EXPECT_EQ(events[6].location, (Point { 310, 220 }));
    EXPECT_EQ(events[8].type, InputEventType::leftMouseDown);
    EXPECT_EQ(events[12].type, InputEventType::leftMouseDragged);
    EXPECT_EQ(events[12].location, (Point { 180, 140 }));
    EXPECT_EQ(events[13].type, InputEventType::leftMouseUp);
    EXPECT_EQ(channel->handle("click 1 2 3 4"), "error usage: click X Y [COUNT]");
    EXPECT_EQ(postedEvents().size(), events.size()) << "a refused line posts nothing";
}

// `type` is a hand on the keyboard: a key a character, each with the character it types (a line
// feed is Return).
TEST_F(SimControlChannelTest, TypesTextAKeyACharacterAtTheHardwareTap)
{
    channel = std::make_unique<SimControlChannel>(desktop);
    EXPECT_EQ(channel->handle(R"(type "é 1\n")"), "ok");
    const auto events = postedEvents();
    ASSERT_EQ(events.size(), 8u);
    std::vector<std::string> typed;
    for (size_t i = 0; i < events.size(); i += 2) {
        EXPECT_EQ(events[i].type, InputEventType::keyDown);
        EXPECT_EQ(events[i + 1].type, InputEventType::keyUp);
        EXPECT_EQ(events[i].characters, events[i + 1].characters);
        typed.push_back(events[i].characters);
    }
    EXPECT_EQ(typed, (std::vector<std::string> { "é", " ", "1", "" }));
    EXPECT_EQ(events[6].keyCode, 36) << "the line feed is Return";
}

TEST_F(SimControlChannelTest, ChangesPermissionsAndTheFrontApplicationAndListsWindows)
{
    channel = std::make_unique<SimControlChannel>(desktop);
    EXPECT_EQ(channel->handle("trust off"), "ok");
    EXPECT_FALSE(ax().isProcessTrusted(AccessibilityPort::Prompt::no));
    EXPECT_EQ(channel->handle("trust on"), "ok");
    EXPECT_TRUE(ax().isProcessTrusted(AccessibilityPort::Prompt::no));
    EXPECT_EQ(channel->handle("input-monitoring denied"), "ok");
    EXPECT_EQ(Platform::permissions().checkInputMonitoring(), InputMonitoringAccess::denied);
    EXPECT_EQ(channel->handle("front com.example.Reader"), "ok 700");
    EXPECT_EQ(channel->handle("front com.example.Missing"), "error no running application com.example.Missing");
    const std::string list = channel->handle("windows");
    ASSERT_THAT(list, StartsWith("ok ["));
    auto windows = nlohmann::json::parse(list.substr(3));
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0]["number"], 42);
    EXPECT_EQ(windows[0]["owner"], "Reader");
    EXPECT_EQ(windows[0]["bounds"], nlohmann::json::array({ 100, 50, 600, 400 }));
}

TEST_F(SimControlChannelTest, WritesASnapshotAndRefusesAPathItCannotWrite)
{
    channel = std::make_unique<SimControlChannel>(desktop);
    ScratchDirectory directory;
    const auto path = directory / "screen.png";
    EXPECT_EQ(channel->handle("snapshot " + path.string()), "ok " + path.string());
    EXPECT_EQ(readFile(path).substr(1, 3), "PNG");
    EXPECT_THAT(channel->handle("snapshot " + (directory / "missing" / "x.png").string()), StartsWith("error "));
}

TEST_F(SimControlChannelTest, PressesAnAlertsButtonByTitleAndQuitEndsARunningAlert)
{
    channel = std::make_unique<SimControlChannel>(desktop);
    int quits = 0;
    channel->onQuit = [&] { ++quits; };
    std::vector<std::string> answers;
    {
        Alert::ScopedResponder responder([&](Alert&) {
            DispatchQueue::main().async([&] { answers.push_back(channel->handle(R"(press "Not now")")); });
        });
        Alert alert;
        alert.messageText = "Question";
        alert.addButton("Go ahead");
        alert.addButton("Not now");
        EXPECT_EQ(alert.runModal(), Alert::firstButtonReturn + 1);
    }
    EXPECT_THAT(answers, ElementsAre("ok"));
    EXPECT_EQ(channel->handle(R"(press "Nothing like it")"), R"(error no element titled "Nothing like it")");
    {
        Alert::ScopedResponder responder([&](Alert&) { DispatchQueue::main().async([&] { answers.push_back(channel->handle("quit")); }); });
        Alert alert;
        EXPECT_EQ(alert.runModal(), Alert::abortResponse);
    }
    RunLoop::runPending();
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(programWindows().empty());
}

// The server reading the control pipe on its thread; answers collected on the main thread.
class SimControlServerTest : public SimControlChannelTest {
protected:
    enum class Ready { atOnce, later };
    std::unique_ptr<SimControlServer> startServer(std::optional<std::filesystem::path> pipe, Ready ready = Ready::atOnce)
    {
        auto server = SimControlServer::start(desktop, { .readStandardInput = false, .pipe = std::move(pipe),
                                                         .answer = [this](const std::string& line) { answers.push_back(line); } });
        EXPECT_TRUE(server) << (server ? "" : server.error());
        if (server && ready == Ready::atOnce)
            (*server)->setReady();
        return server ? std::move(*server) : nullptr;
    }
    static size_t unreadBytes(int fd)
    {
        int bytes = 0;
        ::ioctl(fd, FIONREAD, &bytes);
        return static_cast<size_t>(bytes);
    }
    // Writes `bytes` through `fd` and waits, for at most ten seconds of real time, until the
    // server has read them all.
    static bool writeAndWaitTaken(int fd, const std::string& bytes)
    {
        if (::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            return false;
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (unreadBytes(fd) > 0 && std::chrono::steady_clock::now() < limit)
            std::this_thread::yield();
        return unreadBytes(fd) == 0;
    }
    size_t keyDowns()
    {
        size_t count = 0;
        for (const SimJournalEntry& entry : desktop->journal())
            count += entry.kind == SimJournalEntry::Kind::event && entry.tap == EventTap::hid && entry.event->type == InputEventType::keyDown;
        return count;
    }
    void send(const std::filesystem::path& pipe, const std::string& bytes)
    {
        const int fd = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        ::close(fd);
    }
    // Runs the main queue until `count` answers have come, for at most five seconds of real time.
    bool waitForAnswers(size_t count)
    {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (answers.size() < count && std::chrono::steady_clock::now() < limit) {
            RunLoop::runPending();
            std::this_thread::yield();
        }
        return answers.size() >= count;
    }
    static unsigned modeOf(const std::filesystem::path& path)
    {
        struct stat st {};
        EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
        return st.st_mode & 07777;
    }

    std::vector<std::string> answers;
    ScratchDirectory scratch;
};

TEST_F(SimControlServerTest, AnswersEveryLineAndAnOversizedOrMalformedOneWithAnError)
{
    const auto pipe = scratch / "control";
    auto server = startServer(pipe);
    ASSERT_TRUE(server);
    EXPECT_EQ(server->pipePath(), pipe);
    EXPECT_EQ(modeOf(pipe), 0600u);
    send(pipe, "trust off\n" + std::string(5000, 'x') + "\nclick\n\xff\xfe\ntrust on\n");
    ASSERT_TRUE(waitForAnswers(5));
    EXPECT_THAT(answers, ElementsAre("ok", "error line longer than 1024 bytes", "error usage: click X Y [COUNT]",
                                     "error line is not UTF-8", "ok"));
    EXPECT_TRUE(ax().isProcessTrusted(AccessibilityPort::Prompt::no)) << "the reading went on after the faulty lines";
    server.reset();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(pipe))) << "a clean end removes the pipe";
}

TEST_F(SimControlServerTest, MakesItsPipeInAPrivateRuntimeDirectory)
{
    ScopedEnvironment runtime("XDG_RUNTIME_DIR", scratch.path().string());
    auto server = startServer(std::filesystem::path());
    ASSERT_TRUE(server);
    EXPECT_EQ(server->pipePath(), scratch / "lorvantine" / "control");
    EXPECT_EQ(modeOf(scratch / "lorvantine"), 0700u);
    EXPECT_EQ(modeOf(scratch / "lorvantine" / "control"), 0600u);
    send(*server->pipePath(), "windows\n");
    ASSERT_TRUE(waitForAnswers(1));
    EXPECT_THAT(answers[0], StartsWith("ok ["));

    // A runtime directory others can write is not used: a new private one is made instead.
    server.reset();
    std::filesystem::permissions(scratch.path(), std::filesystem::perms::all);
    auto elsewhere = startServer(std::filesystem::path());
    ASSERT_TRUE(elsewhere);
    const auto directory = elsewhere->pipePath()->parent_path();
    EXPECT_NE(directory, scratch / "lorvantine");
    EXPECT_EQ(modeOf(directory), 0700u);
    elsewhere.reset();
    EXPECT_FALSE(std::filesystem::exists(directory)) << "the directory it made goes with it";
}

TEST_F(SimControlServerTest, RefusesPathsOthersCouldReachAndLeavesThemAlone)
{
    const auto open = scratch / "open";
    std::filesystem::create_directory(open);
    std::filesystem::permissions(open, std::filesystem::perms::all);
    const auto target = scratch / "target";
    ::mkfifo(target.c_str(), 0600);
    std::filesystem::create_symlink(target, scratch / "link");
    std::filesystem::create_directory(scratch / "real");
    std::filesystem::create_directory_symlink(scratch / "real", scratch / "linked-dir");
    writeFile(scratch / "file", "keep me");
    struct Case {
        std::filesystem::path path;
        std::string reason;
    };
    const std::vector<Case> cases {
        { open / "control", "can be written by other users" },
        { "/tmp/lorvantine-control-test", "can be written by other users" },
        { scratch / "link", "it is a symbolic link" },
        { scratch / "linked-dir" / "control", "is a symbolic link" },
        { scratch / "file", "a file that is not a pipe is there" },
        { scratch / "missing" / "control", "cannot use" },
    };
    for (const Case& c : cases) {
        auto pipe = SimControlPipe::open(c.path);
        ASSERT_FALSE(pipe) << c.path;
        EXPECT_THAT(pipe.error(), HasSubstr(c.reason)) << c.path;
    }
    EXPECT_EQ(readFile(scratch / "file"), "keep me");
    EXPECT_TRUE(std::filesystem::is_symlink(scratch / "link"));
    EXPECT_FALSE(std::filesystem::exists(open / "control"));
}

TEST_F(SimControlServerTest, ReplacesAStalePipeButNotALiveOne)
{
    const auto path = scratch / "control";
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0) << "left by a run that died";
    auto first = SimControlPipe::open(path);
    ASSERT_TRUE(first) << first.error();
    EXPECT_EQ(modeOf(path), 0600u);

    auto second = SimControlPipe::open(path);
    ASSERT_FALSE(second);
    EXPECT_THAT(second.error(), HasSubstr("is already running"));
    EXPECT_TRUE(std::filesystem::exists(path)) << "the live pipe is left alone";

    first->reset();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(path)));
    EXPECT_TRUE(SimControlPipe::open(path));
}

// A driver sends a batch and reads one answer line per command: texts holding line breaks (as
// JSON strings allow) must not add lines of their own.
TEST_F(SimControlServerTest, EveryCommandGetsOneAnswerLineWhateverItQuotes)
{
    const auto pipe = scratch / "control";
    auto server = startServer(pipe);
    ASSERT_TRUE(server);
    const std::vector<std::string> commands {
        R"(front "a\nok 999")",
        R"(front "com.example.Reader")",
        R"(press "Line one\r\nLine two")",
        R"(press "tab\there")",
        R"(front "next\u2028line\u0085end")",
        R"(key "x\ny")",
        R"(key escape "shift\nok")",
        R"(click "1\n" 2)",
        R"("fly\nok away")",
        R"(snapshot "/nonexistent dir\n/ok.png")",
        "trust off",
        R"(front "\u0000\u001f\u007f")",
        "trust on",
        "windows",
    };
    std::string batch;
    for (const std::string& command : commands)
        batch += command + "\n";
    send(pipe, batch);
    ASSERT_TRUE(waitForAnswers(commands.size()));
    RunLoop::runPending();
    ASSERT_EQ(answers.size(), commands.size()) << "one answer per command, no stray lines";
    for (const std::string& answer : answers) {
        EXPECT_EQ(answer.find_first_of(std::string("\n\r\0\x1f\x7f", 5)), std::string::npos) << answer;
        EXPECT_THAT(answer, Not(HasSubstr("\xe2\x80\xa8"))) << answer;
        EXPECT_THAT(answer, Not(HasSubstr("\xc2\x85"))) << answer;
        EXPECT_TRUE(answer.starts_with("ok") || answer.starts_with("error ")) << answer;
    }
    EXPECT_EQ(answers[0], R"(error no running application a\nok 999)");
    EXPECT_EQ(answers[1], "ok 700");
    EXPECT_EQ(answers[4], R"(error no running application next\u2028line\u0085end)");
    EXPECT_EQ(answers[10], "ok");
    EXPECT_EQ(answers[11], R"(error no running application \u0000\u001f\u007f)");
    EXPECT_THAT(answers[13], StartsWith("ok ["));
    EXPECT_TRUE(ax().isProcessTrusted(AccessibilityPort::Prompt::no));
}

// Writers come and go on one pipe; one that goes away in the middle of a line has that line
// refused on its own, and the next writer's command is carried out whole.
TEST_F(SimControlServerTest, AWriterThatLeavesHalfALineDoesNotSwallowTheNextOne)
{
    const auto pipe = scratch / "control";
    auto server = startServer(pipe);
    ASSERT_TRUE(server);
    send(pipe, "trust off\n");
    ASSERT_TRUE(waitForAnswers(1));
    send(pipe, "trust o");
    ASSERT_TRUE(waitForAnswers(2)) << "the cut line is answered once its writer has gone";
    send(pipe, "windows\ntrust on\n");
    ASSERT_TRUE(waitForAnswers(4));
    EXPECT_EQ(answers[0], "ok");
    EXPECT_EQ(answers[1], "error line cut off: its writer closed the pipe before the line feed");
    EXPECT_THAT(answers[2], StartsWith("ok ["));
    EXPECT_EQ(answers[3], "ok");
    EXPECT_TRUE(ax().isProcessTrusted(AccessibilityPort::Prompt::no));
}

// A controller that writes as soon as the pipe is there, while the application is still starting:
// nothing it sends is carried out, nor answered, before the application is ready; then all of it
// is, in the order sent, those still on their way to the main queue too, ahead of what comes after.
TEST_F(SimControlServerTest, LinesSentBeforeTheApplicationIsReadyWaitForItAndKeepTheirOrder)
{
    const auto pipe = scratch / "control";
    auto server = startServer(pipe, Ready::later);
    ASSERT_TRUE(server);
    const int writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    // Each line is read only once the one before it has been handed to the main queue.
    ASSERT_TRUE(writeAndWaitTaken(writer, "trust off\n"));
    ASSERT_TRUE(writeAndWaitTaken(writer, "front com.example.Missing\n"));
    ASSERT_TRUE(writeAndWaitTaken(writer, "windows\n"));
    RunLoop::runPending();
    EXPECT_TRUE(answers.empty()) << answers.front();
    EXPECT_TRUE(ax().isProcessTrusted(AccessibilityPort::Prompt::no)) << "carried out before the application was ready";
    ASSERT_TRUE(writeAndWaitTaken(writer, "front com.example.Reader\n"));
    ASSERT_TRUE(writeAndWaitTaken(writer, "trust on\n"));

    server->setReady();
    ASSERT_TRUE(writeAndWaitTaken(writer, "input-monitoring denied\n"));
    ::close(writer);
    ASSERT_TRUE(waitForAnswers(6));
    EXPECT_EQ(answers[0], "ok");
    EXPECT_EQ(answers[1], "error no running application com.example.Missing");
    EXPECT_THAT(answers[2], StartsWith("ok ["));
    EXPECT_EQ(answers[3], "ok 700");
    EXPECT_EQ(answers[4], "ok");
    EXPECT_EQ(answers[5], "ok");
    EXPECT_TRUE(ax().isProcessTrusted(AccessibilityPort::Prompt::no));
    EXPECT_EQ(Platform::permissions().checkInputMonitoring(), InputMonitoringAccess::denied);
}

// A controller that sends and never reads its answers: once they fill the pipe to it, the server
// carries out no more lines than it may hold, however many were sent, and reads no further; the
// rest wait in the control pipe. Nothing is lost: when the controller reads again, every line is
// carried out and answered, in order.
TEST_F(SimControlServerTest, AControllerThatDoesNotReadItsAnswersHasItsLinesHeldBack)
{
    int answerPipe[2];
    ASSERT_EQ(::pipe2(answerPipe, O_CLOEXEC), 0);
    ASSERT_EQ(::fcntl(answerPipe[0], F_SETPIPE_SZ, 4096), 4096);
    const auto pipe = scratch / "control";
    auto started = SimControlServer::start(desktop, { .readStandardInput = false, .pipe = pipe, .answerDescriptor = answerPipe[1] });
    ASSERT_TRUE(started) << started.error();
    auto server = std::move(*started);
    server->setReady();

    // Four answers of a KiB: three go out and the fourth, which goes whole or not at all, fills
    // the pipe.
    const std::string title(1000, 't');
    const std::string refused = "error no element titled \"" + title + "\"";
    std::string lines;
    for (int i = 0; i < 4; ++i)
        lines += "press \"" + title + "\"\n";
    constexpr size_t keys = 300;
    for (size_t i = 0; i < keys; ++i)
        lines += "key a\n";
    send(pipe, lines);
    const size_t carriedOut = SimControlServer::heldLines - 1;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (keyDowns() < carriedOut && std::chrono::steady_clock::now() < limit) {
        RunLoop::runPending();
        std::this_thread::yield();
    }
    RunLoop::runPending();
    EXPECT_EQ(keyDowns(), carriedOut) << "keys pressed while the answers before them could not go out";
    EXPECT_EQ(unreadBytes(answerPipe[0]), 3 * (refused.size() + 1));

    std::vector<std::string> read;
    std::string pending;
    ::fcntl(answerPipe[0], F_SETFL, O_NONBLOCK);
    const auto drained = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (read.size() < 4 + keys && std::chrono::steady_clock::now() < drained) {
        RunLoop::runPending();
        char buffer[4096];
        const ssize_t got = ::read(answerPipe[0], buffer, sizeof buffer);
        if (got > 0)
            pending.append(buffer, static_cast<size_t>(got));
        for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1))
            read.push_back(pending.substr(0, end));
        std::this_thread::yield();
    }
    ASSERT_EQ(read.size(), 4 + keys);
    EXPECT_EQ(std::count(read.begin(), read.begin() + 4, refused), 4);
    EXPECT_EQ(std::count(read.begin() + 4, read.end(), "ok"), static_cast<long>(keys));
    EXPECT_EQ(keyDowns(), keys);
    server.reset();
    ::close(answerPipe[0]);
    ::close(answerPipe[1]);
}

// A line of exactly the limit (without its line feed) is a command like any other, read whole and
// carried out; one byte more is refused whole, and the reading goes on.
TEST_F(SimControlServerTest, ALineOfExactlyTheLimitIsACommandAndOneByteMoreIsRefused)
{
    const auto pipe = scratch / "control";
    auto server = startServer(pipe);
    ASSERT_TRUE(server);
    const size_t limit = SimControlCommand::maxLineBytes;
    const std::string bundle = "com.example." + std::string(limit - std::string("front com.example.").size(), 'r');
    const std::string title(limit - std::string("press \"\"").size(), 't');
    ASSERT_EQ(("front " + bundle).size(), limit);
    send(pipe, "front " + bundle + "\nfront " + bundle + "r\npress \"" + title + "\"\npress \"" + title + "t\"\nwindows\n");
    ASSERT_TRUE(waitForAnswers(5));
    EXPECT_EQ(answers[0], "error no running application " + bundle);
    EXPECT_EQ(answers[1], "error line longer than 1024 bytes");
    EXPECT_EQ(answers[2], "error no element titled \"" + title + "\"");
    EXPECT_EQ(answers[3], "error line longer than 1024 bytes");
    EXPECT_THAT(answers[4], StartsWith("ok ["));
}

} // namespace
} // namespace lorvantine::test
