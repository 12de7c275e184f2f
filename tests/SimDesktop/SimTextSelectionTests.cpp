#include "Platform/PasteboardPort.h"

#include "SimDesktopTestSupport.h"
#include "TestSupport/ManualClockTest.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

constexpr const char* sample = "The quick brown fox\njumps over the lazy dog.";

// An editor (pid 700) whose text area holds `sample`, behind a browser (pid 800) in front whose
// window does not cover it; the editor selects with the mouse and copies on Command+C.
SimFixture editorFixture(SimBehaviourOptions behaviours, SimElement text = SimElement("AXTextArea", sample))
{
    text.named("text").frame(Rect(20, 40, 500, 200)).fontSize(16);
    SimFixture f = oneWindowFixture({ text });
    f.applications[0].active = false;
    f.applications[0].behaviours = behaviours;
    SimApplication browser;
    browser.pid = 800;
    browser.bundleIdentifier = "com.apple.Safari";
    browser.active = true;
    SimWindow w;
    w.number = 43;
    w.frame = Rect(800, 50, 500, 400);
    browser.windows.push_back(w);
    f.applications.push_back(browser);
    return f;
}

SimBehaviourOptions selectsAndCopies(SimBehaviourOptions::Copy copy = {})
{
    SimBehaviourOptions b;
    b.selectsText = true;
    b.copy = copy;
    return b;
}

class SimTextSelectionTest : public ManualClockTest {
public:
    void load(SimFixture fixture)
    {
        t = std::make_unique<PortsUnderTest>(SimDesktop::create(fixture));
        text = t->desktop->element("text");
    }

    // The middle of the Characters [location, location + length) of the text, and its edges.
    Point middle(int64_t location, int64_t length)
    {
        auto r = t->bounds(text, location, length);
        EXPECT_TRUE(r);
        return r ? Point { r->midX(), r->midY() } : Point {};
    }
    Point before(int64_t index) { auto p = middle(index, 1); return { t->bounds(text, index, 1)->minX() + 1, p.y }; }
    Point after(int64_t index) { auto p = middle(index, 1); return { t->bounds(text, index, 1)->maxX() - 1, p.y }; }

    void mouse(InputEventType type, Point at, int64_t clicks = 1)
    {
        InputEvent e = InputEvent::mouse(std::nullopt, type, at);
        if (type != InputEventType::leftMouseDragged)
            e.clickCount = clicks;
        t->ports.windowServer->post(EventTap::hid, e);
    }
    void click(Point at, int64_t clicks)
    {
        for (int64_t n = 1; n <= clicks; ++n) {
            mouse(InputEventType::leftMouseDown, at, n);
            mouse(InputEventType::leftMouseUp, at, n);
        }
    }
    void drag(Point from, Point to, int64_t clicks = 1)
    {
        mouse(InputEventType::leftMouseDown, from, clicks);
        mouse(InputEventType::leftMouseDragged, { (from.x + to.x) / 2, (from.y + to.y) / 2 });
        mouse(InputEventType::leftMouseDragged, to);
        mouse(InputEventType::leftMouseUp, to, clicks);
    }
    void commandC(std::optional<ProcessID> toPid = std::nullopt)
    {
        InputEvent down = InputEvent::keyboard(EventSourceState::combinedSession, 8, true);
        down.flags = EventFlags::maskCommand;
        InputEvent up = InputEvent::keyboard(EventSourceState::combinedSession, 8, false);
        up.flags = EventFlags::maskCommand;
        for (const InputEvent& e : { down, up }) {
            if (toPid)
                t->ports.windowServer->postToPid(*toPid, e);
            else
                t->ports.windowServer->post(EventTap::hid, e);
        }
    }
    std::optional<std::string> selectedText() { return t->get<std::string>(text, "AXSelectedText"); }
    std::optional<AXRange> selectedRange() { return t->get<AXRange>(text, "AXSelectedTextRange"); }
    std::vector<std::string> reactions()
    {
        std::vector<std::string> out;
        for (const auto& e : t->desktop->journal())
            if (e.kind == SimJournalEntry::Kind::reaction)
                out.push_back(e.name);
        return out;
    }
    void advance(double s)
    {
        Dispatch::advance(*clock, seconds(s));
        ASSERT_TRUE(Dispatch::waitUntilIdle());
    }

    std::unique_ptr<PortsUnderTest> t;
    AXElement text;
};

TEST_F(SimTextSelectionTest, GesturesSelectThroughTheLayoutAndFocusTheText)
{
    struct Case {
        const char* what;
        std::function<void(SimTextSelectionTest&)> gesture;
        AXRange range;
        const char* selected;
    };
    const Case cases[] = {
        { "a click in the left half of q puts the caret before it", [](auto& s) { s.click(s.before(4), 1); }, { 4, 0 }, "" },
        { "a click in the right half of q puts it after", [](auto& s) { s.click(s.after(4), 1); }, { 5, 0 }, "" },
        { "a double click selects the word", [](auto& s) { s.click(s.middle(6, 1), 2); }, { 4, 5 }, "quick" },
        { "a double click on a blank selects the blank", [](auto& s) { s.click(s.middle(9, 1), 2); }, { 9, 1 }, " " },
        { "a double click on punctuation selects it alone", [](auto& s) { s.click(s.middle(43, 1), 2); }, { 43, 1 }, "." },
        { "a triple click selects the paragraph and its line break", [](auto& s) { s.click(s.middle(11, 1), 3); },
          { 0, 20 }, "The quick brown fox\n" },
        { "a triple click in the last paragraph", [](auto& s) { s.click(s.middle(30, 1), 3); }, { 20, 24 },
          "jumps over the lazy dog." },
        { "a drag selects between the carets", [](auto& s) { s.drag(s.before(4), s.after(14)); }, { 4, 11 },
          "quick brown" },
        { "a drag backwards selects the same way", [](auto& s) { s.drag(s.after(14), s.before(4)); }, { 4, 11 },
          "quick brown" },
        { "a drag across the paragraphs", [](auto& s) { s.drag(s.before(16), s.after(24)); }, { 16, 9 },
          "fox\njumps" },
        { "a drag past the text's end stops at its end", [](auto& s) { s.drag(s.before(35), { 700, 280 }); },
          { 35, 9 }, "lazy dog." },
        { "a double click then a drag extends by words", [](auto& s) { s.drag(s.middle(5, 1), s.middle(11, 1), 2); },
          { 4, 11 }, "quick brown" },
    };
    for (const Case& c : cases) {
        load(editorFixture(selectsAndCopies()));
        c.gesture(*this);
        EXPECT_EQ(selectedRange(), c.range) << c.what;
        EXPECT_EQ(selectedText(), c.selected) << c.what;
        const AXElement systemWide = t->ax().systemWideElement();
        EXPECT_EQ(t->get<AXElement>(systemWide, "AXFocusedUIElement"), text) << c.what;
        EXPECT_EQ(t->get<bool>(AXElement { 700, 0 }, "AXFrontmost"), true) << c.what << ": the click brought it to the front";
    }
}

TEST_F(SimTextSelectionTest, ApplicationsWithoutTheBehaviourAndClicksElsewhereSelectNothing)
{
    load(editorFixture({}));
    t->desktop->setFrontmost(700);
    click(middle(6, 1), 2);
    EXPECT_EQ(selectedRange(), (AXRange { 0, 0 }));

    load(editorFixture(selectsAndCopies()));
    t->ax().setAttributeValue(text, "AXSelectedTextRange", AXRange { 4, 5 });
    drag({ 900, 100 }, { 1000, 200 }); // in the browser in front
    EXPECT_EQ(selectedRange(), (AXRange { 4, 5 }));
    EXPECT_EQ(t->get<bool>(AXElement { 800, 0 }, "AXFrontmost"), true);
    EXPECT_TRUE(reactions().empty()) << "setting through accessibility is not a reaction";
}

TEST_F(SimTextSelectionTest, AccessibilitySetsTheSelectionWithinTheTextOnly)
{
    load(editorFixture({}));
    bool settable = false;
    EXPECT_EQ(t->ax().isAttributeSettable(text, "AXSelectedTextRange", settable), AXError::success);
    EXPECT_TRUE(settable);
    EXPECT_EQ(t->ax().setAttributeValue(text, "AXSelectedTextRange", AXRange { 10, 5 }), AXError::success);
    EXPECT_EQ(selectedText(), "brown");
    for (const AXValue& bad : { AXValue(AXRange { 40, 5 }), AXValue(AXRange { -1, 2 }), AXValue(std::string("brown")) })
        EXPECT_EQ(t->ax().setAttributeValue(text, "AXSelectedTextRange", bad), AXError::illegalArgument);
    EXPECT_EQ(selectedRange(), (AXRange { 10, 5 }));

    t->desktop->setText(text, "short");
    EXPECT_EQ(selectedRange(), (AXRange { 5, 0 })) << "a selection beyond a shorter text is cut to it";
    EXPECT_EQ(selectedText(), "");
}

TEST_F(SimTextSelectionTest, AHiddenSelectionIsStillMadeAndCopiedButAccessibilityDoesNotSeeIt)
{
    for (bool imageOnly : { false, true }) {
        SimElement drawn("AXTextArea", sample);
        drawn.selectionHidden = !imageOnly;
        drawn.imageOnly = imageOnly;
        load(editorFixture(selectsAndCopies(), drawn));
        EXPECT_EQ(t->error(text, "AXSelectedText"), AXError::attributeUnsupported);
        EXPECT_EQ(t->error(text, "AXSelectedTextRange"), AXError::attributeUnsupported);
        std::vector<std::string> names;
        t->ax().copyAttributeNames(text, names);
        EXPECT_EQ(std::count(names.begin(), names.end(), "AXSelectedText"), 0);

        const int64_t before = t->ports.pasteboard->changeCount();
        click(Point { 121, 100 }, 1); // a caret only: nothing to copy
        commandC();
        EXPECT_EQ(t->ports.pasteboard->changeCount(), before);
        click(Point { 140, 100 }, 2);
        commandC();
        EXPECT_EQ(t->ports.pasteboard->changeCount(), before + 1) << "image only: " << imageOnly;
        EXPECT_EQ(t->ports.pasteboard->stringForType(PasteboardType::string), "The");
    }
}

TEST_F(SimTextSelectionTest, CommandCCopiesTheSelectionOfTheFrontApplicationAsOneChange)
{
    struct Case {
        const char* what;
        SimBehaviourOptions behaviours;
        std::function<void(SimTextSelectionTest&)> copy;
        int64_t changes;
        std::optional<std::string> text;
    };
    SimBehaviourOptions ignoring = selectsAndCopies();
    ignoring.copy->ignoresShortcut = true;
    SimBehaviourOptions picture = selectsAndCopies();
    picture.copy->content = SimBehaviourOptions::Copy::Content::image;
    SimBehaviourOptions noCopy;
    noCopy.selectsText = true;
    const Case cases[] = {
        { "at the HID tap", selectsAndCopies(), [](auto& s) { s.commandC(); }, 1, "quick" },
        { "to its process", selectsAndCopies(), [](auto& s) { s.commandC(700); }, 1, "quick" },
        { "to another process", selectsAndCopies(), [](auto& s) { s.commandC(800); }, 0, "user's" },
        { "while another application is in front",
          selectsAndCopies(),
          [](auto& s) {
              s.t->desktop->setFrontmost(800);
              s.commandC();
          },
          0, "user's" },
        { "Command+Option+C is another shortcut",
          selectsAndCopies(),
          [](auto& s) {
              InputEvent e = InputEvent::keyboard(std::nullopt, 8, true);
              e.flags = EventFlags::maskCommand | EventFlags::maskAlternate;
              s.t->ports.windowServer->post(EventTap::hid, e);
          },
          0, "user's" },
        { "an application that ignores the shortcut", ignoring, [](auto& s) { s.commandC(); }, 0, "user's" },
        { "an application without the copy behaviour", noCopy, [](auto& s) { s.commandC(); }, 0, "user's" },
        { "a copy of something that is not text", picture, [](auto& s) { s.commandC(); }, 1, std::nullopt },
    };
    for (const Case& c : cases) {
        SimFixture f = editorFixture(c.behaviours);
        f.pasteboard = { PasteboardItem { { { PasteboardType::string, "user's" } } } };
        load(f);
        click(middle(6, 1), 2);
        const int64_t before = t->ports.pasteboard->changeCount();
        c.copy(*this);
        EXPECT_EQ(t->ports.pasteboard->changeCount() - before, c.changes) << c.what;
        EXPECT_EQ(t->ports.pasteboard->stringForType(PasteboardType::string), c.text) << c.what;
        if (c.changes) {
            EXPECT_EQ(t->ports.pasteboard->pasteboardItems().size(), 1u) << c.what;
            auto r = reactions();
            EXPECT_EQ(std::vector<std::string>(r.end() - 2, r.end()), (std::vector<std::string> { "copy.clear", "copy.write" }))
                << c.what;
        }
    }
}

TEST_F(SimTextSelectionTest, ALateCopyClearsAfterItsDelayAndWritesAfterItsPauseOnTheClock)
{
    SimBehaviourOptions::Copy late;
    late.delay = seconds(0.1);
    late.pause = seconds(0.05);
    SimFixture f = editorFixture(selectsAndCopies(late));
    f.pasteboard = { PasteboardItem { { { PasteboardType::string, "user's" } } } };
    load(f);
    click(middle(6, 1), 2);
    const int64_t before = t->ports.pasteboard->changeCount();
    commandC();
    advance(0.09);
    EXPECT_EQ(t->ports.pasteboard->changeCount(), before);
    EXPECT_EQ(t->ports.pasteboard->stringForType(PasteboardType::string), "user's");
    advance(0.02);
    EXPECT_EQ(t->ports.pasteboard->changeCount(), before + 1) << "cleared";
    EXPECT_TRUE(t->ports.pasteboard->pasteboardItems().empty()) << "between the clear and the write";
    advance(0.05);
    EXPECT_EQ(t->ports.pasteboard->changeCount(), before + 1) << "the write is part of the same change";
    EXPECT_EQ(t->ports.pasteboard->stringForType(PasteboardType::string), "quick");
}

TEST_F(SimTextSelectionTest, TheSelectionIsDrawnBehindTheText)
{
    load(editorFixture(selectsAndCopies()));
    auto colourAt = [&](Point p) {
        auto picture = SimRenderer::renderWindow(*t->desktop, 42, 1);
        EXPECT_TRUE(picture);
        const Rect frame = *t->desktop->windowFrame(42);
        return rgbOf(picture->image.pixel(static_cast<int>(p.x - frame.minX()), static_cast<int>(p.y - frame.minY())));
    };
    const Rect quick = *t->bounds(text, 4, 5);
    const Point corner { quick.minX() + 1, quick.minY() + 1 }; // above the glyphs
    const Point outside { quick.minX() - 3 * quick.width(), quick.minY() + 1 };
    EXPECT_EQ(colourAt(corner), white);
    click(middle(6, 1), 2);
    EXPECT_TRUE(near(colourAt(corner), Rgb { 0xB3, 0xD7, 0xFF })) << colourAt(corner);
    EXPECT_EQ(colourAt(outside), white);
}

} // namespace
} // namespace lorvantine
