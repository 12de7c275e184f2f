#include "CLI/DiagnosticCommandTest.h"

#include "TestSupport/ForwardingAccessibility.h"

#include <gmock/gmock.h>

namespace lorvantine {
namespace {

using ::testing::ElementsAre;
using ::testing::MatchesRegex;

// Counts the probe's polls (its reads of the system-wide focused element) and lets a test act
// before a given poll.
class PollCountingAccessibility final : public test::ForwardingAccessibility {
public:
    using ForwardingAccessibility::ForwardingAccessibility;

    AXError copyAttributeValue(const AXElement& element, const std::string& attribute, AXValue& out) override
    {
        if (element == systemWideElement() && attribute == AXName::focusedUIElement) {
            ++polls;
            if (beforePoll)
                beforePoll(polls, inner());
        }
        return ForwardingAccessibility::copyAttributeValue(element, attribute, out);
    }

    int polls = 0;
    std::function<void(int poll, AccessibilityPort&)> beforePoll;
};

const std::string editorText = "Selected words sit in this editor, and a much longer passage follows them here.";

class SelectionProbeTest : public DiagnosticCommandTest {
protected:
    void useEditor(bool focused = true)
    {
        SimElement editor = SimElement("AXTextArea", editorText).named("editor").sized(560);
        editor.with("AXRoleDescription", std::string("text entry area"));
        editor.focused = focused;
        editor.selection = AXRange { 0, 8 };
        use(oneWindowFixture({ editor }), [this](PlatformServices base) {
            port = std::make_shared<PollCountingAccessibility>(base.accessibility);
            base.accessibility = port;
            return base;
        });
    }
    std::shared_ptr<PollCountingAccessibility> port;
};

TEST_F(SelectionProbeTest, TwoSecondsPollFourTimesAndWriteAnUnchangedSelectionOnce)
{
    useEditor();
    CommandRun result = run({ "--probe-selection", "--seconds", "2" });
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(port->polls, 4);
    EXPECT_DOUBLE_EQ(elapsed(), 2.0);
    ASSERT_EQ(result.lines.size(), 9u);
    EXPECT_THAT(std::vector<std::string>(result.lines.begin(), result.lines.begin() + 4),
                ElementsAre("🔬 Probe Selection — 轮询 2.0s", "   请切到目标 App 用鼠标划选文字，每 500ms 读一次",
                            "   所有变化都会打印（Ctrl+C 中断）", ""));
    EXPECT_THAT(result.lines[4], MatchesRegex("\\[[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}\\] front=com.example.Reader "
                                              "role=AXTextArea desc=\"text entry area\""));
    EXPECT_EQ(result.lines[5], "  selected=(8 chars) \"Selected\"");
    EXPECT_THAT(result.lines[6], MatchesRegex("  range=loc=0 len=8  bfr=100,50 [0-9]+x[0-9]+"));
    EXPECT_EQ(result.lines[7], "");
    EXPECT_EQ(result.lines[8], "✅ 轮询结束");
}

TEST_F(SelectionProbeTest, AnUnchangedStateIsRepeatedEveryTwoSecondsAndAChangeAtOnce)
{
    useEditor();
    CommandRun steady = run({ "--probe-selection", "--seconds", "3" });
    EXPECT_EQ(port->polls, 6);
    EXPECT_EQ(steady.countContaining("] front="), 2u);

    useEditor();
    port->beforePoll = [this](int poll, AccessibilityPort& ax) {
        if (poll == 3)
            ax.setAttributeValue(desktop->element("editor"), AXName::selectedTextRange, AXRange { 15, 64 });
    };
    CommandRun changed = run({ "--probe-selection", "--seconds", "2" });
    EXPECT_EQ(changed.countContaining("] front="), 2u);
    EXPECT_EQ(changed.countContaining("  selected=(8 chars) \"Selected\""), 1u);
    // Longer than 60 Characters: the first 60 and an ellipsis inside the quotes.
    EXPECT_TRUE(changed.has("  selected=(64 chars) \"" + editorText.substr(15, 60) + "…\""));
    EXPECT_THAT(changed.lines, ::testing::Contains(MatchesRegex("  range=loc=15 len=64  bfr=.*")));
}

TEST_F(SelectionProbeTest, NoFocusedElementAndTheDurationsGiven)
{
    useEditor(false);
    CommandRun missing = run({ "--probe-selection", "--seconds", "1" });
    EXPECT_EQ(port->polls, 2);
    EXPECT_EQ(missing.countContaining("] front=com.example.Reader focused=<missing>"), 1u);

    struct Case {
        std::vector<std::string> arguments;
        std::string header;
        int polls;
    };
    for (const Case& c : std::vector<Case> {
             { { "--probe-selection", "--seconds", "0.5" }, "🔬 Probe Selection — 轮询 0.5s", 1 },
             { { "--probe-selection", "--seconds", "two" }, "🔬 Probe Selection — 轮询 30.0s", 60 },
             { { "--probe-selection", "--seconds" }, "🔬 Probe Selection — 轮询 30.0s", 60 },
             { { "--probe-selection", "--seconds", "inf" }, "🔬 Probe Selection — 轮询 30.0s", 60 },
             { { "--probe-selection", "--seconds", "-1" }, "🔬 Probe Selection — 轮询 -1.0s", 0 },
         }) {
        useEditor();
        CommandRun result = run(c.arguments);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.lines.front(), c.header);
        EXPECT_EQ(port->polls, c.polls) << c.header;
    }
}

} // namespace
} // namespace lorvantine
