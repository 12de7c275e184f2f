#include "Core/ClipboardCapture.h"
#include "Platform/PasteboardPort.h"
#include "Selection/BlockedMainThreadClock.h"
#include "TestSupport/DesktopTest.h"

#include <gmock/gmock.h>

namespace lorvantine::test {
namespace {

using ::testing::IsEmpty;

const std::vector<PasteboardItem> richClipboard {
    { { { "public.utf8-plain-text", "user's text" }, { "public.html", "<b>user's</b> text" }, { "public.rtf", "{\\rtf1 x}" } } },
    { { { "public.png", std::string("\x89PNG\r\n\x1a\n\0\1", 10) } } },
};

// An editor in front whose text area has "selected words" selected and which copies it on
// Command+C as the test sets it up.
class ClipboardCaptureTest : public DesktopTest {
protected:
    std::shared_ptr<SimDesktop> makeDesktop() override
    {
        SimElement text("AXTextArea", "some selected words here");
        text.named("text");
        text.position = Point { 10, 40 };
        text.width = 400;
        text.focused = true;
        text.selection = AXRange { 5, 14 };
        SimFixture fixture = oneWindowFixture({ text });
        fixture.inputMonitoring = InputMonitoringAccess::granted;
        fixture.applications.front().behaviours.copy = copy();
        return SimDesktop::create(fixture);
    }
    virtual SimBehaviourOptions::Copy copy() const { return {}; }

    std::optional<std::string> capture(double timeout)
    {
        BlockedMainThreadClock driver(clock);
        const TimePoint before = clock->now();
        auto text = ClipboardCapture::captureSelectionText(seconds(timeout));
        took = toSeconds(clock->now() - before);
        return text;
    }
    void setClipboard(const std::vector<PasteboardItem>& items)
    {
        PasteboardPort& board = Platform::pasteboard();
        board.clearContents();
        if (!items.empty())
            board.writeObjects(items);
    }
    std::vector<PasteboardItem> clipboard() { return Platform::pasteboard().pasteboardItems(); }

    double took = 0;
};

class CopiesAfterATenth : public ClipboardCaptureTest {
    SimBehaviourOptions::Copy copy() const override { return { .delay = seconds(0.1) }; }
};

TEST_F(CopiesAfterATenth, ReturnsTheCopyAndRestoresRichContentsItemByItem)
{
    setClipboard(richClipboard);
    const int64_t before = Platform::pasteboard().changeCount();
    EXPECT_EQ(capture(0.25), "selected words");
    EXPECT_GE(took, 0.1);
    EXPECT_LE(took, 0.1101);
    EXPECT_EQ(clipboard(), richClipboard);
    EXPECT_GT(Platform::pasteboard().changeCount(), before);
    advance(2);
}

TEST_F(CopiesAfterATenth, AnEmptyBoardIsLeftEmpty)
{
    setClipboard({});
    EXPECT_EQ(capture(0.25), "selected words");
    EXPECT_THAT(clipboard(), IsEmpty());
    advance(2);
}

TEST_F(CopiesAfterATenth, ATimeOutOfZeroSendsTheKeyAndRestoresAtOnce)
{
    setClipboard(richClipboard);
    const int64_t before = Platform::pasteboard().changeCount();
    EXPECT_EQ(capture(0), std::nullopt);
    EXPECT_EQ(took, 0);
    EXPECT_EQ(clipboard(), richClipboard);
    EXPECT_GT(Platform::pasteboard().changeCount(), before);
    const auto posted = desktop->journal();
    EXPECT_TRUE(std::any_of(posted.begin(), posted.end(), [](const SimJournalEntry& e) {
        return e.event && e.event->keyCode == 8 && e.event->flags == EventFlags::maskCommand && e.tap == EventTap::hid
            && e.event->source == EventSourceState::combinedSession;
    }));
    advance(2); // the copy lands late and the grace watch puts the clipboard back
    EXPECT_EQ(clipboard(), richClipboard);
}

class IgnoresTheShortcut : public ClipboardCaptureTest {
    SimBehaviourOptions::Copy copy() const override { return { .ignoresShortcut = true }; }
};

TEST_F(IgnoresTheShortcut, WaitsOutTheTimeOut)
{
    setClipboard(richClipboard);
    EXPECT_EQ(capture(0.25), std::nullopt);
    EXPECT_GE(took, 0.25);
    EXPECT_LE(took, 0.2601);
    EXPECT_EQ(clipboard(), richClipboard);
    advance(2);
}

class ClearsThenWrites : public ClipboardCaptureTest {
    SimBehaviourOptions::Copy copy() const override { return { .delay = seconds(0.02), .pause = seconds(0.05) }; }
};

TEST_F(ClearsThenWrites, WaitsForTheTextAfterTheClear)
{
    setClipboard(richClipboard);
    EXPECT_EQ(capture(0.25), "selected words");
    EXPECT_GE(took, 0.07);
    EXPECT_EQ(clipboard(), richClipboard);
    advance(2);
}

class CopiesAPicture : public ClipboardCaptureTest {
    SimBehaviourOptions::Copy copy() const override { return { .content = SimBehaviourOptions::Copy::Content::image }; }
};

TEST_F(CopiesAPicture, GivesNoText)
{
    setClipboard(richClipboard);
    EXPECT_EQ(capture(0.25), std::nullopt);
    EXPECT_EQ(clipboard(), richClipboard);
    advance(2);
}

class CopiesTooLate : public ClipboardCaptureTest {
    SimBehaviourOptions::Copy copy() const override { return { .delay = seconds(0.6) }; }
};

TEST_F(CopiesTooLate, TheUsersClipboardSurvivesALateCopy)
{
    setClipboard(richClipboard);
    EXPECT_EQ(capture(0.25), std::nullopt);
    EXPECT_EQ(clipboard(), richClipboard);
    advance(0.5); // the editor copies 0.6 s after the key
    EXPECT_EQ(clipboard(), richClipboard);
    EXPECT_TRUE(log.contains("[SelectionOCR] ⚠️ ⌘C 在等待结束后才到，已再次恢复剪贴板"));
    advance(2);
}

TEST_F(CopiesTooLate, AUsersOwnCopyIsNeverUndone)
{
    setClipboard(richClipboard);
    EXPECT_EQ(capture(0.25), std::nullopt);
    // The user presses a key in the editor: whatever changes the clipboard now is theirs.
    Platform::windowServer().post(EventTap::hid, InputEvent::keyboard(std::nullopt, 0, true));
    RunLoop::runPending();
    advance(1);
    ASSERT_TRUE(Platform::pasteboard().stringForType(PasteboardType::string));
    EXPECT_EQ(*Platform::pasteboard().stringForType(PasteboardType::string), "selected words");
    EXPECT_FALSE(log.contains("已再次恢复剪贴板"));
}

TEST_F(CopiesTooLate, AKeyTheProgramPostsMeanwhileIsNotThePersonsHand)
{
    setClipboard(richClipboard);
    EXPECT_EQ(capture(0.25), std::nullopt);
    // A book's page turn: the right arrow, from the program's own event source.
    for (bool down : { true, false })
        Platform::windowServer().post(EventTap::hid, InputEvent::keyboard(EventSourceState::combinedSession, 124, down));
    RunLoop::runPending();
    advance(0.5);
    EXPECT_EQ(clipboard(), richClipboard) << "the late copy is still undone";
    EXPECT_TRUE(log.contains("[SelectionOCR] ⚠️ ⌘C 在等待结束后才到，已再次恢复剪贴板"));
    advance(2);
}

TEST_F(CopiesTooLate, WithoutInputMonitoringTheClipboardIsNotWatched)
{
    desktop->setInputMonitoring(InputMonitoringAccess::denied);
    setClipboard(richClipboard);
    EXPECT_EQ(capture(0.25), std::nullopt);
    advance(1);
    EXPECT_EQ(Platform::pasteboard().stringForType(PasteboardType::string), "selected words");
}

} // namespace
} // namespace lorvantine::test
