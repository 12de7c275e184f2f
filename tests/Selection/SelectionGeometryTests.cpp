#include "Core/SelectionGeometry.h"
#include "TestSupport/DesktopTest.h"

#include <gtest/gtest.h>

namespace lorvantine::test {
namespace {

// Two screens: the primary one 1440 × 900, a taller one (1200 high) to its right, where the
// key window lies. Global top-left coordinates take the primary screen's height.
class SelectionGeometryTest : public DesktopTest {
protected:
    std::shared_ptr<SimDesktop> makeDesktop() override
    {
        SimFixture fixture = oneWindowFixture();
        fixture.screens = { ScreenInfo { Rect(0, 0, 1440, 900), Rect(0, 0, 1440, 875), 2 },
                            ScreenInfo { Rect(1440, -300, 1000, 1200), Rect(1440, -300, 1000, 1200), 1 } };
        fixture.applications.front().windows.front().frame = Rect(1500, 100, 800, 600);
        return SimDesktop::create(fixture);
    }

    std::optional<Rect> box(std::optional<Point> down, std::optional<Point> up, int64_t clicks)
    {
        SelectionGeometry geometry;
        geometry.lastMouseDown = down;
        geometry.lastMouseUp = up;
        geometry.lastClickCount = clicks;
        return geometry.lastSelectionBBoxAX(100, 8);
    }
};

TEST_F(SelectionGeometryTest, BoxOfTheLastGesture)
{
    ASSERT_EQ(Platform::windowServer().mainScreen()->frame.height(), 1200) << "the key window is on the taller screen";
    struct Case {
        const char* name;
        std::optional<Point> down, up;
        int64_t clicks;
        std::optional<Rect> expected;
    };
    const std::vector<Case> cases {
        { "a drag, flipped with the primary screen's height", Point { 1600, 700 }, Point { 1900, 650 }, 1,
          Rect(1500, 200 - 8, 300 + 200, 50 + 16) },
        { "a drag upwards on the primary screen", Point { 100, 100 }, Point { 300, 160 }, 1, Rect(0, 740 - 8, 400, 76) },
        { "exactly 5 points is a drag", Point { 100, 100 }, Point { 103, 104 }, 1, Rect(0, 796 - 8, 203, 20) },
        { "under 5 points with one click is none", Point { 100, 100 }, Point { 103, 103.9 }, 1, std::nullopt },
        { "a double click: the fixed box round the pointer", Point { 500, 400 }, Point { 500, 400 }, 2,
          Rect(500 - 600, 900 - 400 - 75, 1200, 150) },
        { "a triple click", Point { 1700, 300 }, Point { 1701, 300 }, 3, Rect(1101, 525, 1200, 150) },
        { "no mouse-down", std::nullopt, Point { 10, 10 }, 2, std::nullopt },
        { "no mouse-up", Point { 10, 10 }, std::nullopt, 2, std::nullopt },
    };
    for (const Case& c : cases)
        EXPECT_EQ(box(c.down, c.up, c.clicks), c.expected) << c.name;
}

TEST_F(SelectionGeometryTest, NoScreenNoBox)
{
    desktop->withModel([](SimModel& m) { m.screens.clear(); });
    EXPECT_EQ(box(Point { 0, 0 }, Point { 100, 100 }, 1), std::nullopt);
}

} // namespace
} // namespace lorvantine::test
