#include "SimDesktopTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace lorvantine {
namespace {

SimFixture articleFixture()
{
    SimElement page("AXGroup");
    page.named("page").frame(Rect(20, 40, 400, 300));
    page.padding = 10;
    page.spacing = 6;
    page.child(SimElement("AXStaticText", "First paragraph.").named("first"));
    page.child(SimElement("AXStaticText", "Second paragraph.").named("second"));
    page.child(SimElement("AXButton").named("button").frame(Rect(300, 250, 80, 30)).with("AXTitle", std::string("OK")));
    return oneWindowFixture({ page });
}

class SimAccessibilityTest : public ::testing::Test {
protected:
    PortsUnderTest t { SimDesktop::create(articleFixture()) };
    AXElement app { 700, 0 };
    AXElement window() { return t.desktop->element("window"); }
    AXElement named(const std::string& name) { return t.desktop->element(name); }
};

TEST_F(SimAccessibilityTest, TreeLinksChildrenAndParentsUpToTheApplication)
{
    EXPECT_EQ(t.get<std::string>(app, "AXRole"), "AXApplication");
    EXPECT_EQ(t.get<std::string>(app, "AXTitle"), "Reader");
    EXPECT_EQ(t.get<std::vector<AXElement>>(app, "AXWindows"), std::vector<AXElement> { window() });
    EXPECT_EQ(t.get<AXElement>(app, "AXFocusedWindow"), window());
    EXPECT_EQ(t.get<AXElement>(app, "AXMainWindow"), window());
    EXPECT_EQ(t.error(app, "AXParent"), AXError::attributeUnsupported);

    EXPECT_EQ(t.get<std::string>(window(), "AXRole"), "AXWindow");
    EXPECT_EQ(t.get<std::string>(window(), "AXSubrole"), "AXStandardWindow");
    EXPECT_EQ(t.get<std::string>(window(), "AXTitle"), "Document");
    EXPECT_EQ(t.get<AXElement>(window(), "AXParent"), app);
    EXPECT_EQ(t.get<bool>(window(), "AXMain"), true);
    EXPECT_EQ(t.get<bool>(window(), "AXFocused"), true);
    EXPECT_EQ(t.get<bool>(window(), "AXMinimized"), false);

    const auto children = t.get<std::vector<AXElement>>(named("page"), "AXChildren");
    ASSERT_EQ(children, (std::vector<AXElement> { named("first"), named("second"), named("button") }));
    for (const auto& child : *children) {
        EXPECT_EQ(t.get<AXElement>(child, "AXParent"), named("page"));
        EXPECT_EQ(t.get<AXElement>(child, "AXWindow"), window());
    }
    EXPECT_EQ(t.get<AXElement>(named("page"), "AXParent"), window());
    ProcessID pid = 0;
    EXPECT_EQ(t.ax().pid(named("first"), pid), AXError::success);
    EXPECT_EQ(pid, 700);
}

TEST_F(SimAccessibilityTest, GeometryFlowsFromTheWindowInGlobalTopLeftPoints)
{
    EXPECT_EQ(t.get<Point>(window(), "AXPosition"), (Point { 100, 50 }));
    EXPECT_EQ(t.get<Size>(window(), "AXSize"), (Size { 600, 400 }));
    EXPECT_EQ(t.get<Rect>(named("page"), "AXFrame"), Rect(120, 90, 400, 300));

    // Flowed children: inside the padding, one below the other, as tall as their text.
    auto first = t.get<Rect>(named("first"), "AXFrame");
    auto second = t.get<Rect>(named("second"), "AXFrame");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->origin, (Point { 130, 100 }));
    EXPECT_EQ(first->width(), 380);
    EXPECT_GT(first->height(), 14);
    EXPECT_NEAR(second->minY(), first->maxY() + 6, 1e-9);
    EXPECT_EQ(t.get<Point>(named("first"), "AXPosition"), first->origin);
    EXPECT_EQ(t.get<Size>(named("first"), "AXSize"), first->size);
    EXPECT_EQ(t.get<Rect>(named("button"), "AXFrame"), Rect(420, 340, 80, 30));

    t.desktop->moveWindow(42, Point { 0, 25 });
    EXPECT_EQ(t.get<Rect>(named("button"), "AXFrame"), Rect(320, 315, 80, 30));
    EXPECT_EQ(t.get<Point>(named("first"), "AXPosition"), (Point { 30, 75 }));
}

TEST_F(SimAccessibilityTest, TextElementsAnswerTheirTextAttributes)
{
    EXPECT_EQ(t.get<std::string>(named("first"), "AXValue"), "First paragraph.");
    EXPECT_EQ(t.get<int64_t>(named("first"), "AXNumberOfCharacters"), 16);
    EXPECT_EQ(t.get<AXRange>(named("first"), "AXVisibleCharacterRange"), (AXRange { 0, 16 }));
    EXPECT_EQ(t.parameterized<std::string>(named("first"), "AXStringForRange", AXRange { 6, 9 }), "paragraph");
    std::vector<std::string> names;
    ASSERT_EQ(t.ax().copyParameterizedAttributeNames(named("first"), names), AXError::success);
    EXPECT_EQ(names, (std::vector<std::string> { "AXStringForRange", "AXBoundsForRange", "AXAttributedStringForRange",
                                                 "AXLineForIndex", "AXRangeForLine", "AXRangeForPosition" }));
    ASSERT_EQ(t.ax().copyParameterizedAttributeNames(named("page"), names), AXError::success);
    EXPECT_TRUE(names.empty());
    AXValue out;
    EXPECT_EQ(t.ax().copyParameterizedAttributeValue(named("page"), "AXBoundsForRange", AXRange { 0, 1 }, out),
              AXError::parameterizedAttributeUnsupported);
    EXPECT_EQ(t.ax().copyParameterizedAttributeValue(named("first"), "AXBoundsForRange", int64_t(3), out),
              AXError::illegalArgument);
    EXPECT_EQ(t.ax().copyParameterizedAttributeValue(named("first"), "AXBoundsForRange", AXRange { 10, 7 }, out),
              AXError::illegalArgument);
    auto attributed = t.parameterized<AXAttributedString>(named("first"), "AXAttributedStringForRange", AXRange { 0, 5 });
    ASSERT_TRUE(attributed);
    EXPECT_EQ(attributed->string, "First");
    ASSERT_EQ(attributed->runs.size(), 1u);
    EXPECT_EQ(attributed->runs[0].attributes.at("AXFontFamily"), "DejaVu Sans");
}

TEST_F(SimAccessibilityTest, AttributeNamesListWhatAnElementAnswers)
{
    std::vector<std::string> names;
    ASSERT_EQ(t.ax().copyAttributeNames(named("first"), names), AXError::success);
    for (const char* expected : { "AXRole", "AXChildren", "AXParent", "AXPosition", "AXSize", "AXFrame", "AXWindow",
                                  "AXValue", "AXNumberOfCharacters", "AXVisibleCharacterRange" })
        EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
    ASSERT_EQ(t.ax().copyAttributeNames(named("button"), names), AXError::success);
    EXPECT_NE(std::find(names.begin(), names.end(), "AXTitle"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), "AXValue"), names.end());

    t.desktop->setError(named("button"), "AXTitle", AXError::attributeUnsupported);
    ASSERT_EQ(t.ax().copyAttributeNames(named("button"), names), AXError::success);
    EXPECT_EQ(std::find(names.begin(), names.end(), "AXTitle"), names.end());
}

TEST_F(SimAccessibilityTest, InjectedErrorsAndWrongTypesComeBackAsGiven)
{
    t.desktop->setError(named("first"), "AXValue", AXError::cannotComplete);
    t.desktop->setError(named("first"), "AXBoundsForRange", AXError::noValue);
    EXPECT_EQ(t.error(named("first"), "AXValue"), AXError::cannotComplete);
    AXValue out;
    EXPECT_EQ(t.ax().copyParameterizedAttributeValue(named("first"), "AXBoundsForRange", AXRange { 0, 1 }, out),
              AXError::noValue);
    EXPECT_EQ(t.get<int64_t>(named("first"), "AXNumberOfCharacters"), 16);

    t.desktop->setAttribute(named("second"), "AXPosition", std::string("not a point"));
    t.desktop->setAttribute(named("second"), "AXNumberOfCharacters", 2.5);
    t.desktop->setAttribute(named("second"), "AXDescription", std::monostate {});
    ASSERT_EQ(t.ax().copyAttributeValue(named("second"), "AXPosition", out), AXError::success);
    EXPECT_EQ(*axGet<std::string>(out), "not a point");
    EXPECT_FALSE(t.get<Point>(named("second"), "AXPosition"));
    EXPECT_EQ(t.get<double>(named("second"), "AXNumberOfCharacters"), 2.5);
    ASSERT_EQ(t.ax().copyAttributeValue(named("second"), "AXDescription", out), AXError::success);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(out));
    // A fixed answer for a parameterized attribute, whatever the parameter.
    t.desktop->setAttribute(named("second"), "AXBoundsForRange", Rect(0, 0, 0.9, 0.9));
    EXPECT_EQ(t.bounds(named("second"), 0, 1), Rect(0, 0, 0.9, 0.9));

    t.desktop->clearError(named("first"), "AXValue");
    EXPECT_EQ(t.get<std::string>(named("first"), "AXValue"), "First paragraph.");
    EXPECT_EQ(t.error(named("first"), "AXNoSuchAttribute"), AXError::attributeUnsupported);
}

TEST_F(SimAccessibilityTest, DeadElementsAndUnknownProcessesFailLikeThePlatform)
{
    const AXElement first = named("first");
    const AXElement closed = window();
    ASSERT_TRUE(t.desktop->closeWindow(42));
    EXPECT_EQ(t.error(first, "AXRole"), AXError::invalidUIElement);
    EXPECT_EQ(t.error(closed, "AXRole"), AXError::invalidUIElement);
    EXPECT_TRUE(t.desktop->element("first").isNull());
    EXPECT_EQ(t.get<std::vector<AXElement>>(app, "AXWindows"), std::vector<AXElement> {});
    EXPECT_EQ(t.error(app, "AXFocusedWindow"), AXError::noValue);
    EXPECT_EQ(t.error(AXElement { 999, 0 }, "AXRole"), AXError::cannotComplete);
    EXPECT_EQ(t.error(AXElement {}, "AXRole"), AXError::illegalArgument);
    // A handle with another process's pid does not reach the node.
    EXPECT_EQ(t.error(AXElement { 701, first.node }, "AXRole"), AXError::invalidUIElement);
}

TEST_F(SimAccessibilityTest, AnUntrustedProgramIsRefusedEverywhere)
{
    t.desktop->setTrusted(false);
    EXPECT_FALSE(t.ax().isProcessTrusted(AccessibilityPort::Prompt::no));
    EXPECT_TRUE(t.desktop->journal().empty());
    EXPECT_FALSE(t.ax().isProcessTrusted(AccessibilityPort::Prompt::yes));
    ASSERT_EQ(t.desktop->journal().size(), 1u);
    EXPECT_EQ(t.desktop->journal()[0].kind, SimJournalEntry::Kind::trustPrompt);

    std::vector<std::string> names;
    AXValue out;
    AXElement hit;
    AXObserverID observer = 0;
    EXPECT_EQ(t.error(app, "AXRole"), AXError::apiDisabled);
    EXPECT_EQ(t.ax().copyAttributeNames(window(), names), AXError::apiDisabled);
    EXPECT_EQ(t.ax().copyParameterizedAttributeValue(named("first"), "AXStringForRange", AXRange { 0, 1 }, out),
              AXError::apiDisabled);
    EXPECT_EQ(t.ax().performAction(window(), "AXRaise"), AXError::apiDisabled);
    EXPECT_EQ(t.ax().elementAtPosition(t.ax().systemWideElement(), 200, 200, hit), AXError::apiDisabled);
    EXPECT_EQ(t.ax().createObserver(700, [](const AXElement&, const std::string&) {}, observer), AXError::apiDisabled);

    t.desktop->setTrusted(true);
    EXPECT_TRUE(t.ax().isProcessTrusted(AccessibilityPort::Prompt::yes));
    EXPECT_EQ(t.get<std::string>(app, "AXRole"), "AXApplication");
}

TEST_F(SimAccessibilityTest, SettingAndActionsChangeTheDesktopAndAreJournaled)
{
    bool settable = false;
    EXPECT_EQ(t.ax().isAttributeSettable(window(), "AXPosition", settable), AXError::success);
    EXPECT_TRUE(settable);
    EXPECT_EQ(t.ax().isAttributeSettable(named("first"), "AXValue", settable), AXError::success);
    EXPECT_FALSE(settable);
    EXPECT_EQ(t.ax().isAttributeSettable(named("first"), "AXNoSuchThing", settable), AXError::attributeUnsupported);

    EXPECT_EQ(t.ax().setAttributeValue(window(), "AXPosition", Point { 10, 30 }), AXError::success);
    EXPECT_EQ(t.desktop->windowFrame(42), Rect(10, 30, 600, 400));
    EXPECT_EQ(t.ax().setAttributeValue(window(), "AXSize", Point { 10, 30 }), AXError::illegalArgument);
    EXPECT_EQ(t.ax().setAttributeValue(named("first"), "AXValue", std::string("x")), AXError::attributeUnsupported);
    EXPECT_EQ(t.ax().performAction(named("button"), "AXPress"), AXError::actionUnsupported);
    EXPECT_EQ(t.ax().performAction(window(), "AXRaise"), AXError::success);

    const auto journal = t.desktop->journal();
    ASSERT_EQ(journal.size(), 5u);
    EXPECT_EQ(journal[0].kind, SimJournalEntry::Kind::setAttribute);
    EXPECT_EQ(journal[0].element, window());
    EXPECT_EQ(journal[0].name, "AXPosition");
    EXPECT_EQ(journal[0].value, AXValue(Point { 10, 30 }));
    EXPECT_EQ(journal[0].result, AXError::success);
    EXPECT_EQ(journal[1].result, AXError::illegalArgument);
    EXPECT_EQ(journal[3].kind, SimJournalEntry::Kind::action);
    EXPECT_EQ(journal[3].name, "AXPress");
    EXPECT_EQ(journal[3].result, AXError::actionUnsupported);
    EXPECT_EQ(journal[4].name, "AXRaise");
    t.desktop->clearJournal();
    EXPECT_TRUE(t.desktop->journal().empty());
}

TEST_F(SimAccessibilityTest, ElementAtPositionFindsTheDeepestElementInTheFrontWindow)
{
    AXElement hit;
    const AXElement systemWide = t.ax().systemWideElement();
    ASSERT_EQ(t.ax().elementAtPosition(systemWide, 450, 350, hit), AXError::success);
    EXPECT_EQ(hit, named("button"));
    auto first = *t.desktop->frameOf(named("first"));
    ASSERT_EQ(t.ax().elementAtPosition(app, float(first.midX()), float(first.midY()), hit), AXError::success);
    EXPECT_EQ(hit, named("first"));
    ASSERT_EQ(t.ax().elementAtPosition(app, 105, 55, hit), AXError::success);
    EXPECT_EQ(hit, window());
    EXPECT_EQ(t.ax().elementAtPosition(systemWide, 5, 5, hit), AXError::noValue);
    t.desktop->minimizeWindow(42);
    EXPECT_EQ(t.ax().elementAtPosition(systemWide, 450, 350, hit), AXError::noValue);
}

TEST_F(SimAccessibilityTest, SystemWideElementNamesTheFocus)
{
    const AXElement systemWide = t.ax().systemWideElement();
    EXPECT_EQ(t.get<std::string>(systemWide, "AXRole"), "AXSystemWide");
    EXPECT_EQ(t.get<AXElement>(systemWide, "AXFocusedApplication"), app);
    EXPECT_EQ(t.error(systemWide, "AXFocusedUIElement"), AXError::noValue);
    EXPECT_EQ(t.ax().setAttributeValue(named("second"), "AXFocused", true), AXError::attributeUnsupported);

    const AXElement field = t.desktop->addElement(named("page"), SimElement("AXTextField", "query").named("field"));
    t.desktop->setAttribute(field, "AXSelectedTextRange", AXRange { 0, 5 });
    SimElement focused("AXTextArea", "notes");
    focused.focused = true;
    const AXElement area = t.desktop->addElement(named("page"), focused);
    EXPECT_EQ(t.get<AXElement>(systemWide, "AXFocusedUIElement"), area);
    EXPECT_EQ(t.get<AXElement>(app, "AXFocusedUIElement"), area);
    EXPECT_EQ(t.get<bool>(area, "AXFocused"), true);
    EXPECT_EQ(t.get<bool>(field, "AXFocused"), false);
    EXPECT_EQ(t.get<AXRange>(field, "AXSelectedTextRange"), (AXRange { 0, 5 }));
}

TEST(SimAccessibilityThreads, ReadersOnManyThreadsSeeConsistentAnswersWhileTheDesktopChanges)
{
    PortsUnderTest t(SimDesktop::demo());
    const AXElement text = t.desktop->element("textedit-text");
    const int64_t length = *t.get<int64_t>(text, "AXNumberOfCharacters");
    std::atomic<int> failures { 0 };
    std::vector<std::thread> readers;
    for (int r = 0; r < 4; ++r) {
        readers.emplace_back([&, r] {
            for (int i = 0; i < 300; ++i) {
                AXValue value;
                const int64_t at = (i * 7 + r) % (length - 1);
                if (t.ax().copyParameterizedAttributeValue(text, "AXBoundsForRange", AXRange { at, 1 }, value)
                        != AXError::success
                    || !axGet<Rect>(value))
                    ++failures;
                if (t.ax().copyAttributeValue(AXElement { 501, 0 }, "AXWindows", value) != AXError::success)
                    ++failures;
            }
        });
    }
    for (int i = 0; i < 100; ++i) {
        t.desktop->moveWindow(8201, Point { double(i), 100 });
        t.desktop->resizeWindow(8201, Size { 500.0 + i, 400 });
    }
    for (auto& reader : readers)
        reader.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(t.desktop->windowFrame(8201), Rect(99, 100, 599, 400));
}

} // namespace
} // namespace lorvantine
