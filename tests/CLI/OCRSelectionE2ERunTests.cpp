#include "CLI/CLIRouter.h"
#include "CLI/OCRSelectionE2ERunner.h"

#include "Platform/EventMonitorPort.h"
#include "Platform/PasteboardPort.h"
#include "Platform/Toolkit/Button.h"
#include "Platform/Toolkit/Panel.h"
#include "Platform/Toolkit/Screen.h"
#include "Support/Files.h"
#include "Support/Text.h"
#include "TestSupport/DesktopTest.h"
#include "TestSupport/ScratchDirectory.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace lorvantine {
namespace {

using ::testing::ElementsAre;
using ::testing::MatchesRegex;

class FirstMouseButton final : public Button {
public:
    using Button::Button;
    bool acceptsFirstMouse(const MouseEvent&) const override { return true; }
};

// The running program as the runner sees it from outside, made of toolkit panels: a 60 × 60 read
// button up all along; a 40 × 40 bubble after a drag in another application (a press there
// hides it, as a click elsewhere does); on the bubble's click the selection copied, its count
// logged, and a click-through overlay over the whole screen with a 420 × 60 mini player whose
// rightmost button closes both.
class StandInProgram {
public:
    bool showsBubble = true;
    bool startsReading = true;
    bool logs = true; // false: its standard error goes somewhere else than the log file
    int closes = 0;

    explicit StandInProgram(std::string logPath) : m_logPath(std::move(logPath))
    {
        m_readButton = panel(Rect(1300, 700, 60, 60));
        m_readButton->orderFrontRegardless();

        m_bubble = panel(Rect(700, 500, 40, 40));
        auto bubbleButton = std::make_shared<FirstMouseButton>(Rect(0, 0, 40, 40), "▶");
        bubbleButton->onAction = [this] { bubbleClicked(); };
        m_bubble->contentView()->addSubview(bubbleButton);

        m_overlay = panel(Rect(0, 0, 1440, 900));
        m_overlay->setIgnoresMouseEvents(true);

        m_player = panel(Rect(510, 100, 420, 60));
        auto pause = std::make_shared<FirstMouseButton>(Rect(10, 14, 32, 32), "Pause");
        auto close = std::make_shared<FirstMouseButton>(Rect(370, 14, 32, 32), "Close");
        close->onAction = [this] {
            m_overlay->orderOut();
            m_player->orderOut();
            ++closes;
        };
        m_player->contentView()->addSubview(pause);
        m_player->contentView()->addSubview(close);

        // The program is a process of its own on this desktop, which this one's monitors are not:
        // it sees every press, and one on its own bubble is no click elsewhere.
        m_tap = Platform::eventMonitor().createListenOnlyTap(
            eventTypeMask(InputEventType::leftMouseDown) | eventTypeMask(InputEventType::leftMouseUp),
            [this](const MonitoredEvent& e) {
                if (e.type == InputEventType::leftMouseDown) {
                    m_pressedAt = e.location;
                    if (!onBubble(e.location))
                        m_bubble->orderOut();
                    return;
                }
                const bool dragged = std::hypot(e.location.x - m_pressedAt.x, e.location.y - m_pressedAt.y) > 3;
                if (dragged && showsBubble)
                    m_bubble->orderFrontRegardless();
            },
            {});
    }
    ~StandInProgram()
    {
        if (m_tap)
            Platform::eventMonitor().removeTap(*m_tap);
        for (auto* p : { &m_readButton, &m_bubble, &m_overlay, &m_player })
            (*p)->orderOut();
    }

    std::vector<std::string> copied;

private:
    static std::shared_ptr<Panel> panel(const Rect& appKitFrame)
    {
        auto p = std::make_shared<Panel>(appKitFrame, WindowStyle::nonactivatingPanel);
        p->setLevel(WindowLevel::floating);
        return p;
    }

    bool onBubble(Point topLeft) const
    {
        const auto frame = Screen::toTopLeft(m_bubble->frame());
        return m_bubble->isVisible() && frame && frame->contains(topLeft);
    }

    void bubbleClicked()
    {
        m_bubble->orderOut();
        WindowServerPort& server = Platform::windowServer();
        for (bool down : { true, false }) {
            InputEvent key = InputEvent::keyboard(EventSourceState::combinedSession, 8, down); // C
            key.flags = EventFlags::maskCommand;
            server.post(EventTap::session, key);
        }
        const std::string text = Platform::pasteboard().stringForType(PasteboardType::string).value_or("");
        copied.push_back(text);
        if (logs)
            (void)Files::appendLine(m_logPath, "[SelectionOCR] 📋 clipboard: " + std::to_string(Text::characterCount(text)) + " 字符");
        if (!startsReading)
            return;
        m_overlay->orderFrontRegardless();
        m_player->orderFrontRegardless();
    }

    std::string m_logPath;
    std::shared_ptr<Panel> m_readButton, m_bubble, m_overlay, m_player;
    std::optional<EventTapID> m_tap;
    Point m_pressedAt;
};

struct RunnerRun {
    int status = -1;
    std::vector<std::string> lines;

    // The last `count` lines, or all of them when there are fewer (the comparison then fails).
    std::vector<std::string> last(size_t count) const
    {
        return std::vector<std::string>(lines.end() - static_cast<long>(std::min(count, lines.size())), lines.end());
    }
};

// VS Code installed on a 1440 × 900 desktop, the stand-in program in this process, and the
// runner driven through the router on the manual clock.
class OCRSelectionE2ERun : public DesktopTest {
protected:
    std::shared_ptr<SimDesktop> makeDesktop() override { return SimDesktop::create(fixtureNamed("ocr-e2e-vscode.json")); }

    void SetUp() override
    {
        DesktopTest::SetUp();
        clock->setMainThreadSleepsAdvance(true);
        program = std::make_unique<StandInProgram>(logPath);
        // The program was started with its standard error sent there.
        test::writeFile(logPath, "");
        test::writeFile(fixturePath, Files::readAll(std::string(LORVANTINE_SOURCE_DIR) + "/tests/fixtures/ocr-e2e-segments.md").valueOr(""));
    }
    void TearDown() override
    {
        program.reset();
        for (const std::string& copy : copies)
            std::filesystem::remove(copy);
        DesktopTest::TearDown();
    }

    RunnerRun run(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), { "lorvantine", "--probe-ocr-e2e" });
        log.clear();
        RunnerRun result;
        result.status = CLIRouter::route(arguments);
        // The runner's own lines: not the router's permission line nor the recogniser's.
        for (const std::string& line : log.lines())
            if (line != "✅ 辅助功能权限已授权" && !line.starts_with("[VisionOCR]"))
                result.lines.push_back(line);
        const std::string staged = "📄 fixture 复制到 ";
        for (const std::string& line : result.lines)
            if (line.starts_with(staged))
                copies.push_back(line.substr(staged.size()));
        return result;
    }
    std::vector<std::string> standardRun() { return { "--app", "com.microsoft.VSCode", "--fixture", fixturePath, "--log", logPath }; }

    test::ScratchDirectory scratch;
    std::string fixturePath = (scratch / "segments").string(); // no extension: copied as ".md"
    std::string logPath = (scratch / "selection-ocr.log").string();
    std::unique_ptr<StandInProgram> program;
    std::vector<std::string> copies;
};

TEST_F(OCRSelectionE2ERun, EachSegmentIsDraggedReadAndTimed)
{
    RunnerRun result = run(standardRun());
    EXPECT_EQ(result.status, 0);
    // The second segment ends in "END 2", two recognised words on one line.
    EXPECT_THAT(result.lines,
                ElementsAre("✅ Lorvantine pid=" + std::to_string(pid()), MatchesRegex("📄 fixture 复制到 /tmp/lorvantine-fixture-[0-9]+\\.md"),
                            "🎯 window 100,40 1000×600", "🔤 整窗 OCR: 31 词", "🔍 找到 2 组 sentinel: [1, 2]", "",
                            "━━━━━━━━━━━━━ S1 ━━━━━━━━━━━━━", "  🔦 frontmost=com.microsoft.VSCode expected=com.microsoft.VSCode",
                            "  🖱  drag S1 anchor=(100,106) extend=(920,133)", "  ✅ S1 clip=95字 first_playing=150ms", "",
                            "━━━━━━━━━━━━━ S2 ━━━━━━━━━━━━━", "  🔦 frontmost=com.microsoft.VSCode expected=com.microsoft.VSCode",
                            "  🖱  drag S2 anchor=(100,176) extend=(920,186)", "  ✅ S2 clip=38字 first_playing=150ms", "",
                            "━━━━━━━━━━ Summary ━━━━━━━━━━", "2/2 PASS", "",
                            "seg | chars | first_playing", " S1 | 95 | 150ms", " S2 | 38 | 150ms"));
    // What the drags selected is what the program copied; the counts come from its log.
    EXPECT_THAT(program->copied, ElementsAre("Attention is a skill that daily practice can train.\nShort sessions beat long weekend marathons.",
                                             "Keep a small notebook beside the book."));
    EXPECT_EQ(Files::readAll(logPath).valueOr(""), "[SelectionOCR] 📋 clipboard: 95 字符\n[SelectionOCR] 📋 clipboard: 38 字符\n");
    // Each reading was closed by the mini player's rightmost button.
    EXPECT_EQ(program->closes, 2);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(Files::readAll(copies[0]).valueOr(""), Files::readAll(fixturePath).valueOr("-"));
}

TEST_F(OCRSelectionE2ERun, TheSegmentFilterKeepsWholeNumbersOnly)
{
    // " 1" is no number: only segment 2 runs.
    RunnerRun some = run({ "--app", "com.microsoft.VSCode", "--fixture", fixturePath, "--log", logPath, "--segments", "2, 1" });
    EXPECT_EQ(some.status, 0);
    EXPECT_EQ(std::count(some.lines.begin(), some.lines.end(), "━━━━━━━━━━━━━ S1 ━━━━━━━━━━━━━"), 0);
    auto summary = std::find(some.lines.begin(), some.lines.end(), "━━━━━━━━━━ Summary ━━━━━━━━━━");
    EXPECT_THAT(std::vector<std::string>(summary, some.lines.end()),
                ElementsAre("━━━━━━━━━━ Summary ━━━━━━━━━━", "1/1 PASS", "", "seg | chars | first_playing", " S2 | 38 | 150ms"));

    // Nothing passes the filter: an empty summary, and nothing dragged.
    RunnerRun none = run({ "--app", "com.microsoft.VSCode", "--fixture", fixturePath, "--log", logPath, "--segments", "x" });
    EXPECT_EQ(none.status, 0);
    EXPECT_THAT(none.last(6),
                ElementsAre("🔍 找到 2 组 sentinel: [1, 2]", "", "━━━━━━━━━━ Summary ━━━━━━━━━━", "0/0 PASS", "",
                            "seg | chars | first_playing"));
    EXPECT_EQ(program->copied.size(), 1u);
}

TEST_F(OCRSelectionE2ERun, AFailedSegmentEndsWithStatusOne)
{
    // Only the read button is up: at 60 × 60 it is no bubble.
    program->showsBubble = false;
    RunnerRun noBubble = run({ "--app", "com.microsoft.VSCode", "--fixture", fixturePath, "--log", logPath, "--segments", "1" });
    EXPECT_EQ(noBubble.status, 1);
    EXPECT_THAT(noBubble.last(8),
                ElementsAre("  ❌ S1 clip=0字 first_playing=—", "     ✗ bubble_shown: 3s 未见 bubble", "", "━━━━━━━━━━ Summary ━━━━━━━━━━",
                            "0/1 PASS", "", "seg | chars | first_playing", " S1 | 0 | FAIL"));

    // The bubble comes and copies, the reading never starts: the copied count still stands.
    program->showsBubble = true;
    program->startsReading = false;
    const TimePoint before = clock->now();
    RunnerRun noOverlay = run({ "--app", "com.microsoft.VSCode", "--fixture", fixturePath, "--log", logPath, "--segments", "1" });
    EXPECT_EQ(noOverlay.status, 1);
    EXPECT_THAT(noOverlay.last(8),
                ElementsAre("  ❌ S1 clip=95字 first_playing=—", "     ✗ overlay_shown: 60s 未见 overlay", "",
                            "━━━━━━━━━━ Summary ━━━━━━━━━━", "0/1 PASS", "", "seg | chars | first_playing", " S1 | 95 | FAIL"));
    EXPECT_GE(toSeconds(clock->now() - before), 60.0);
    EXPECT_EQ(program->closes, 0);
}

TEST_F(OCRSelectionE2ERun, ALogThatIsMissingOrDoesNotGrowIsASetupErrorNeverAPass)
{
    std::filesystem::remove(logPath);
    RunnerRun missing = run(standardRun());
    EXPECT_EQ(missing.status, 2);
    EXPECT_THAT(missing.last(2), ElementsAre("❌ 日志 " + logPath + " 不存在",
                                             "   主程序的标准错误须写到这里: scripts/build && build/lorvantine 2>" + logPath
                                                 + "（或用 --log 指定它写去的文件）"));
    EXPECT_TRUE(program->copied.empty());

    // The program copies, but its standard error goes elsewhere: no segment passes with 0 copied.
    test::writeFile(logPath, "");
    program->logs = false;
    RunnerRun silent = run(standardRun());
    EXPECT_EQ(silent.status, 2);
    EXPECT_THAT(silent.last(2), ElementsAre("❌ 日志 " + logPath + " 在主程序响应点击后没有增长 — 它不是主程序的标准错误",
                                            "   主程序的标准错误须写到这里: scripts/build && build/lorvantine 2>" + logPath
                                                + "（或用 --log 指定它写去的文件）"));
    for (const std::string& line : silent.lines)
        EXPECT_EQ(line.find("clip="), std::string::npos) << line;
    EXPECT_EQ(program->copied.size(), 1u);
    EXPECT_EQ(program->closes, 1);
}

TEST_F(OCRSelectionE2ERun, SetupErrorsEndWithStatusTwo)
{
    const std::string missing = (scratch / "missing.md").string();
    const std::string plain = (scratch / "plain.md").string();
    test::writeFile(plain, "Some END text\nS1X here, no pair\n");
    struct Case {
        std::vector<std::string> arguments;
        std::vector<std::string> last;
    };
    const std::vector<Case> cases {
        { { "--fixture", fixturePath }, { "用法: --probe-ocr-e2e --app <bundleID> --fixture <path> [--segments 1,2,3] [--log <path>]" } },
        { { "--app", "com.apple.Safari", "--fixture", fixturePath }, { "❌ com.apple.Safari 不在 OCR_WHITELIST 里" } },
        { { "--app", "com.microsoft.VSCode", "--fixture" }, { "❌ 需要 --fixture <path>" } },
        { { "--app", "com.microsoft.VSCode", "--fixture", missing }, { "❌ fixture 不存在: " + missing, "❌ 无法打开 fixture" } },
        { { "--app", "md.obsidian", "--fixture", fixturePath }, { "❌ 找不到 md.obsidian 的应用路径", "❌ 无法打开 fixture" } },
        { { "--app", "com.microsoft.VSCode", "--fixture", plain },
          { "❌ 未找到任何 START<N>/END<N> sentinel — 检查 fixture 或 OCR 质量", "提示: 用 --ocr-debug 打印疑似 token" } },
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments { "--log", logPath };
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        RunnerRun result = run(arguments);
        EXPECT_EQ(result.status, 2) << c.last.back();
        ASSERT_GE(result.lines.size(), c.last.size());
        EXPECT_EQ(result.last(c.last.size()), c.last);
    }

    // The words that look like sentinels, listed on request.
    RunnerRun debug = run({ "--app", "com.microsoft.VSCode", "--fixture", plain, "--ocr-debug", "--log", logPath });
    EXPECT_EQ(debug.status, 2);
    std::vector<std::string> suspects;
    for (const std::string& line : debug.lines)
        if (line.find("' @ ") != std::string::npos)
            suspects.push_back(line);
    EXPECT_THAT(suspects, ElementsAre(MatchesRegex("  \\[[0-9]+\\] 'Some' @ 100,[0-9]+"), MatchesRegex("  \\[[0-9]+\\] 'END' @ [0-9]+,[0-9]+"),
                                      MatchesRegex("  \\[[0-9]+\\] 'S1X' @ 100,[0-9]+")));

    // Without trust the runner stops before anything else.
    desktop->setTrusted(false);
    Log::Capture untrusted;
    EXPECT_EQ(OCRSelectionE2ERunner::run({ "lorvantine", "--probe-ocr-e2e" }), 2);
    EXPECT_THAT(untrusted.lines(), ElementsAre("❌ 缺少辅助功能权限"));
}

} // namespace
} // namespace lorvantine
