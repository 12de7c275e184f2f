#include "App/AppDelegate.h"

#include "Audio/AudioPlayer.h"
#include "Core/ArticleReader.h"
#include "Core/SelectionWatcher.h"
#include "Network/LoopbackServer.h"
#include "Network/TTSClient.h"
#include "Platform/HttpPort.h"
#include "Platform/AudioOutputPort.h"
#include "Platform/PermissionsPort.h"
#include "Platform/Toolkit/Alert.h"
#include "Platform/Toolkit/KeyEvent.h"
#include "Platform/Toolkit/Application.h"
#include "Platform/Toolkit/LocalizedStrings.h"
#include "Support/Text.h"
#include "TestSupport/DesktopTest.h"

#include <gmock/gmock.h>

namespace lorvantine::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A transport whose exchanges never answer until they are cancelled: playback never begins, and
// nothing runs in the background meanwhile, so the manual clock alone moves the test on.
class HeldHttpSession final : public HttpSession {
public:
    HttpTask dataTask(HttpRequest, Completion completion) override
    {
        auto held = std::make_shared<Completion>(std::move(completion));
        return HttpTask([held, queue = m_queue] {
            if (!*held)
                return;
            queue->async([done = std::exchange(*held, nullptr)] { done(NSURLError::error(NSURLError::cancelled)); });
        });
    }
    DispatchQueue& delegateQueue() override { return *m_queue; }

private:
    std::shared_ptr<DispatchQueue> m_queue = DispatchQueue::makeSerial("held-http");
};

// The delegate launched on a desktop with one editor window, its reading session speaking to a
// server that `speech` chooses: one that takes the request and never answers (playback never
// begins), or a closed port (the speech fails).
class AppDelegateTest : public DesktopTest {
protected:
    enum class Speech { neverAnswers, refused };

    std::shared_ptr<SimDesktop> makeDesktop() override
    {
        SimFixture fixture = oneWindowFixture({ SimElement("AXTextArea", "Short words to read.").named("text").frame(Rect(20, 40, 560, 300)) });
        fixture.screens = screens();
        fixture.inputMonitoring = inputMonitoring();
        return SimDesktop::create(fixture);
    }
    virtual InputMonitoringAccess inputMonitoring() const { return InputMonitoringAccess::granted; }

    void SetUp() override
    {
        DesktopTest::SetUp();
        LocalizedStrings::setLanguage(LocalizedStrings::Language::english);
        AudioOutput::route(AudioOutput::Destination::clockPaced);
    }
    void TearDown() override
    {
        if (HasFailure())
            for (const auto& line : log.lines())
                std::fprintf(stderr, "  | %s\n", line.c_str());
        if (reader)
            reader->stop();
        delegate.reset();
        RunLoop::runPending();
        Dispatch::waitUntilIdle();
        reader.reset();
        LocalizedStrings::resetLanguage();
        DesktopTest::TearDown();
    }

    void launch(Speech speech = Speech::neverAnswers)
    {
        const std::string base = "http://127.0.0.1:" + std::to_string(RawSocket::closedPort());
        std::shared_ptr<HttpSession> session;
        if (speech == Speech::neverAnswers)
            session = std::make_shared<HeldHttpSession>();
        reader = ArticleReader::create(TTSClient::make(
            "af_heart", { .timeZoneIdentifier = "Europe/Berlin", .usBaseURL = base, .cnBaseURL = base, .session = session }));
        delegate = AppDelegate::create({ .makeStatusBarController = [this] { ++controllers; return nullptr; },
                                         .showOnboarding = [this] { ++onboardings; return nullptr; },
                                         .checkForUpdates = [this] { ++updateChecks; },
                                         .reader = reader });
        delegate->applicationDidFinishLaunching();
        RunLoop::runPending();
    }

    // The watcher offers `text` of the editor, as after a drag over it.
    void offer(const std::string& text)
    {
        desktop->setText(desktop->element("text"), text);
        const AXElement element = desktop->element("text");
        const int64_t length = static_cast<int64_t>(Text::utf16Count(text));
        delegate->selectionWatcher()->onSelection(text, element, AXRange { 0, length }, desktop->frameOf(element), Point { 400, 600 });
        RunLoop::runPending();
    }
    void offerRecognised(const std::string& text)
    {
        ArticleParagraph paragraph;
        paragraph.text = text;
        paragraph.role = "Selection";
        paragraph.boundsDisabled = true;
        delegate->selectionWatcher()->onOCRSelection(paragraph, desktop->windowElement(42), "com.microsoft.VSCode", Point { 400, 600 });
        RunLoop::runPending();
    }

    std::optional<Rect> bubbleFrame()
    {
        for (const WindowInfo& info : programWindows())
            if (info.kCGWindowBounds && info.kCGWindowBounds->width() == SelectionBubble::panelSize)
                return info.kCGWindowBounds;
        return std::nullopt;
    }
    void tapBubble()
    {
        auto frame = bubbleFrame();
        ASSERT_TRUE(frame) << "the bubble is on screen";
        click({ frame->midX(), frame->midY() });
        RunLoop::runPending();
    }
    SelectionBubble::Mode mode() { return delegate->selectionBubble().currentMode(); }
    bool frozen() { return delegate->selectionWatcher()->frozen; }
    std::vector<std::string> watchdogLines() { return log.linesContaining("未进入 playing"); }

    std::vector<SimJournalEntry> journalOf(SimJournalEntry::Kind kind)
    {
        std::vector<SimJournalEntry> found;
        for (const SimJournalEntry& entry : desktop->journal())
            if (entry.kind == kind)
                found.push_back(entry);
        return found;
    }

    std::shared_ptr<ArticleReader> reader;
    std::shared_ptr<AppDelegate> delegate;
    int controllers = 0;
    int onboardings = 0;
    int updateChecks = 0;
};

TEST_F(AppDelegateTest, StartsUpInOrderAndChecksForUpdatesOnceFiveSecondsLater)
{
    launch();
    EXPECT_EQ(controllers, 1);
    EXPECT_EQ(onboardings, 1) << "onboarding was never completed";
    EXPECT_EQ(defaults->boolForKey("NSAppSleepDisabled"), true);
    EXPECT_EQ(journalOf(SimJournalEntry::Kind::inputMonitoringRequest).size(), 1u);
    EXPECT_TRUE(log.contains("[SelectionWatcher] 开始监听全局鼠标/键盘事件"));
    advance(4.9);
    EXPECT_EQ(updateChecks, 0);
    advance(0.1);
    EXPECT_EQ(updateChecks, 1);
    advance(60);
    EXPECT_EQ(updateChecks, 1);
    EXPECT_THAT(programWindows(), IsEmpty()) << "no alert when Input Monitoring is granted";
}

TEST_F(AppDelegateTest, ACompletedOnboardingIsNotShownAgain)
{
    defaults->set("Lorvantine.hasCompletedOnboarding", true);
    launch();
    EXPECT_EQ(onboardings, 0);
    EXPECT_EQ(controllers, 1);
    advance(5);
    EXPECT_EQ(updateChecks, 1);
}

TEST_F(AppDelegateTest, TheWatchdogGivesUpAfterATimeThatGrowsWithTheText)
{
    struct Case {
        size_t characters;
        double seconds;
    };
    launch();
    for (const Case c : { Case { 60, 15 }, Case { 300, 25 }, Case { 1000, 60 } }) {
        SCOPED_TRACE(c.characters);
        log.clear();
        std::string text;
        while (text.size() < c.characters)
            text += text.size() % 10 == 9 ? ' ' : 'a';
        offer(text);
        EXPECT_EQ(mode(), SelectionBubble::Mode::play);
        tapBubble();
        EXPECT_EQ(mode(), SelectionBubble::Mode::loading);
        EXPECT_TRUE(frozen());
        EXPECT_TRUE(reader->isReading());
        advance(c.seconds - 0.05);
        EXPECT_THAT(watchdogLines(), IsEmpty());
        advance(0.05);
        EXPECT_THAT(watchdogLines(), ElementsAre("[Hover] " + std::to_string(static_cast<int>(c.seconds)) + "s 未进入 playing → .error"));
        EXPECT_EQ(mode(), SelectionBubble::Mode::error);
        EXPECT_FALSE(reader->isReading());
        EXPECT_FALSE(frozen()) << "a new selection is offered after the watchdog";
        EXPECT_EQ(AppDelegate::watchdogSeconds(c.characters), c.seconds);
    }
}

TEST_F(AppDelegateTest, ATapWhileLoadingIsIgnoredAndATapOnTheErrorRetries)
{
    launch();
    offer("Read these words aloud.");
    tapBubble();
    advance(10);
    tapBubble();
    EXPECT_EQ(log.linesContaining("[SelectionReader] ▶").size(), 1u) << "the spinning bubble ignores the tap";
    advance(5);
    EXPECT_EQ(watchdogLines().size(), 1u) << "the first tap's watchdog, not re-armed";
    ASSERT_EQ(mode(), SelectionBubble::Mode::error);

    tapBubble();
    EXPECT_EQ(mode(), SelectionBubble::Mode::loading);
    EXPECT_EQ(log.linesContaining("[SelectionReader] ▶").size(), 2u) << "the same selection is read again";
    EXPECT_EQ(reader->paragraphs().front().text, "Read these words aloud.");
    advance(15);
    EXPECT_EQ(watchdogLines().size(), 2u);
}

TEST_F(AppDelegateTest, AfterAnErrorANewSelectionIsOfferedAndEscapeStopsWithoutTheWatchdog)
{
    launch();
    offer("First selection.");
    tapBubble();
    advance(15);
    ASSERT_EQ(mode(), SelectionBubble::Mode::error);
    offer("Second selection.");
    EXPECT_EQ(mode(), SelectionBubble::Mode::play);
    EXPECT_EQ(delegate->pendingSelection()->text, "Second selection.");

    tapBubble();
    ASSERT_TRUE(reader->isReading());
    delegate->selectionWatcher()->onStopPlayback();
    EXPECT_FALSE(reader->isReading());
    EXPECT_FALSE(frozen());
    EXPECT_FALSE(delegate->isWatchdogArmed());
    advance(30);
    EXPECT_EQ(watchdogLines().size(), 1u) << "the stop cancelled the second watchdog";
}

TEST_F(AppDelegateTest, ASpeechFailureShowsTheErrorAndLeavesNewSelectionsOpen)
{
    launch(Speech::refused);
    offer("Nothing will be spoken.");
    tapBubble();
    for (int i = 0; i < 14 && mode() != SelectionBubble::Mode::error; ++i) {
        ASSERT_TRUE(Dispatch::waitUntilIdle());
        advance(1);
    }
    EXPECT_EQ(mode(), SelectionBubble::Mode::error);
    ASSERT_EQ(log.linesContaining("TTS 最终失败").size(), 1u);
    EXPECT_THAT(log.linesContaining("TTS 最终失败").front(), ::testing::StartsWith("[Hover] TTS 最终失败 → .error: "));
    EXPECT_FALSE(reader->isReading());
    EXPECT_FALSE(frozen());
    advance(20);
    EXPECT_THAT(watchdogLines(), IsEmpty()) << "the error cancelled the watchdog";
}

TEST_F(AppDelegateTest, ARecognisedSelectionIsReadUnderATitleOfItsFirstFortyCharacters)
{
    launch();
    const std::string text = "  The river towns traded salt for wool, and grew rich.";
    offerRecognised(text);
    EXPECT_FALSE(delegate->pendingSelection());
    ASSERT_TRUE(delegate->pendingOCRSelection());
    tapBubble();
    EXPECT_TRUE(log.contains("[Hover-OCR] ▶ 54 字符, bundle=com.microsoft.VSCode"));
    ASSERT_EQ(reader->paragraphs().size(), 1u);
    EXPECT_EQ(reader->paragraphs().front().text, text);
    advance(15);
    EXPECT_THAT(watchdogLines(), ElementsAre("[Hover-OCR] 15s 未进入 playing → .error"));

    delegate->selectionWatcher()->onDismiss();
    EXPECT_FALSE(bubbleFrame());
    EXPECT_FALSE(delegate->pendingSelection());
    EXPECT_FALSE(delegate->pendingOCRSelection());
}

// Input Monitoring as the desktop answers it at launch, and what the person does with the alert.
class InputMonitoringTest : public AppDelegateTest, public ::testing::WithParamInterface<InputMonitoringAccess> {
protected:
    InputMonitoringAccess inputMonitoring() const override { return GetParam(); }

    // Launches, answering every alert with `button`; the titles of the alerts shown.
    std::vector<std::string> launchAnswering(const std::string& button, double seconds)
    {
        std::vector<std::string> shown;
        Alert::ScopedResponder responder([&](Alert& alert) {
            shown.push_back(alert.messageText);
            auto pressed = find(programElement(), "AXButton", button);
            ASSERT_TRUE(pressed);
            EXPECT_EQ(ax().performAction(*pressed, "AXPress"), AXError::success);
        });
        launch();
        advance(seconds);
        return shown;
    }
    // Launches, answering every alert with a key, as a person's hand does: Return and Escape typed
    // with another application in front answer nothing, and after a click on the alert's text
    // `code` does. Were the key lost, `otherwise` would answer the alert instead.
    std::vector<std::string> launchAnsweringWithKey(uint16_t code, const std::string& otherwise, double seconds)
    {
        std::vector<std::string> shown;
        Alert::ScopedResponder responder([&](Alert& alert) {
            shown.push_back(alert.messageText);
            // The other key first: taken by the alert, it would give the other answer.
            key(code == KeyEvent::keyReturn ? KeyEvent::keyEscape : KeyEvent::keyReturn);
            key(code);
            const auto text = find(programElement(), "AXStaticText");
            ASSERT_TRUE(text);
            const Point at = *attribute<Point>(*text, "AXPosition");
            click({ at.x + 10, at.y + 5 });
            key(code);
            DispatchQueue::main().async([this, otherwise] {
                if (auto button = find(programElement(), "AXButton", otherwise))
                    ax().performAction(*button, "AXPress");
            });
        });
        launch();
        advance(seconds);
        return shown;
    }
    std::vector<std::string> openedURLs()
    {
        std::vector<std::string> opened;
        for (const SimJournalEntry& entry : journalOf(SimJournalEntry::Kind::openURL))
            opened.push_back(entry.name);
        return opened;
    }
};

TEST_P(InputMonitoringTest, WithoutAccessTheAlertComesOnceAfterOneAndAHalfSeconds)
{
    const bool granted = GetParam() == InputMonitoringAccess::granted;
    EXPECT_THAT(launchAnswering("Open System Settings", 1.45), IsEmpty());
    std::vector<std::string> shown;
    {
        Alert::ScopedResponder responder([&](Alert& alert) {
            shown.push_back(alert.messageText);
            EXPECT_EQ(alert.informativeText, LocalizedStrings::string("alert.input_monitoring.body"));
            EXPECT_THAT(alert.buttons(), ElementsAre("Open System Settings", "Later"));
            EXPECT_TRUE(programWindows().size() == 1 && programWindows()[0].kCGWindowLayer == 8) << "a modal panel";
            auto pressed = find(programElement(), "AXButton", "Open System Settings");
            ASSERT_TRUE(pressed);
            EXPECT_EQ(ax().performAction(*pressed, "AXPress"), AXError::success);
        });
        advance(0.05);
        advance(10);
    }
    std::vector<std::string> opened;
    for (const SimJournalEntry& entry : journalOf(SimJournalEntry::Kind::openURL))
        opened.push_back(entry.name);
    if (granted) {
        EXPECT_THAT(shown, IsEmpty());
        EXPECT_THAT(opened, IsEmpty());
    } else {
        EXPECT_THAT(shown, ElementsAre("Lorvantine needs Input Monitoring"));
        EXPECT_THAT(opened, ElementsAre("x-apple.systempreferences:com.apple.preference.security?Privacy_ListenEvent"));
    }
    EXPECT_EQ(journalOf(SimJournalEntry::Kind::inputMonitoringRequest).size(), 1u) << "asked once, no retry";
    EXPECT_TRUE(delegate->selectionWatcher()) << "the application runs on either way";
    EXPECT_EQ(Application::shared().isActive(), false) << "the alert never brings the program to the front";
}

TEST_P(InputMonitoringTest, ReturnOpensTheSettings)
{
    const bool granted = GetParam() == InputMonitoringAccess::granted;
    EXPECT_EQ(launchAnsweringWithKey(KeyEvent::keyReturn, "Later", 2).size(), granted ? 0u : 1u);
    if (granted)
        EXPECT_THAT(openedURLs(), IsEmpty());
    else
        EXPECT_THAT(openedURLs(), ElementsAre("x-apple.systempreferences:com.apple.preference.security?Privacy_ListenEvent"));
    EXPECT_THAT(programWindows(), IsEmpty()) << "the alert has gone";
}

TEST_P(InputMonitoringTest, EscapeIsLater)
{
    const bool granted = GetParam() == InputMonitoringAccess::granted;
    EXPECT_EQ(launchAnsweringWithKey(KeyEvent::keyEscape, "Open System Settings", 2).size(), granted ? 0u : 1u);
    EXPECT_THAT(openedURLs(), IsEmpty());
    EXPECT_THAT(programWindows(), IsEmpty()) << "the alert has gone";
}

TEST_P(InputMonitoringTest, LaterOpensNothing)
{
    const auto shown = launchAnswering("Later", 2);
    EXPECT_EQ(shown.size(), GetParam() == InputMonitoringAccess::granted ? 0u : 1u);
    EXPECT_THAT(journalOf(SimJournalEntry::Kind::openURL), IsEmpty());
    EXPECT_THAT(programWindows(), IsEmpty()) << "the alert has gone";
}

INSTANTIATE_TEST_SUITE_P(Access, InputMonitoringTest,
                         ::testing::Values(InputMonitoringAccess::granted, InputMonitoringAccess::denied, InputMonitoringAccess::unknown),
                         [](const ::testing::TestParamInfo<InputMonitoringAccess>& access) {
                             switch (access.param) {
                             case InputMonitoringAccess::granted: return std::string("granted");
                             case InputMonitoringAccess::denied: return std::string("denied");
                             default: return std::string("unknown");
                             }
                         });

TEST_F(AppDelegateTest, AccessGrantedWhileTheRequestWaitsNeedsNoAlert)
{
    desktop->setInputMonitoring(InputMonitoringAccess::denied);
    launch();
    desktop->setInputMonitoring(InputMonitoringAccess::granted);
    advance(5);
    EXPECT_THAT(programWindows(), IsEmpty());
}

} // namespace
} // namespace lorvantine::test
