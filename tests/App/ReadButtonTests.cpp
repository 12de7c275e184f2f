#include "App/StatusBarIcon.h"
#include "CLI/CLIRouter.h"
#include "Core/ArticleReader.h"
#include "Overlay/ReadButton.h"
#include "Platform/Toolkit/Panel.h"
#include "Platform/Toolkit/StatusBarButton.h"
#include "Platform/Toolkit/StatusItem.h"
#include "Platform/WorkspacePort.h"
#include "TestSupport/DesktopTest.h"

namespace lorvantine::test {
namespace {

constexpr Rgb orange { 242, 101, 34 };

// One application in front with a white window at (100, 50), 600 × 400, and a read button.
class ReadButtonTest : public DesktopTest {
protected:
    void SetUp() override
    {
        DesktopTest::SetUp();
        const ProcessID pid = desktop->addApplication({ .pid = 700, .bundleIdentifier = "com.apple.Safari", .active = true });
        number = desktop->addWindow(pid, SimWindow { .title = "Doc", .frame = Rect(100, 50, 600, 400), .main = true,
                                                     .errors = windowErrors() });
        window = desktop->windowElement(number);
        button = std::make_shared<ReadButton>();
        button->onTap = [this] { ++taps; };
    }
    void TearDown() override
    {
        button.reset();
        DesktopTest::TearDown();
    }
    virtual std::map<std::string, AXError> windowErrors() const { return {}; }

    std::optional<Rect> buttonBounds()
    {
        for (const WindowInfo& info : programWindows())
            if (info.kCGWindowBounds && info.kCGWindowBounds->size == Size { 60, 60 })
                return *info.kCGWindowBounds;
        return std::nullopt;
    }
    // The circle's centre for a window whose bottom-right corner is `corner`.
    static Point circleCentre(Point corner) { return { corner.x - 16 - 18, corner.y - 16 - 18 }; }

    uint32_t number = 0;
    AXElement window;
    std::shared_ptr<ReadButton> button;
    int taps = 0;
};

TEST_F(ReadButtonTest, TheCircleSitsSixteenPointsInsideTheBottomRightCornerAndMovesWithTheWindow)
{
    button->show(window);
    RunLoop::runPending();
    EXPECT_EQ(buttonBounds(), Rect(636, 386, 60, 60));
    const Point centre = circleCentre({ 700, 450 });
    EXPECT_TRUE(near(screenColour({ centre.x - 13, centre.y }), orange, 3));
    EXPECT_TRUE(near(screenColour({ centre.x, centre.y - 2 }), white, 60)); // the white play mark

    desktop->moveWindow(number, { 300, 200 });
    RunLoop::runPending();
    EXPECT_EQ(buttonBounds(), Rect(836, 536, 60, 60));
    desktop->resizeWindow(number, { 500, 300 });
    RunLoop::runPending();
    EXPECT_EQ(buttonBounds(), Rect(736, 436, 60, 60));
}

class ReadButtonWithoutMoveNotificationsTest : public ReadButtonTest {
protected:
    std::map<std::string, AXError> windowErrors() const override
    {
        return { { "AXWindowMoved", AXError::notificationUnsupported }, { "AXWindowResized", AXError::notificationUnsupported } };
    }
};

TEST_F(ReadButtonWithoutMoveNotificationsTest, TheButtonCatchesUpWithinAFifthOfASecond)
{
    button->show(window);
    RunLoop::runPending();
    EXPECT_EQ(buttonBounds(), Rect(636, 386, 60, 60));
    desktop->moveWindow(number, { 300, 200 });
    RunLoop::runPending();
    EXPECT_EQ(buttonBounds(), Rect(636, 386, 60, 60));
    advance(0.2);
    EXPECT_EQ(buttonBounds(), Rect(836, 536, 60, 60));
}

TEST_F(ReadButtonTest, AClickTapsUnlessTheSpinnerShowsAndHoverDimsIt)
{
    button->show(window);
    RunLoop::runPending();
    const Point centre = circleCentre({ 700, 450 });
    click(centre);
    EXPECT_EQ(taps, 1);
    EXPECT_EQ(Platform::workspace().frontmostApplication()->pid, 700); // the program stays behind

    button->setLoading(true);
    EXPECT_TRUE(button->isLoading());
    click(centre);
    EXPECT_EQ(taps, 1);
    button->setLoading(false);
    RunLoop::runPending();
    click(centre);
    EXPECT_EQ(taps, 2);

    const Point edge { centre.x - 13, centre.y };
    moveTo(centre);
    advance(0.2);
    EXPECT_TRUE(near(screenColour(edge), over(white, orange, 0.85), 6)) << screenColour(edge);
    moveTo({ 300, 300 });
    advance(0.2);
    EXPECT_TRUE(near(screenColour(edge), orange, 3)) << screenColour(edge);

    button->hide();
    EXPECT_FALSE(buttonBounds());
    EXPECT_FALSE(button->trackedWindow());
}

TEST_F(ReadButtonTest, AnotherWindowIsFollowedFromItsNextMove)
{
    button->show(window);
    RunLoop::runPending();
    const ProcessID pid = 700;
    const uint32_t second = desktop->addWindow(pid, SimWindow { .title = "Other", .frame = Rect(200, 100, 400, 300) });
    button->updateTracking(desktop->windowElement(second));
    RunLoop::runPending();
    EXPECT_EQ(button->trackedWindow(), desktop->windowElement(second));
    advance(0.2);
    EXPECT_EQ(buttonBounds(), Rect(536, 336, 60, 60));
}

TEST_F(ReadButtonTest, TheStatusItemDrawsFiveBarsInTheMenuBar)
{
    auto item = StatusItem::make(StatusItem::squareLength);
    item->button().setDrawnImage(StatusBarIcon::image());
    RunLoop::runPending();
    // 25 points of menu bar: a 25-point square at its right end, the 18-point picture centred in it.
    const Rect square(1440 - StatusItem::rightMargin - 25, 0, 25, 25);
    const Point origin { square.minX() + 3.5, square.minY() + 3.5 };
    const std::vector<Rect> bars = StatusBarIcon::bars(18);
    ASSERT_EQ(bars.size(), 5u);
    const double heights[] = { 0.55, 0.82, 0.42, 1.0, 0.68 };
    for (size_t i = 0; i < bars.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(bars[i].height(), 18 * 0.82 * heights[i], 1e-9);
        EXPECT_NEAR(bars[i].midY(), 9, 1e-9);
        // Drawn dark at its middle, in the light bar.
        const Rgb ink = screenColour({ origin.x + bars[i].midX(), origin.y + 9 });
        EXPECT_LT(ink.r, 90) << ink;
    }
    EXPECT_NEAR(bars[0].minX(), 18 - bars[4].maxX(), 1e-9); // centred
    const Rgb gap = screenColour({ origin.x + (bars[1].maxX() + bars[2].minX()) / 2, origin.y + 9 });
    EXPECT_GT(gap.r, 180) << gap;
    EXPECT_EQ(attribute<std::string>(*find(programElement(), "AXButton"), "AXDescription"), "Lorvantine");
}

TEST(PageAdvanceTable, BookReadersTurnWordScrollsAndTheOthersEnd)
{
    const std::pair<const char*, bool> cases[] = {
        { "com.amazon.Lassen", true }, { "com.apple.iBooksX", true }, { "com.microsoft.Word", true },
        { "com.apple.Safari", false }, { "com.apple.iWork.Pages", false }, { "com.apple.Preview", false }, { "", false },
    };
    for (const auto& [bundleID, advances] : cases) {
        SCOPED_TRACE(bundleID);
        EXPECT_EQ(static_cast<bool>(CLIRouter::pageAdvance(bundleID, std::weak_ptr<ArticleReader>())), advances);
    }
}

} // namespace
} // namespace lorvantine::test
