#include "Platform/EventMonitorPort.h"
#include "Platform/PasteboardPort.h"
#include "SimDesktop/Model/SimFixtureLoader.h"

#include "SimDesktopTestSupport.h"
#include "TestSupport/ManualClockTest.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

std::string fixturePath(const std::string& name) { return std::string(LORVANTINE_SOURCE_DIR) + "/tests/fixtures/" + name; }

TEST(SimSelectionFixtureKeys, BehavioursSelectionsAndTapsAreReadOrRefusedWithTheirPath)
{
    const std::string app = R"({"applications": [{"behaviours": )";
    const std::string element = R"({"applications": [{"windows": [{"frame": [0, 0, 10, 10], "children": [)";
    const std::vector<std::pair<std::string, std::string>> refused {
        { app + R"({"selectText": true}}]})", "bad.json: /applications/0/behaviours/selectText: unknown key \"selectText\"" },
        { app + R"({"copy": {"delay": -0.1}}}]})", "bad.json: /applications/0/behaviours/copy/delay: must not be negative" },
        { app + R"({"copy": {"content": "rtf"}}}]})",
          "bad.json: /applications/0/behaviours/copy/content: unknown value \"rtf\" (expected one of image, selection)" },
        { app + R"({"copy": true}}]})", "bad.json: /applications/0/behaviours/copy: expected an object, found a boolean" },
        { element + R"({"role": "AXTextArea", "text": "abc", "selection": [2, 2]}]}]}]})",
          "bad.json: /applications/0/windows/0/children/0/selection: expected a range within the element's text" },
        { element + R"({"role": "AXGroup", "selection": [0, 0]}]}]}]})",
          "bad.json: /applications/0/windows/0/children/0/selection: expected a range within the element's text" },
        { element + R"({"role": "AXTextArea", "text": "abc", "selection": [0.5, 1]}]}]}]})",
          "bad.json: /applications/0/windows/0/children/0/selection: expected a range within the element's text" },
        { R"({"eventTaps": "off"})", "bad.json: /eventTaps: unknown value \"off\" (expected one of available, cannotCreate)" },
    };
    for (const auto& [json, message] : refused) {
        auto result = SimFixtureLoader::parse(json, "bad.json");
        EXPECT_EQ(result ? std::string("(accepted)") : result.error(), message) << json;
    }

    auto fixture = SimFixtureLoader::parse(
        R"({"eventTaps": "cannotCreate", "applications": [{"behaviours": {"selectsText": true,
             "copy": {"delay": 0.25, "pause": 0.05, "ignoresShortcut": false, "content": "image"}},
           "windows": [{"frame": [0, 0, 100, 100], "children": [
             {"role": "AXTextArea", "name": "t", "text": "héllo 🌍", "selection": [6, 2], "selectionHidden": true}]}]}]})",
        "good.json");
    ASSERT_TRUE(fixture) << fixture.error();
    EXPECT_FALSE(fixture->eventTapsAvailable);
    const SimBehaviourOptions& b = fixture->applications[0].behaviours;
    EXPECT_TRUE(b.selectsText);
    ASSERT_TRUE(b.copy);
    EXPECT_EQ(b.copy->delay, seconds(0.25));
    EXPECT_EQ(b.copy->pause, seconds(0.05));
    EXPECT_EQ(b.copy->content, SimBehaviourOptions::Copy::Content::image);
    const SimElement& text = fixture->applications[0].windows[0].children[0];
    EXPECT_EQ(text.selection, (AXRange { 6, 2 })) << "the emoji is two UTF-16 units";
    EXPECT_TRUE(text.selectionHidden);
}

// What a program reading the selection finds in each fixture.
class SimSelectionFixtures : public ManualClockTest {
public:
    void load(const std::string& name)
    {
        std::string error;
        auto desktop = SimDesktop::load(fixturePath(name), error);
        ASSERT_TRUE(desktop) << error;
        t = std::make_unique<PortsUnderTest>(desktop);
    }
    std::optional<AXElement> focused()
    {
        return t->get<AXElement>(t->ax().systemWideElement(), "AXFocusedUIElement");
    }
    void post(InputEventType type, Point at, int64_t clicks = 1)
    {
        InputEvent e = InputEvent::mouse(std::nullopt, type, at);
        e.clickCount = type == InputEventType::leftMouseDragged ? 0 : clicks;
        t->ports.windowServer->post(EventTap::hid, e);
    }
    void drag(Point from, Point to)
    {
        post(InputEventType::leftMouseDown, from);
        post(InputEventType::leftMouseDragged, to);
        post(InputEventType::leftMouseUp, to);
    }
    // Copies as a program does (Command+C at the HID tap) and gives the plain text, if any.
    std::optional<std::string> copy()
    {
        for (bool down : { true, false }) {
            InputEvent e = InputEvent::keyboard(EventSourceState::combinedSession, 8, down);
            e.flags = EventFlags::maskCommand;
            t->ports.windowServer->post(EventTap::hid, e);
        }
        return t->ports.pasteboard->stringForType(PasteboardType::string);
    }
    std::unique_ptr<PortsUnderTest> t;
};

TEST_F(SimSelectionFixtures, DrawnTextEditorsSelectWithoutShowingItAndCopyOrNot)
{
    struct Case {
        const char* file;
        const char* editor;
        Point from, to;
        std::string copied;
    };
    const Case cases[] = {
        { "selection-vscode.json", "vscode-editor", { 122, 181 }, { 1100, 181 },
          "The first chapter argues that attention is a skill we can train." },
        { "selection-ignores-copy.json", "obsidian-editor", { 241, 161 }, { 600, 161 }, "the user's own clipboard" },
        { "selection-two-screens.json", "two-screens-editor", { 1562, -92 }, { 2500, -92 },
          "The history book opens with the river towns and the trade that made them rich." },
    };
    for (const Case& c : cases) {
        load(c.file);
        const AXElement editor = t->desktop->element(c.editor);
        EXPECT_EQ(focused(), editor) << c.file;
        EXPECT_EQ(t->error(editor, "AXSelectedText"), AXError::attributeUnsupported) << c.file;
        EXPECT_EQ(t->error(editor, "AXValue"), AXError::attributeUnsupported) << c.file;
        drag(c.from, c.to);
        const int64_t before = t->ports.pasteboard->changeCount();
        auto copied = copy();
        EXPECT_EQ(copied, c.copied) << c.file;
        EXPECT_EQ(t->ports.pasteboard->changeCount() - before, std::string(c.file) == "selection-ignores-copy.json" ? 0 : 1)
            << c.file;
    }
}

TEST_F(SimSelectionFixtures, TheReadersEdgeElementsAnswerAsTheirApplicationsDo)
{
    load("selection-reader-edges.json");
    struct Case {
        const char* element;
        std::optional<std::string> selected;
        std::optional<AXRange> range;
        std::optional<std::string> forRange; // AXStringForRange of the range
        bool listsBounds;
    };
    const Case cases[] = {
        { "edge-short-selected-text", "The reader keeps going.", AXRange { 12, 24 }, "The reader keeps going.\n", true },
        { "edge-no-string-for-range", "Bring the second volume.", AXRange { 12, 25 }, std::nullopt, true },
        { "edge-no-bounds", "margin notes", AXRange { 4, 12 }, "margin notes", false },
        { "edge-no-range", "Two blanks", std::nullopt, std::nullopt, true },
    };
    for (const Case& c : cases) {
        const AXElement e = t->desktop->element(c.element);
        ASSERT_EQ(t->ax().setAttributeValue(e, "AXFocused", true), AXError::success) << c.element;
        EXPECT_EQ(focused(), e);
        EXPECT_EQ(t->get<std::string>(e, "AXSelectedText"), c.selected) << c.element;
        EXPECT_EQ(t->get<AXRange>(e, "AXSelectedTextRange"), c.range) << c.element;
        if (c.range) {
            EXPECT_EQ(t->parameterized<std::string>(e, "AXStringForRange", *c.range), c.forRange) << c.element;
        }
        std::vector<std::string> names;
        t->ax().copyParameterizedAttributeNames(e, names);
        EXPECT_EQ(std::count(names.begin(), names.end(), "AXBoundsForRange") == 1, c.listsBounds) << c.element;
    }
}

TEST_F(SimSelectionFixtures, TheBrowserSelectsAndCopiesLikeAnyApplication)
{
    load("selection-browser.json");
    const AXElement paragraph = t->desktop->element("chrome-paragraph-2");
    const Rect frame = *t->desktop->frameOf(paragraph);
    post(InputEventType::leftMouseDown, { frame.minX() + 5, frame.minY() + 5 }, 2);
    post(InputEventType::leftMouseUp, { frame.minX() + 5, frame.minY() + 5 }, 2);
    EXPECT_EQ(focused(), paragraph);
    EXPECT_EQ(t->get<std::string>(paragraph, "AXSelectedText"), "Readers");
    EXPECT_EQ(copy(), "Readers");
    EXPECT_EQ(t->ports.workspace->frontmostApplication()->bundleIdentifier, "com.google.Chrome");
}

TEST_F(SimSelectionFixtures, TwoScreensOfDifferentHeightsFlipByThePrimaryOne)
{
    load("selection-two-screens.json");
    const auto screens = t->ports.windowServer->screens();
    ASSERT_EQ(screens.size(), 2u);
    EXPECT_EQ(t->ports.windowServer->mainScreen(), screens[1]) << "the front window is on the taller screen";
    EXPECT_NE(screens[0].frame.height(), screens[1].frame.height());

    std::vector<MonitoredEvent> heard;
    auto monitor = t->ports.eventMonitor->addGlobalMonitor(eventTypeMask(InputEventType::leftMouseUp),
                                                           [&](const MonitoredEvent& e) { heard.push_back(e); });
    ASSERT_TRUE(monitor);
    post(InputEventType::leftMouseUp, { 1700, -100 });
    RunLoop::runPending();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].screenLocation, (Point { 1700, 1000 })) << "900 − (−100): the primary screen's height";
    EXPECT_EQ(t->ports.windowServer->mouseLocation(WindowServerPort::Origin::appKit), (Point { 1700, 1000 }));
    t->ports.eventMonitor->removeMonitor(*monitor);
}

TEST_F(SimSelectionFixtures, TheDemoTextEditorSelectsLive)
{
    t = std::make_unique<PortsUnderTest>(SimDesktop::demo());
    const AXElement text = t->desktop->element("textedit-text");
    EXPECT_EQ(t->ax().setAttributeValue(text, "AXSelectedTextRange", AXRange { 17, 11 }), AXError::success);
    EXPECT_EQ(t->get<std::string>(text, "AXSelectedText"), "The Shallow");
    t->desktop->setFrontmost(502);
    EXPECT_EQ(copy(), "The Shallow");
}

} // namespace
} // namespace lorvantine
