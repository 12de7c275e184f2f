#include "PanelsTest.h"

#include "Platform/Toolkit/Button.h"
#include "Platform/Toolkit/LocalizedStrings.h"
#include "Platform/Toolkit/Panel.h"
#include "Platform/Toolkit/Screen.h"
#include "Player/MiniPlayer.h"

#include <functional>

namespace lorvantine::panels {
namespace {

constexpr const char* readerID = "com.example.Reader";

// A primary screen 1000 points high, and the reader's window of 800 × 600 at (100, 100): the card
// belongs at AppKit (620, 316) to (884, 364), the panel's origin at (608, 304).
class MiniPlayerTest : public PanelsTest {
protected:
    std::vector<ScreenInfo> screens() const override
    {
        return { ScreenInfo { Rect(0, 0, 1440, 1000), Rect(0, 0, 1440, 975), 1 } };
    }

    void SetUp() override
    {
        PanelsTest::SetUp();
        LocalizedStrings::setLanguage(LocalizedStrings::Language::english);
        reader = addApplication(700, readerID, Rect(100, 100, 800, 600));
        player = std::make_shared<MiniPlayer>();
        player->trackedBundleID = readerID;
        player->onPlayPause = [this] { calls.push_back("playPause"); };
        player->onClose = [this] { calls.push_back("close"); };
        player->onSpeedChange = [this](float speed) { calls.push_back("speed " + MiniPlayer::speedTitle(speed)); };
        player->onVoiceChange = [this](const std::string& code) { calls.push_back("voice " + code); };
        player->onPrevParagraph = [this] { calls.push_back("prev"); };
        player->onNextParagraph = [this] { calls.push_back("next"); };
    }

    void TearDown() override
    {
        if (player)
            player->hide();
        player.reset();
        LocalizedStrings::resetLanguage();
        PanelsTest::TearDown();
    }

    // The panel as the window list shows it (top-left), if it is on screen.
    std::optional<Rect> panelOnScreen()
    {
        for (const WindowInfo& info : programWindows())
            if (info.kCGWindowBounds && info.kCGWindowBounds->size == Size { 288, 72 })
                return info.kCGWindowBounds;
        return std::nullopt;
    }

    // A point of the card, given in the card's own coordinates (bottom-left), as a top-left screen point.
    Point onCard(Point p)
    {
        const Rect panel = player->panel()->frame();
        return *Screen::toTopLeft(Point { panel.minX() + 12 + p.x, panel.minY() + 12 + p.y });
    }

    std::vector<AXElement> controls(const std::string& role) { return findAll(programElement(), role); }
    std::string labelText()
    {
        auto labels = controls("AXStaticText");
        return labels.empty() ? "" : attribute<std::string>(labels.front(), "AXValue").value_or("");
    }
    std::string selected(size_t popUp)
    {
        auto popUps = controls("AXPopUpButton");
        return popUps.size() > popUp ? attribute<std::string>(popUps[popUp], "AXValue").value_or("") : "?";
    }
    // Opens a pop-up through accessibility and lists its items.
    std::vector<std::string> itemsOf(size_t popUp)
    {
        press(controls("AXPopUpButton").at(popUp));
        std::vector<std::string> titles;
        for (const AXElement& item : controls("AXMenuItem"))
            titles.push_back(attribute<std::string>(item, "AXTitle").value_or(""));
        return titles;
    }
    void choose(const std::string& title)
    {
        for (const AXElement& item : controls("AXMenuItem"))
            if (attribute<std::string>(item, "AXTitle") == title)
                return press(item);
        ADD_FAILURE() << "no menu item " << title;
    }
    const Button* playButton() const
    {
        const auto& card = player->panel()->contentView()->subviews().at(0);
        return dynamic_cast<const Button*>(card->subviews().at(1).get());
    }

    AppWindow reader;
    std::shared_ptr<MiniPlayer> player;
    std::vector<std::string> calls;
};

TEST_F(MiniPlayerTest, SitsInsideTheWindowsBottomRightCornerAndFollowsIt)
{
    player->show(reader.window);
    EXPECT_EQ(player->panel()->frame(), Rect(608, 304, 288, 72));
    EXPECT_EQ(panelOnScreen(), Rect(608, 1000 - 304 - 72, 288, 72));
    EXPECT_TRUE(player->visibleState());
    EXPECT_EQ(player->panel()->level(), 3);
    EXPECT_EQ(player->panel()->collectionBehavior(), 17u);

    // The dark card over the white window: its pill, inset 12 points in the clear panel.
    auto picture = render();
    const Rgb card = colourAt(*picture, onCard({ 52, 24 }));
    EXPECT_LT(card.r, 40);
    EXPECT_EQ(card.r, card.g);
    EXPECT_GT(card.b, card.r);
    EXPECT_EQ(colourAt(*picture, *Screen::toTopLeft(Point { 612, 308 })), white);

    desktop->moveWindow(reader.number, { 150, 120 });
    RunLoop::runPending();
    EXPECT_EQ(player->panel()->frame().origin, (Point { 658, 284 }));
    desktop->resizeWindow(reader.number, { 600, 500 });
    RunLoop::runPending();
    EXPECT_EQ(player->panel()->frame().origin, (Point { 458, 384 }));

    // Without notifications the 0.2-second poll still brings it along.
    desktop->setError(reader.window, "AXWindowMoved", AXError::notificationUnsupported);
    player->hide();
    player->show(reader.window);
    desktop->moveWindow(reader.number, { 100, 100 });
    RunLoop::runPending();
    EXPECT_EQ(player->panel()->frame().origin, (Point { 458, 384 }));
    advance(0.2);
    EXPECT_EQ(player->panel()->frame().origin, (Point { 408, 404 }));

    // A window that has gone leaves the card where it was.
    desktop->closeWindow(reader.number);
    advance(0.6);
    EXPECT_EQ(player->panel()->frame().origin, (Point { 408, 404 }));
}

TEST_F(MiniPlayerTest, ShowsTheCounterTheSpeedsAndTheVoicesOfTheLanguage)
{
    player->show(reader.window);
    EXPECT_EQ(labelText(), "0/0");
    player->setProgress(2, 12);
    EXPECT_EQ(labelText(), "0/0"); // not before the main queue runs
    RunLoop::runPending();
    EXPECT_EQ(labelText(), "3/12");
    player->setProgress(0, 5);
    RunLoop::runPending();
    EXPECT_EQ(labelText(), "1/5");

    // Nothing saved: 1.5x and the first Chinese voice.
    EXPECT_EQ(selected(0), "1.5x");
    EXPECT_EQ(selected(1), "Xiaoxuan");
    EXPECT_EQ(itemsOf(0), (std::vector<std::string> { "0.8x", "1.0x", "1.25x", "1.5x", "1.75x", "2.0x" }));
    choose("1.5x");
    EXPECT_EQ(itemsOf(1), (std::vector<std::string> { "Xiaoxuan", "Xiaoya", "Xiaorou", "Xiaoyue", "Xiaoqing", "Yunze",
                                                      "Yunlang", "Yunchen", "Yunqian", "Yunhan" }));
    choose("Xiaoxuan");

    player->configureForLanguage(false);
    RunLoop::runPending();
    EXPECT_FALSE(player->isZhContent());
    EXPECT_EQ(selected(0), "1.5x");
    EXPECT_EQ(selected(1), "Heart");
    EXPECT_EQ(itemsOf(1), (std::vector<std::string> { "Heart", "Bella", "Nova", "Sky", "Emma", "Adam", "Eric", "George" }));
    choose("Heart");

    // The language's own saved voice and speed.
    defaults->set(PreferencesModel::Key::defaultVoiceEn, "bf_emma");
    defaults->set(PreferencesModel::Key::defaultSpeedEn, 1.25f);
    defaults->set(PreferencesModel::Key::defaultSpeedZh, 2.0f);
    player->configureForLanguage(false);
    RunLoop::runPending();
    EXPECT_EQ(selected(0), "1.25x");
    EXPECT_EQ(selected(1), "Emma");
    player->configureForLanguage(true);
    RunLoop::runPending();
    EXPECT_EQ(selected(0), "2.0x");
    EXPECT_EQ(selected(1), "Xiaoxuan");

    // A saved value the card does not offer is not selected: the refilled voice list shows its
    // first entry, as a new pop-up does, and the speed pop-up shows none.
    defaults->set(PreferencesModel::Key::defaultVoiceZh, "af_sky");
    defaults->set(PreferencesModel::Key::defaultSpeedZh, 3.0f);
    player->configureForLanguage(true);
    RunLoop::runPending();
    EXPECT_EQ(selected(0), "");
    EXPECT_EQ(selected(1), "Xiaoxuan");
}

TEST_F(MiniPlayerTest, TitlesComeFromTheStringTablesAndTheRates)
{
    EXPECT_EQ(MiniPlayer::speedTitle(3.0f), "3.0x");
    EXPECT_EQ(MiniPlayer::shortTitle("Alloy"), "Alloy");
    LocalizedStrings::setLanguage(LocalizedStrings::Language::chinese);
    EXPECT_EQ(MiniPlayer::shortTitle(MiniPlayer::zhVoices().front().label), "晓萱");

    // The generic saved values choose the first selection of a new card.
    defaults->set(PreferencesModel::Key::defaultSpeed, 0.8f);
    defaults->set(PreferencesModel::Key::defaultVoice, "zm_098");
    player = std::make_shared<MiniPlayer>();
    player->show(reader.window);
    EXPECT_EQ(selected(0), "0.8x");
    EXPECT_EQ(selected(1), "云瀚");
}

TEST_F(MiniPlayerTest, ControlsCallTheOwnerWhenClickedOrPressedAndDoNotActivateTheProgram)
{
    player->show(reader.window);
    click(onCard({ 70, 24 })); // play/pause
    click(onCard({ 248, 24 })); // close
    EXPECT_EQ(calls, (std::vector<std::string> { "playPause", "close" }));
    EXPECT_TRUE(log.contains("[MiniPlayer] close tapped"));
    EXPECT_EQ(playButton()->image()->name(), "play.fill"); // the owner answers with setPlaying
    EXPECT_TRUE(panelOnScreen());                         // and with hide
    EXPECT_EQ(Platform::workspace().frontmostApplication()->pid, reader.pid);

    // The speed pop-up opens under a click; a choice reports the rate.
    click(onCard({ 119, 24 }));
    choose("2.0x");
    itemsOf(1);
    choose("Yunze");
    press(controls("AXButton").at(0));
    EXPECT_EQ(calls, (std::vector<std::string> { "playPause", "close", "speed 2.0x", "voice zm_009", "playPause" }));

    // Clicking the card left the reader in front, so the focus check keeps the card up.
    advance(1.0);
    EXPECT_TRUE(panelOnScreen());
    EXPECT_FALSE(player->hiddenByFocus());

    player->setPlaying(true);
    RunLoop::runPending();
    ASSERT_TRUE(playButton()->image());
    EXPECT_EQ(playButton()->image()->name(), "pause.fill");
    EXPECT_EQ(playButton()->image()->pointSize(), 16);
    EXPECT_EQ(playButton()->image()->weight(), Font::Weight::medium);
    player->setPlaying(false);
    RunLoop::runPending();
    EXPECT_EQ(playButton()->image()->name(), "play.fill");
}

TEST_F(MiniPlayerTest, HidesWhileAnotherApplicationIsInFrontAndOnRequest)
{
    addApplication(800, "com.example.Other", Rect(900, 100, 400, 300), {}, false);
    player->show(reader.window);

    desktop->setFrontmost(800);
    advance(1.0);
    EXPECT_FALSE(panelOnScreen());
    EXPECT_TRUE(player->hiddenByFocus());
    desktop->setFrontmost(reader.pid);
    advance(1.0);
    EXPECT_TRUE(panelOnScreen());
    EXPECT_FALSE(player->hiddenByFocus());

    player->setHidden(true);
    EXPECT_TRUE(panelOnScreen()); // queued
    RunLoop::runPending();
    EXPECT_FALSE(panelOnScreen());
    EXPECT_FALSE(player->visibleState());
    // The focus check does not look at the requested state: away and back shows the card again.
    desktop->setFrontmost(800);
    advance(1.0);
    desktop->setFrontmost(reader.pid);
    advance(1.0);
    EXPECT_TRUE(panelOnScreen());
    EXPECT_FALSE(player->visibleState());

    player->setHidden(true); // visibleState is false already: nothing to do
    RunLoop::runPending();
    EXPECT_TRUE(panelOnScreen());
    player->setHidden(false);
    RunLoop::runPending();
    EXPECT_TRUE(player->visibleState());
    EXPECT_TRUE(panelOnScreen());

    // Without a tracked application there is no focus check; an empty name names none.
    player->trackedBundleID.reset();
    desktop->setFrontmost(800);
    advance(2.0);
    EXPECT_TRUE(panelOnScreen());
    player->trackedBundleID = "";
    advance(2.0);
    EXPECT_TRUE(panelOnScreen());
    desktop->setFrontmost(reader.pid);
    advance(1.0);
    EXPECT_TRUE(panelOnScreen());
}

TEST_F(MiniPlayerTest, ShownAgainWhileAnotherApplicationIsInFrontItWaitsForTheReadApplication)
{
    addApplication(800, "com.example.Other", Rect(900, 100, 400, 300), {}, false);
    const std::vector<std::pair<const char*, std::function<void()>>> showAgain {
        { "setHidden(false)", [&] {
             player->setHidden(true);
             RunLoop::runPending();
             advance(1.0);
             player->setHidden(false);
             RunLoop::runPending();
         } },
        { "show after hide", [&] {
             advance(1.0);
             player->hide();
             player->show(reader.window);
         } },
    };
    for (const auto& [name, action] : showAgain) {
        SCOPED_TRACE(name);
        desktop->setFrontmost(reader.pid);
        player->show(reader.window);
        desktop->setFrontmost(800);
        action();
        EXPECT_FALSE(panelOnScreen());
        advance(2.0);
        EXPECT_FALSE(panelOnScreen());
        desktop->setFrontmost(reader.pid);
        advance(1.0);
        EXPECT_TRUE(panelOnScreen());
        player->hide();
    }
}

// A second screen to the right of the primary one, its top 100 points lower.
class MiniPlayerOnTwoScreens : public MiniPlayerTest {
protected:
    std::vector<ScreenInfo> screens() const override
    {
        return { ScreenInfo { Rect(0, 0, 1440, 1000), Rect(0, 0, 1440, 975), 1 },
                 ScreenInfo { Rect(1440, 0, 1280, 900), Rect(1440, 40, 1280, 860), 1 } };
    }
};

TEST_F(MiniPlayerOnTwoScreens, StaysOnTheVisibleFrameOfTheScreenOfTheWindow)
{
    struct Case {
        const char* name;
        Rect window;
        Point origin;
    };
    const std::vector<Case> cases {
        { "inside", Rect(100, 100, 800, 600), { 608, 304 } },
        { "hanging below", Rect(100, 800, 800, 600), { 608, 0 } },
        { "past the right edge of the second screen", Rect(2200, 200, 800, 600), { 2432, 204 } },
        { "below the second screen", Rect(1600, 950, 600, 400), { 1908, 40 } },
        { "above the primary screen", Rect(100, -700, 800, 600), { 608, 903 } },
        { "left of every screen", Rect(-2000, 100, 800, 600), { 0, 304 } },
        { "across both, mostly on the second", Rect(1300, 150, 900, 500), { 1908, 354 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        desktop->moveWindow(reader.number, c.window.origin);
        desktop->resizeWindow(reader.number, c.window.size);
        player->show(reader.window);
        EXPECT_EQ(player->panel()->frame().origin, c.origin);
    }

    // Following a window that slides off the bottom keeps the card in reach.
    desktop->moveWindow(reader.number, { 100, 100 });
    desktop->resizeWindow(reader.number, { 800, 600 });
    player->show(reader.window);
    desktop->moveWindow(reader.number, { 100, 700 });
    RunLoop::runPending();
    EXPECT_EQ(player->panel()->frame().origin, (Point { 608, 0 }));
    click(onCard({ 248, 24 }));
    EXPECT_EQ(calls, std::vector<std::string> { "close" });
}

TEST_F(MiniPlayerTest, UpdatesThatArriveAfterHideOrAfterThePlayerIsGoneDoNothing)
{
    player->show(reader.window);
    player->hide();
    player->hide(); // harmless
    EXPECT_FALSE(panelOnScreen());
    EXPECT_EQ(player->panel(), nullptr);

    player->setPlaying(true);
    player->setProgress(4, 9);
    player->configureForLanguage(false);
    player->setHidden(false);
    RunLoop::runPending();
    advance(2.0);
    EXPECT_FALSE(panelOnScreen());
    EXPECT_TRUE(programWindows().empty());
    // The player itself kept what it was told.
    EXPECT_EQ(player->totalParagraphs(), 9);
    EXPECT_FALSE(player->isZhContent());

    // Shown again: a new card, with the voices of the language it was told last.
    player->show(reader.window);
    EXPECT_EQ(labelText(), "0/0");
    EXPECT_EQ(itemsOf(1).size(), 8u);
    choose("Heart");

    // Work queued for a player that is released before it runs finds it gone.
    player->setProgress(1, 2);
    player->setHidden(true);
    std::weak_ptr<MiniPlayer> weak = player;
    player->hide();
    player.reset();
    EXPECT_TRUE(weak.expired());
    RunLoop::runPending();
    advance(2.0);
    EXPECT_TRUE(programWindows().empty());
    EXPECT_TRUE(std::find(calls.begin(), calls.end(), "prev") == calls.end());
}

TEST_F(MiniPlayerTest, TheOlderEntryPlacesTheCardForTheRectangleItIsGiven)
{
    std::optional<Rect> rect = Rect(100, 100, 800, 600);
    player->show(Rect(100, 100, 800, 600), [&] { return rect; });
    EXPECT_TRUE(log.contains("[MiniPlayer] 旧 show(near:getRect:) 已废弃，请改用 show(window:)"));
    EXPECT_EQ(player->panel()->frame().origin, (Point { 608, 304 }));
    EXPECT_TRUE(player->visibleState());

    rect = Rect(200, 100, 800, 600);
    advance(0.1);
    EXPECT_EQ(player->panel()->frame().origin, (Point { 708, 304 }));
    rect.reset();
    advance(0.3);
    EXPECT_EQ(player->panel()->frame().origin, (Point { 708, 304 }));

    // The card keeps to the read application on this road too, for as long as it is shown.
    desktop->setFrontmost(desktop->pidOf("com.lorvantine.desktop").value_or(0));
    advance(1.0);
    EXPECT_FALSE(panelOnScreen());
    EXPECT_TRUE(player->hiddenByFocus());
    desktop->setFrontmost(reader.pid);
    advance(1.0);
    EXPECT_TRUE(panelOnScreen());

    // Shown while another application is in front, it waits for the read one.
    player->hide();
    desktop->setFrontmost(desktop->pidOf("com.lorvantine.desktop").value_or(0));
    player->show(Rect(100, 100, 800, 600), [&] { return rect; });
    EXPECT_FALSE(panelOnScreen());
    desktop->setFrontmost(reader.pid);
    advance(1.0);
    EXPECT_TRUE(panelOnScreen());
}

} // namespace
} // namespace lorvantine::panels
