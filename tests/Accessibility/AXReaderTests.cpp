#include "Accessibility/NotebookTest.h"

namespace lorvantine {
namespace {

using AXReaderTest = NotebookTest;

TEST_F(AXReaderTest, AttributeIsOnlyAStringThatWasRead)
{
    EXPECT_EQ(AXReader::attribute(window, "AXTitle"), "Groceries");
    EXPECT_EQ(AXReader::attribute(body, "AXValue"), "Milk, eggs and 面包 🍞 for the week");
    EXPECT_EQ(AXReader::attribute(desktop->element("scroll-bar"), "AXValue"), std::nullopt); // a number
    EXPECT_EQ(AXReader::attribute(desktop->element("share"), "AXRole"), std::nullopt);     // cannot complete
    EXPECT_EQ(AXReader::attribute(body, "AXHelp"), std::nullopt);

    desktop->setAttribute(body, "AXTitle", std::monostate{});
    EXPECT_EQ(AXReader::attribute(body, "AXTitle"), std::nullopt);
    desktop->setAttribute(body, "AXTitle", std::vector<std::string>{"Groceries"});
    EXPECT_EQ(AXReader::attribute(body, "AXTitle"), std::nullopt);
}

TEST_F(AXReaderTest, ElementsAndElementListsAreNoneOrEmptyUnlessReadAsElements)
{
    EXPECT_EQ(AXReader::windows(app), std::vector<AXElement>{window});
    ASSERT_EQ(AXReader::rawChildren(window).size(), 2u);
    EXPECT_EQ(AXReader::rawChildren(window)[1], desktop->element("share"));
    EXPECT_TRUE(AXReader::rawChildren(body).empty());

    desktop->setAttribute(window, "AXChildren", std::vector<std::string>{"not", "elements"});
    EXPECT_TRUE(AXReader::rawChildren(window).empty());
    desktop->setError(app, "AXWindows", AXError::cannotComplete);
    EXPECT_TRUE(AXReader::windows(app).empty());
    EXPECT_TRUE(AXReader::windows(body).empty());

    // The focused window must be an element.
    EXPECT_EQ(AXReader::focusedWindow(app), window);
    desktop->setAttribute(app, "AXFocusedWindow", std::string("Groceries"));
    EXPECT_EQ(AXReader::focusedWindow(app), std::nullopt);
    desktop->setError(app, "AXFocusedWindow", AXError::noValue);
    EXPECT_EQ(AXReader::focusedWindow(app), std::nullopt);
}

TEST_F(AXReaderTest, FrontWindowIsTheFocusedOneElseTheFirst)
{
    const AXElement other = desktop->element("share");
    desktop->setAttribute(app, "AXFocusedWindow", other);
    EXPECT_EQ(AXReader::frontWindow(app), other);
    desktop->setError(app, "AXFocusedWindow", AXError::noValue);
    EXPECT_EQ(AXReader::frontWindow(app), window);
    desktop->setError(app, "AXWindows", AXError::cannotComplete);
    EXPECT_EQ(AXReader::frontWindow(app), std::nullopt);
}

TEST_F(AXReaderTest, PositionAndSizeUnpackTheirOwnValueKindOnly)
{
    EXPECT_EQ(AXReader::position(window), (Point{200, 100}));
    EXPECT_EQ(AXReader::size(window), (Size{800, 600}));
    EXPECT_EQ(AXReader::position(body), (Point{470, 160}));
    EXPECT_EQ(AXReader::size(body), (Size{510, 300}));

    // A value of another kind must not come back as a zero point or size.
    desktop->setAttribute(body, "AXPosition", Size{1, 1});
    desktop->setAttribute(body, "AXSize", std::monostate{});
    EXPECT_EQ(AXReader::position(body), std::nullopt);
    EXPECT_EQ(AXReader::size(body), std::nullopt);

    desktop->setError(window, "AXPosition", AXError::invalidUIElement);
    EXPECT_EQ(AXReader::position(window), std::nullopt);
}

TEST_F(AXReaderTest, NumberOfCharactersCountsUtf16Units)
{
    EXPECT_EQ(AXReader::numberOfCharacters(body), 33);

    desktop->setAttribute(body, "AXNumberOfCharacters", 56.0);
    EXPECT_EQ(AXReader::numberOfCharacters(body), 56);
    desktop->setAttribute(body, "AXNumberOfCharacters", 5.5);
    EXPECT_EQ(AXReader::numberOfCharacters(body), std::nullopt);
    desktop->setAttribute(body, "AXNumberOfCharacters", std::string("33"));
    EXPECT_EQ(AXReader::numberOfCharacters(body), std::nullopt);
    desktop->setAttribute(body, "AXNumberOfCharacters", int64_t{1} << 40);
    EXPECT_EQ(AXReader::numberOfCharacters(body), std::nullopt);
    EXPECT_EQ(AXReader::numberOfCharacters(window), std::nullopt);
}

TEST_F(AXReaderTest, StringForRangeTakesUtf16Ranges)
{
    EXPECT_EQ(AXReader::stringForRange(body, 2, 4), "lk, ");
    EXPECT_EQ(AXReader::stringForRange(body, 15, 2), "面包");
    EXPECT_EQ(AXReader::stringForRange(body, 18, 2), "🍞");
    EXPECT_EQ(AXReader::stringForRange(window, 0, 4), std::nullopt);

    desktop->setAttribute(body, "AXStringForRange", AXAttributedString{"lk, ", {}});
    EXPECT_EQ(AXReader::stringForRange(body, 2, 4), std::nullopt);
    desktop->setError(body, "AXStringForRange", AXError::cannotComplete);
    EXPECT_EQ(AXReader::stringForRange(body, 2, 4), std::nullopt);
}

TEST_F(AXReaderTest, BoundsForRangeOfLaidOutTextRejectsOnlyRectanglesTinyInBothDirections)
{
    auto first = AXReader::boundsForRange(body, 0, 1);
    auto bread = AXReader::boundsForRange(body, 18, 2);
    ASSERT_TRUE(first && bread);
    EXPECT_TRUE(Rect(470, 160, 510, 300).contains(first->origin));
    EXPECT_GT(first->size.width, 1);
    EXPECT_GT(first->size.height, 1);
    EXPECT_GT(bread->origin.x, first->origin.x);
    EXPECT_EQ(AXReader::boundsForRange(window, 0, 1), std::nullopt);

    auto boundsAnswering = [&](AXValue answer) {
        desktop->setAttribute(body, "AXBoundsForRange", std::move(answer));
        return AXReader::boundsForRange(body, 10, 1);
    };

    EXPECT_EQ(boundsAnswering(Rect(480, 170, 0, 18)), Rect(480, 170, 0, 18)); // a caret
    EXPECT_EQ(boundsAnswering(Rect(480, 170, 0.5, 20)), Rect(480, 170, 0.5, 20));
    EXPECT_EQ(boundsAnswering(Rect(480, 170, 20, 0.5)), Rect(480, 170, 20, 0.5));
    EXPECT_EQ(boundsAnswering(Rect(480, 170, 0, 0)), std::nullopt);
    EXPECT_EQ(boundsAnswering(Rect(480, 170, 0.9, 0.9)), std::nullopt);
    EXPECT_EQ(boundsAnswering(Point{480, 170}), std::nullopt);
    EXPECT_EQ(boundsAnswering(std::monostate{}), std::nullopt);

    desktop->setError(body, "AXBoundsForRange", AXError::cannotComplete);
    EXPECT_EQ(AXReader::boundsForRange(body, 10, 1), std::nullopt);
}

TEST_F(AXReaderTest, ParameterizedAttributeNamesAreEmptyOnFailure)
{
    auto names = AXReader::parameterizedAttributeNames(body);
    EXPECT_NE(std::find(names.begin(), names.end(), "AXBoundsForRange"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "AXStringForRange"), names.end());
    EXPECT_TRUE(AXReader::parameterizedAttributeNames(window).empty());

    desktop->removeElement(body);
    EXPECT_TRUE(AXReader::parameterizedAttributeNames(body).empty());
    EXPECT_EQ(AXReader::attribute(body, "AXValue"), std::nullopt);
}

// Builds `levels` nested groups inside the window and returns the innermost.
AXElement nestGroups(SimDesktop& desktop, AXElement window, int levels)
{
    SimElement innermost("AXGroup");
    innermost.named("innermost");
    SimElement chain = innermost;
    for (int i = 1; i < levels; ++i)
        chain = SimElement("AXGroup").child(std::move(chain));
    desktop.addElement(window, chain);
    return desktop.element("innermost");
}

TEST_F(AXReaderTest, FindAncestorLooksAtThirtyElementsAtMost)
{
    // The window is the 30th element examined from the innermost of 29 groups...
    AXElement reachable = nestGroups(*desktop, window, 29);
    EXPECT_EQ(AXReader::findAncestor(reachable, "AXWindow"), window);
    desktop->removeElement(reachable);

    // ...and the 31st from the innermost of 30.
    AXElement tooDeep = nestGroups(*desktop, window, 30);
    EXPECT_EQ(AXReader::findAncestor(tooDeep, "AXWindow"), std::nullopt);
}

TEST_F(AXReaderTest, FindAncestorMatchesTheElementItselfFirst)
{
    EXPECT_EQ(AXReader::findAncestor(body, "AXTextArea"), body);
    EXPECT_EQ(AXReader::findAncestor(body, "AXScrollArea"), desktop->element("body-scroll"));
    EXPECT_EQ(AXReader::findAncestor(body, "AXApplication"), app);
    EXPECT_EQ(AXReader::findAncestor(body, "AXWebArea"), std::nullopt);
}

TEST_F(AXReaderTest, FindAncestorStopsWhereTheParentIsNotAnElementOrLoops)
{
    AXElement scroll = desktop->element("body-scroll");
    desktop->setError(scroll, "AXParent", AXError::cannotComplete);
    EXPECT_EQ(AXReader::findAncestor(body, "AXWindow"), std::nullopt);
    desktop->clearError(scroll, "AXParent");

    desktop->setAttribute(scroll, "AXParent", std::string("AXSplitGroup"));
    EXPECT_EQ(AXReader::findAncestor(body, "AXWindow"), std::nullopt);
    desktop->setAttribute(scroll, "AXParent", std::monostate{});
    EXPECT_EQ(AXReader::findAncestor(body, "AXWindow"), std::nullopt);

    desktop->setAttribute(scroll, "AXParent", body); // a loop
    EXPECT_EQ(AXReader::findAncestor(body, "AXWindow"), std::nullopt);

    desktop->removeAttribute(scroll, "AXParent");
    EXPECT_EQ(AXReader::findAncestor(body, "AXWindow"), window);
}

TEST(AXReaderFindApp, TakesTheFirstExactBundleIdentifierInWorkspaceOrder)
{
    auto desktop = SimDesktop::create();
    Platform::ScopedServices services{desktop->services()};
    desktop->addApplication({.pid = 10});
    desktop->addApplication({.pid = 11, .bundleIdentifier = "com.apple.preview"});
    desktop->addApplication({.pid = 12, .bundleIdentifier = "com.apple.Preview", .localizedName = "Preview"});
    desktop->addApplication({.pid = 13, .bundleIdentifier = "com.apple.Preview"});

    auto found = AXReader::findApp("com.apple.Preview");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->pid, 12);
    EXPECT_EQ(found->localizedName, "Preview");
    EXPECT_EQ(AXReader::findApp("com.apple.Pages"), std::nullopt);
    EXPECT_EQ(AXReader::findApp(""), std::nullopt);
}

} // namespace
} // namespace lorvantine
