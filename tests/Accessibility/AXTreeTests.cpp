#include "Accessibility/NotebookTest.h"

#include <sstream>

namespace lorvantine {
namespace {

class AXTreeTest : public NotebookTest {
protected:
    static std::string printed(const AXNode& node, int indent = 0)
    {
        std::ostringstream out;
        AXReader::printTree(node, indent, out);
        return out.str();
    }

    AXElement menuBar()
    {
        AXValue value;
        Platform::accessibility().copyAttributeValue(app, "AXMenuBar", value);
        const AXElement* bar = axGet<AXElement>(value);
        return bar ? *bar : AXElement{};
    }
};

TEST_F(AXTreeTest, WalkTreeCapturesStringAttributesAndChildrenInOrder)
{
    AXNode text{.role = "AXTextArea", .value = "Milk, eggs and 面包 🍞 for the week", .description = "Note body", .depth = 3};
    AXNode expected{
        .role = "AXWindow",
        .title = "Groceries",
        .children = {
            AXNode{.role = "AXSplitGroup",
                   .children = {AXNode{.role = "AXScrollArea",
                                       .description = "Notes list",
                                       .children = {AXNode{.role = "AXStaticText", .value = "Groceries", .depth = 3}},
                                       .depth = 2},
                                AXNode{.role = "AXScrollArea",
                                       .children = {text, AXNode{.role = "AXScrollBar", .depth = 3}},
                                       .depth = 2}},
                   .depth = 1},
            AXNode{.role = "unknown", .title = "Share", .depth = 1},
        },
        .depth = 0,
    };
    EXPECT_EQ(AXReader::walkTree(window, 10), expected);
}

TEST_F(AXTreeTest, WalkTreeStopsAtTheDepthLimit)
{
    AXNode flat = AXReader::walkTree(window, 0);
    EXPECT_EQ(flat, (AXNode{.role = "AXWindow", .title = "Groceries", .depth = 0}));

    AXNode two = AXReader::walkTree(window, 2);
    ASSERT_EQ(two.children.size(), 2u);
    ASSERT_EQ(two.children[0].children.size(), 2u);
    EXPECT_TRUE(two.children[0].children[0].children.empty());
    EXPECT_EQ(two.children[0].children[0].depth, 2);

    AXNode started = AXReader::walkTree(desktop->element("body-scroll"), 6, 5);
    EXPECT_EQ(started.depth, 5);
    ASSERT_EQ(started.children.size(), 2u);
    EXPECT_EQ(started.children[0].depth, 6);
    EXPECT_EQ(started.children[0].role, "AXTextArea");

    // An element listed among its own children, or twice, is captured once.
    AXElement scroll = desktop->element("body-scroll");
    desktop->setAttribute(scroll, "AXChildren", AXValue(std::vector<AXElement> { scroll, body, body, window }));
    AXNode looped = AXReader::walkTree(window, 8);
    ASSERT_EQ(looped.children[0].children[1].children.size(), 1u);
    EXPECT_EQ(looped.children[0].children[1].children[0].role, "AXTextArea");

    // A vanished element is an unknown leaf.
    desktop->removeElement(body);
    EXPECT_EQ(AXReader::walkTree(body, 5), (AXNode{.role = "unknown", .depth = 0}));
}

TEST_F(AXTreeTest, PrintTreeWritesOneLinePerNodeDepthFirst)
{
    EXPECT_EQ(printed(AXReader::walkTree(window, 10)),
              "[AXWindow] title=\"Groceries\"\n"
              "  [AXSplitGroup]\n"
              "    [AXScrollArea] desc=\"Notes list\"\n"
              "      [AXStaticText] value=\"Groceries\"\n"
              "    [AXScrollArea]\n"
              "      [AXTextArea] value=\"Milk, eggs and 面包 🍞 for the week\" desc=\"Note body\"\n"
              "      [AXScrollBar]\n"
              "  [unknown] title=\"Share\"\n");

    EXPECT_EQ(printed(AXNode{.role = "AXRow", .title = "", .value = "say \"hi\"", .description = "d"}, 2),
              "    [AXRow] title=\"\" value=\"say \"hi\"\" desc=\"d\"\n");
}

TEST_F(AXTreeTest, PrintTreeCutsLongTextsByCharacters)
{
    std::string hundred;
    for (int i = 0; i < 100; ++i)
        hundred += static_cast<char>('a' + i % 26);
    // "é" written as two scalars is one Character; "中" is three UTF-8 bytes.
    auto repeated = [](const std::string& piece, int count) {
        std::string out;
        for (int i = 0; i < count; ++i)
            out += piece;
        return out;
    };

    EXPECT_EQ(printed(AXNode{.role = "AXStaticText",
                             .title = repeated("e\u0301", 70),
                             .value = hundred,
                             .description = repeated("中", 61)}),
              "[AXStaticText] title=\"" + repeated("e\u0301", 60) + "\" value=\"" + hundred.substr(0, 80) +
                  "\" desc=\"" + repeated("中", 60) + "\"\n");
    EXPECT_EQ(printed(AXNode{.role = "AXStaticText", .value = repeated("👍🏽", 81)}),
              "[AXStaticText] value=\"" + repeated("👍🏽", 80) + "\"\n");
}

class MenuShortcutTest : public AXTreeTest {};

TEST_F(MenuShortcutTest, FindsTheItemWithTheTitlesLeadingToIt)
{
    auto previous = AXReader::searchMenuShortcut(menuBar(), 5, 1, {}, 0);
    ASSERT_TRUE(previous);
    EXPECT_EQ(previous->item, desktop->element("find-previous"));
    // The untitled submenu item adds nothing to the path.
    EXPECT_EQ(previous->path, (std::vector<std::string>{"Edit", "Find Previous"}));

    // The title of the element the search starts from is left out.
    desktop->setAttribute(menuBar(), "AXTitle", std::string("Menu Bar"));
    auto scroll = AXReader::searchMenuShortcut(menuBar(), 121, std::nullopt, {"Notebook"}, 0);
    ASSERT_TRUE(scroll);
    EXPECT_EQ(scroll->item, desktop->element("scroll-down"));
    EXPECT_EQ(scroll->path, (std::vector<std::string>{"Notebook", "Go", "?"}));

    EXPECT_EQ(AXReader::searchMenuShortcut(menuBar(), 116, std::nullopt, {}, 0), std::nullopt);
}

TEST_F(MenuShortcutTest, ModifiersNoneAcceptsAnyMaskWhileAGivenMaskMustMatch)
{
    EXPECT_EQ(AXReader::searchMenuShortcut(menuBar(), 124, std::nullopt)->item, desktop->element("next-note"));
    EXPECT_EQ(AXReader::searchMenuShortcut(menuBar(), 124, 8)->item, desktop->element("next-note"));
    EXPECT_EQ(AXReader::searchMenuShortcut(menuBar(), 124, 0)->item, desktop->element("last-note"));
    EXPECT_EQ(AXReader::searchMenuShortcut(menuBar(), 124, 2), std::nullopt);
}

TEST_F(MenuShortcutTest, AnUnreadableMaskCountsAsNoModifiersAndTheKeyMustBeANumber)
{
    AXElement next = desktop->element("next-note");
    desktop->setError(next, "AXMenuItemCmdModifiers", AXError::cannotComplete);
    EXPECT_EQ(AXReader::searchMenuShortcut(menuBar(), 124, 0)->item, next);
    desktop->setAttribute(next, "AXMenuItemCmdModifiers", std::string("8"));
    desktop->clearError(next, "AXMenuItemCmdModifiers");
    EXPECT_EQ(AXReader::searchMenuShortcut(menuBar(), 124, 0)->item, next);
    EXPECT_EQ(AXReader::searchMenuShortcut(menuBar(), 124, 8), std::nullopt);

    // The key must be a number.
    desktop->setAttribute(next, "AXMenuItemCmdVirtualKey", std::string("124"));
    EXPECT_EQ(AXReader::searchMenuShortcut(menuBar(), 124, std::nullopt)->item, desktop->element("last-note"));
    desktop->setAttribute(next, "AXMenuItemCmdVirtualKey", 124.0);
    EXPECT_EQ(AXReader::searchMenuShortcut(menuBar(), 124, std::nullopt)->item, next);
    desktop->setAttribute(next, "AXMenuItemCmdVirtualKey", 124.5);
    EXPECT_EQ(AXReader::searchMenuShortcut(menuBar(), 124, std::nullopt)->item, desktop->element("last-note"));
}

// Hangs a chain of menus and items below the "Go" menu (depth 1) so that its last item, bound to
// F5, sits at `depth` below the menu bar.
void hangItemAtDepth(SimDesktop& desktop, int depth)
{
    SimElement chain = SimElement("AXMenuItem").named("f5").with("AXTitle", std::string("Refresh")).with(
        "AXMenuItemCmdVirtualKey", int64_t{96});
    for (int d = depth - 1; d >= 2; --d) {
        SimElement level(d % 2 ? "AXMenuItem" : "AXMenu");
        level.with("AXTitle", std::string("L").append(std::to_string(d))).child(std::move(chain));
        chain = std::move(level);
    }
    desktop.addElement(desktop.element("go-menu"), chain);
}

TEST_F(MenuShortcutTest, SearchesEightLevelsBelowTheMenuBar)
{
    hangItemAtDepth(*desktop, 8);
    auto match = AXReader::searchMenuShortcut(menuBar(), 96, 0);
    ASSERT_TRUE(match);
    EXPECT_EQ(match->item, desktop->element("f5"));
    EXPECT_EQ(match->path, (std::vector<std::string>{"Go", "L2", "L3", "L4", "L5", "L6", "L7", "Refresh"}));
    desktop->removeElement(desktop->element("f5"));

    hangItemAtDepth(*desktop, 9);
    EXPECT_EQ(AXReader::searchMenuShortcut(menuBar(), 96, 0), std::nullopt);
    EXPECT_EQ(AXReader::searchMenuShortcut(menuBar(), 96, std::nullopt), std::nullopt);
}

} // namespace
} // namespace lorvantine
