#include "Accessibility/ScrollPosition.h"

#include "Platform/Services.h"
#include "SimDesktop/SimDesktop.h"
#include "TestSupport/DesktopTest.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

// A reader's window (at (100, 50)) with a toolbar's small scroll area and, below it, the document's
// scroll area (at y 90 in the window, 300 high) holding a page 1000 high and a vertical scroll bar.
class ScrollPositionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SimElement toolbar("AXScrollArea");
        toolbar.named("toolbar").frame(Rect(0, 28, 600, 40));
        SimElement document("AXScrollArea");
        document.named("document").frame(Rect(0, 90, 600, 300));
        document.child(SimElement("AXGroup").named("page").frame(Rect(20, 0, 540, 1000)));
        document.child(SimElement("AXScrollBar")
                           .named("bar")
                           .frame(Rect(585, 0, 15, 300))
                           .with("AXOrientation", std::string("AXVerticalOrientation"))
                           .with("AXValue", 0.0));
        SimElement split("AXSplitGroup");
        split.frame(Rect(0, 0, 600, 400)).child(std::move(toolbar)).child(std::move(document));
        desktop = SimDesktop::create(oneWindowFixture({ split }));
        services.emplace(desktop->services());
        window = desktop->windowElement(42);
    }

    std::shared_ptr<SimDesktop> desktop;
    std::optional<Platform::ScopedServices> services;
    AXElement window;
};

TEST_F(ScrollPositionTest, TheDocumentsTopIsWhereItsContentsStandOrWhereTheBarPutsThem)
{
    const Rect area(100, 140, 600, 300);
    EXPECT_EQ(ScrollPosition::read(window), (ScrollPosition { 140, area }));
    desktop->setScroll(desktop->element("document"), Point { 0, 350 });
    auto moved = ScrollPosition::read(window);
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->contentTop, 140 - 350);
    EXPECT_EQ(moved->documentY(moved->screenY(75)), 75);

    // Contents that do not tell their place: the bar's value over the 700 points they can move.
    desktop->setError(desktop->element("page"), "AXPosition", AXError::cannotComplete);
    desktop->setAttribute(desktop->element("bar"), "AXValue", 0.5);
    EXPECT_EQ(ScrollPosition::read(window), (ScrollPosition { 140 - 350, area }));
    desktop->setAttribute(desktop->element("bar"), "AXValue", std::string("half"));
    EXPECT_EQ(ScrollPosition::read(window), std::nullopt);
    desktop->setAttribute(desktop->element("bar"), "AXValue", int64_t { 1 });
    EXPECT_EQ(ScrollPosition::read(window), (ScrollPosition { 140 - 700, area }));
    // Nor their height: the place cannot be told.
    desktop->setError(desktop->element("page"), "AXSize", AXError::cannotComplete);
    EXPECT_EQ(ScrollPosition::read(window), std::nullopt);

    desktop->setError(desktop->element("document"), "AXContents", AXError::cannotComplete);
    EXPECT_EQ(ScrollPosition::read(window), std::nullopt);
    EXPECT_EQ(ScrollPosition::read(desktop->element("page")), std::nullopt); // no scroll area below it
}

} // namespace
} // namespace lorvantine
