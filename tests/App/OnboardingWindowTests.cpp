#include "OwnWindowsTest.h"

#include "App/OnboardingTipPanel.h"
#include "App/OnboardingWindow.h"
#include "Platform/Toolkit/Button.h"
#include "Platform/Toolkit/Label.h"
#include "Platform/Toolkit/LocalizedStrings.h"
#include "Platform/Toolkit/TextMeasurer.h"
#include "Platform/Toolkit/Window.h"
#include "Support/Text.h"

namespace lorvantine {
namespace {

class OnboardingWindowTest : public OwnWindowsTest {
protected:
    void SetUp() override
    {
        OwnWindowsTest::SetUp();
        LocalizedStrings::setLanguage(LocalizedStrings::Language::english);
        onboarding->onOpenURL = [this](const std::string& url) { opened.push_back(url); };
    }
    void TearDown() override
    {
        onboarding.reset();
        LocalizedStrings::resetLanguage();
        OwnWindowsTest::TearDown();
    }

    // Moves the clock to `s` seconds after the test's start.
    void at(double s)
    {
        advance(s - elapsed);
        elapsed = s;
    }
    std::vector<std::string> labelTexts(const View& root)
    {
        std::vector<std::string> texts;
        for (const auto& view : root.subviews()) {
            if (auto* label = dynamic_cast<const Label*>(view.get()))
                texts.push_back(label->text());
            if (auto* button = dynamic_cast<const Button*>(view.get()))
                texts.push_back(button->title());
            auto deeper = labelTexts(*view);
            texts.insert(texts.end(), deeper.begin(), deeper.end());
        }
        return texts;
    }
    bool shows(const std::string& text) { auto t = labelTexts(*onboarding->contentView()); return std::find(t.begin(), t.end(), text) != t.end(); }

    std::shared_ptr<OnboardingWindow> onboarding = std::make_shared<OnboardingWindow>();
    std::vector<std::string> opened;
    double elapsed = 0;
};

TEST_F(OnboardingWindowTest, ATrustedProgramGoesStraightToTheDemoWithoutPolling)
{
    onboarding->show();
    EXPECT_EQ(onboarding->currentStep(), 2);
    EXPECT_FALSE(onboarding->isPolling());
    EXPECT_EQ(onboarding->statusLabel(), nullptr);
    EXPECT_TRUE(shows("Get Started"));
    EXPECT_FALSE(shows("Open System Settings"));
    ASSERT_GE(log.lines().size(), 2u);
    EXPECT_EQ(log.lines()[0], "[Onboarding] AX trusted=true bundleID=com.lorvantine.desktop");
    EXPECT_TRUE(Text::hasPrefix(log.lines()[1], "[Onboarding] path=/"));
    EXPECT_EQ(onboarding->window()->title(), "Welcome to Lorvantine");
    EXPECT_EQ(onboarding->window()->contentRect().size, (Size { 560, 540 }));
    EXPECT_TRUE(onboarding->window()->isKeyWindow());
}

// Step 1 polls once a second; a grant turns the status green at the next look and step 2
// replaces everything exactly 1.0 s later.
TEST_F(OnboardingWindowTest, AGrantSeenByThePollLeadsToTheDemoOneSecondLater)
{
    desktop->setTrusted(false);
    onboarding->show();
    ASSERT_EQ(onboarding->currentStep(), 1);
    EXPECT_EQ(log.lines().at(0), "[Onboarding] AX trusted=false bundleID=com.lorvantine.desktop");
    Label* status = onboarding->statusLabel();
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->text(), "Accessibility access: not granted");
    EXPECT_GT(status->textColor().red, 0.9);
    EXPECT_TRUE(onboarding->isPolling());

    at(10);
    EXPECT_EQ(onboarding->currentStep(), 1);
    desktop->setTrusted(true);
    at(10.999);
    EXPECT_EQ(status->text(), "Accessibility access: not granted");
    at(11.001);
    EXPECT_EQ(status->text(), "Accessibility access: granted");
    EXPECT_GT(status->textColor().green, 0.7);
    EXPECT_LT(status->textColor().red, 0.3);
    EXPECT_FALSE(onboarding->isPolling());
    at(11.99);
    EXPECT_TRUE(shows("Open System Settings"));
    at(12.01);
    EXPECT_EQ(onboarding->currentStep(), 2);
    EXPECT_FALSE(shows("Open System Settings"));
    EXPECT_FALSE(shows("Accessibility access: granted"));
    EXPECT_TRUE(shows("Get Started"));
    EXPECT_FALSE(onboarding->isPolling());
}

TEST_F(OnboardingWindowTest, TheSettingsButtonOpensTheAccessibilityPaneAndPromptsNothing)
{
    desktop->setTrusted(false);
    onboarding->show();
    RunLoop::runPending();
    // Trusted again before the poll's first look, so that the test can press through accessibility.
    desktop->setTrusted(true);
    const auto buttons = contentButtons();
    ASSERT_EQ(buttons.size(), 1u);
    EXPECT_EQ(attribute<std::string>(buttons[0], "AXTitle"), "Open System Settings");
    press(buttons[0]);
    EXPECT_EQ(opened, (std::vector<std::string> { "x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility" }));
    for (const auto& entry : desktop->journal())
        EXPECT_NE(entry.kind, SimJournalEntry::Kind::trustPrompt);
    EXPECT_EQ(onboarding->currentStep(), 1);
}

// Closing the window by its close button records nothing; the poll goes on and a later grant
// still switches the closed window to step 2, whose demo waits unseen for the window to show.
TEST_F(OnboardingWindowTest, ClosingTheWindowLeavesThePollRunningAndTheDemoWaiting)
{
    desktop->setTrusted(false);
    onboarding->show();
    onboarding->window()->close();
    at(3);
    EXPECT_TRUE(onboarding->isPolling());
    EXPECT_FALSE(defaults->object(PreferencesModel::Key::hasCompletedOnboarding));
    desktop->setTrusted(true);
    at(5);
    EXPECT_EQ(onboarding->currentStep(), 2);
    EXPECT_FALSE(onboarding->window()->isVisible());
    at(5 + 0.81);
    EXPECT_DOUBLE_EQ(onboarding->demoSelectionOverlay()->alphaValue(), 0);
}

// A demo whose window is closed or ordered out stops where it is, without restarting itself, and
// carries on from there when the window shows again.
TEST_F(OnboardingWindowTest, TheDemoWaitsWhileItsWindowIsHiddenAndGoesOnWhenItShows)
{
    onboarding->show();
    at(3.4); // reading: the first word is lit
    ASSERT_DOUBLE_EQ(onboarding->demoWordHighlights().at(0)->alphaValue(), 1);
    const auto state = [&] {
        std::vector<double> values;
        for (View* view : { onboarding->demoSelectionOverlay(), onboarding->demoBubbleView(), onboarding->demoPlayerView() })
            values.push_back(view->alphaValue());
        for (const auto& view : onboarding->demoWordHighlights())
            values.push_back(view->alphaValue());
        for (const auto& label : onboarding->demoWordLabels())
            values.push_back(label->textColor().red);
        return values;
    };
    for (const bool close : { false, true }) {
        const auto before = state();
        if (close)
            onboarding->window()->close();
        else
            onboarding->window()->orderOut();
        at(elapsed + 60);
        EXPECT_EQ(state(), before) << (close ? "closed" : "ordered out");

        onboarding->window()->makeKeyAndOrderFront();
        at(elapsed + 0.2);
        EXPECT_NE(state(), before) << "the next word is lit";
    }
    // Shown, it still runs cycle after cycle.
    const int gen = onboarding->animGenId();
    for (int n = 0; n < 3; ++n) {
        at(elapsed + 7);
        EXPECT_EQ(onboarding->animGenId(), gen);
    }
    EXPECT_TRUE(onboarding->window()->isVisible());
}

// The person closes the window with Command-W, or with one click on its close button: it goes,
// nothing is recorded, and the poll goes on.
TEST_F(OnboardingWindowTest, APersonClosesTheWindowWithCommandWOrItsCloseButton)
{
    desktop->setTrusted(false);
    onboarding->show();
    RunLoop::runPending();
    key(KeyEvent::keyW, EventFlags::maskCommand);
    EXPECT_FALSE(onboarding->window()->isVisible());
    EXPECT_TRUE(onboarding->isPolling());
    EXPECT_FALSE(defaults->object(PreferencesModel::Key::hasCompletedOnboarding));

    desktop->setTrusted(true);
    auto second = std::make_shared<OnboardingWindow>();
    second->show();
    RunLoop::runPending();
    ASSERT_NE(second->window()->closeButton(), nullptr);
    const View& button = *second->window()->closeButton();
    const Rect r = second->window()->convertRectToScreen(button.convertToView(button.bounds(), nullptr));
    click({ r.midX(), 900 - r.midY() });
    EXPECT_FALSE(second->window()->isVisible());
    EXPECT_TRUE(programWindows().empty());
    EXPECT_FALSE(defaults->object(PreferencesModel::Key::hasCompletedOnboarding));
}

// Finishing in the middle of the demo: the flag is set at once, the window goes, the ready tip
// fades in, and no later step of the chain changes any view.
TEST_F(OnboardingWindowTest, FinishingMidAnimationLeavesNoLaterChange)
{
    onboarding->show();
    at(3.4); // reading: the first word is lit
    ASSERT_DOUBLE_EQ(onboarding->demoWordHighlights().at(0)->alphaValue(), 1);
    const auto snapshot = [&] {
        std::vector<double> state;
        for (View* view : { onboarding->demoSelectionOverlay(), onboarding->demoBubbleView(), onboarding->demoPlayerView() })
            state.push_back(view->alphaValue());
        for (const auto* views : { &onboarding->demoParagraphBgs(), &onboarding->demoWordHighlights() })
            for (const auto& view : *views)
                state.push_back(view->alphaValue());
        for (const auto& label : onboarding->demoWordLabels())
            state.push_back(label->textColor().red);
        state.push_back(onboarding->demoProgressFill()->frame().width());
        return state;
    };
    press(contentButtons().back());
    EXPECT_TRUE(defaults->boolForKey(PreferencesModel::Key::hasCompletedOnboarding));
    EXPECT_EQ(onboarding->window(), nullptr);
    ASSERT_NE(onboarding->readyTip(), nullptr);
    ASSERT_NE(onboarding->readyTip()->panel(), nullptr);
    const auto windows = programWindows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0].kCGWindowBounds, Rect(1440 - 16 - 420, 36, 420, 84));
    const auto before = snapshot();
    at(30);
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(onboarding->readyTip()->panel(), nullptr);
}

// The demo's words: one label per word 4 points apart, or per character without a gap; a wrap
// goes one line height down; a token that starts a line never wraps; no tokens, no labels.
TEST_F(OnboardingWindowTest, WordLabelsAreLaidOutTokenByToken)
{
    const Font font = Font::system(12);
    auto width = [&](const std::string& token) { return std::ceil(TextMeasurer::current().size(token, font).width) + 1; };
    struct Case {
        std::string text;
        double maxWidth;
        std::vector<std::string> tokens;
        std::vector<int> lines; // line of each token, 0 first
        double gap;
    };
    const std::string wide = "Pneumonoultramicroscopicsilicovolcanoconiosis";
    const std::vector<Case> cases {
        { "Listen  while\nyou read", 330, { "Listen", "while", "you", "read" }, { 0, 0, 0, 0 }, 4 },
        { "one two three four", width("one") + 4 + width("two") + 1, { "one", "two", "three", "four" }, { 0, 0, 1, 2 }, 4 },
        { wide + " x", 60, { wide, "x" }, { 0, 1 }, 4 },
        { "x " + wide, 60, { "x", wide }, { 0, 1 }, 4 },
        { "边听边读", 330, { "边", "听", "边", "读" }, { 0, 0, 0, 0 }, 0 },
        { "", 330, {}, {}, 0 },
        { " \n ", 330, {}, {}, 0 },
    };
    for (const Case& c : cases) {
        auto container = std::make_shared<View>(Rect(0, 0, 460, 230));
        const auto result = OnboardingWindow::buildWordLabels(c.text, *container, 30, 108, c.maxWidth, 15);
        ASSERT_EQ(result.labels.size(), c.tokens.size()) << c.text;
        ASSERT_EQ(result.highlights.size(), c.tokens.size()) << c.text;
        EXPECT_EQ(container->subviews().size(), 2 * c.tokens.size()) << c.text;
        double x = 30;
        int line = 0;
        for (size_t i = 0; i < c.tokens.size(); ++i) {
            const Label& label = *result.labels[i];
            EXPECT_EQ(label.text(), c.tokens[i]) << c.text;
            if (c.lines[i] != line) {
                line = c.lines[i];
                x = 30;
            }
            const double w = width(c.tokens[i]);
            EXPECT_EQ(label.frame(), Rect(x, 108 + 15 - 15.0 * line, w, 15)) << c.text << " / " << c.tokens[i];
            EXPECT_EQ(result.highlights[i]->frame(), Rect(x - 2, 108 + 15 - 15.0 * line - 2, w + 4, 18)) << c.tokens[i];
            EXPECT_DOUBLE_EQ(result.highlights[i]->alphaValue(), 0);
            EXPECT_EQ(label.textColor(), OnboardingWindow::textDim);
            x += w + c.gap;
        }
    }
}

// One cycle's timing, step by step, for a reading paragraph of three words (0.18 s a word):
// 4.75 + 3 × 0.18 seconds from one selection to the next.
TEST_F(OnboardingWindowTest, TheDemoChainKeepsItsTimingCycleAfterCycle)
{
    onboarding->demoParagraphSource = [] { return std::vector<std::string> { "First one.", "Read these words", "Last one." }; };
    onboarding->show();
    ASSERT_EQ(onboarding->demoWordLabels().size(), 3u);
    View& overlay = *onboarding->demoSelectionOverlay();
    View& bubble = *onboarding->demoBubbleView();
    View& player = *onboarding->demoPlayerView();
    View& fill = *onboarding->demoProgressFill();
    const auto& words = onboarding->demoWordLabels();
    const auto& lit = onboarding->demoWordHighlights();
    const double cycle = 4.75 + 3 * 0.18;
    EXPECT_DOUBLE_EQ(cycle, 5.29);
    for (int n = 0; n < 2; ++n) {
        const double t0 = n * cycle;
        const double e = 0.005;
        at(t0 + 0.8 - e);
        EXPECT_DOUBLE_EQ(overlay.alphaValue(), 0) << n;
        at(t0 + 0.8 + e);
        EXPECT_DOUBLE_EQ(overlay.alphaValue(), 1) << n;
        at(t0 + 1.4 - e);
        EXPECT_DOUBLE_EQ(bubble.alphaValue(), 0);
        at(t0 + 1.4 + e);
        EXPECT_DOUBLE_EQ(bubble.alphaValue(), 1);
        at(t0 + 1.7 + e);
        EXPECT_EQ(bubble.animationKeys(), (std::vector<std::string> { "pulse" }));
        at(t0 + 2.6 + e);
        EXPECT_EQ(bubble.animationKeys(), (std::vector<std::string> { "click" }));
        at(t0 + 2.9 + e);
        EXPECT_DOUBLE_EQ(overlay.alphaValue(), 0);
        EXPECT_DOUBLE_EQ(bubble.alphaValue(), 0);
        EXPECT_DOUBLE_EQ(player.alphaValue(), 0);
        at(t0 + 3.15 + e);
        EXPECT_DOUBLE_EQ(player.alphaValue(), 1);
        EXPECT_DOUBLE_EQ(onboarding->demoParagraphBgs()[1]->alphaValue(), 1);
        EXPECT_DOUBLE_EQ(onboarding->demoParagraphBorders()[1]->alphaValue(), 1);
        EXPECT_DOUBLE_EQ(onboarding->demoParagraphBgs()[0]->alphaValue(), 0);
        EXPECT_DOUBLE_EQ(fill.frame().width(), 326);
        EXPECT_NEAR(fill.presentationFrame().width(), 0, 15);
        EXPECT_DOUBLE_EQ(lit[0]->alphaValue(), 0);
        for (size_t i = 0; i < 3; ++i) {
            at(t0 + 3.35 + 0.18 * static_cast<double>(i) + e);
            for (size_t j = 0; j < 3; ++j) {
                const Color expected = j < i ? OnboardingWindow::textSpoken : j == i ? OnboardingWindow::textPrimary : OnboardingWindow::textDim;
                EXPECT_EQ(words[j]->textColor(), expected) << "cycle " << n << " word " << i << " label " << j;
                EXPECT_DOUBLE_EQ(lit[j]->alphaValue(), j == i ? 1 : 0) << i << " " << j;
            }
        }
        // The last word stays lit until the closing fade.
        at(t0 + 3.35 + 0.54 + 1.0 - e);
        EXPECT_DOUBLE_EQ(lit[2]->alphaValue(), 1);
        EXPECT_DOUBLE_EQ(player.alphaValue(), 1);
        at(t0 + 3.35 + 0.54 + 1.0 + e);
        EXPECT_DOUBLE_EQ(lit[2]->alphaValue(), 0);
        EXPECT_DOUBLE_EQ(player.alphaValue(), 0);
        EXPECT_EQ(words[2]->textColor(), OnboardingWindow::textPrimary);
        // After the 0.4 s fade the views are reset.
        at(t0 + 4.89 + 0.4 + 0.02);
        EXPECT_EQ(words[2]->textColor(), OnboardingWindow::textDim);
        EXPECT_DOUBLE_EQ(fill.frame().width(), 0);
    }
}

// An empty reading paragraph: no word labels; the progress runs one word's time, the word step
// waits 1.5 s and the cycle starts again.
TEST_F(OnboardingWindowTest, AnEmptyReadingParagraphStillCycles)
{
    onboarding->demoParagraphSource = [] { return std::vector<std::string> { "First one.", "", "Last one." }; };
    onboarding->show();
    EXPECT_TRUE(onboarding->demoWordLabels().empty());
    ASSERT_EQ(onboarding->demoParagraphLabels().size(), 3u);
    EXPECT_TRUE(onboarding->demoParagraphLabels()[1]->isHidden());
    at(3.15 + 0.07);
    EXPECT_NEAR(onboarding->demoProgressFill()->presentationFrame().width(), 326 * 0.07 / 0.13, 20);
    at(3.15 + 0.14);
    EXPECT_DOUBLE_EQ(onboarding->demoProgressFill()->presentationFrame().width(), 326);
    at(3.35 + 1.5 - 0.005);
    EXPECT_DOUBLE_EQ(onboarding->demoPlayerView()->alphaValue(), 1);
    at(3.35 + 1.5 + 0.005);
    EXPECT_DOUBLE_EQ(onboarding->demoPlayerView()->alphaValue(), 0);
    // 0.6 + 0.3 + 0.9 + 0.3 + 0.25 + 0.2 + 1.5, the 0.4 s fade and the 0.8 s pause.
    const double next = 0.8 + 5.25;
    at(next - 0.005);
    EXPECT_DOUBLE_EQ(onboarding->demoSelectionOverlay()->alphaValue(), 0);
    at(next + 0.005);
    EXPECT_DOUBLE_EQ(onboarding->demoSelectionOverlay()->alphaValue(), 1);
}

// A Chinese reading paragraph is read a character at a time, 0.13 s each.
TEST_F(OnboardingWindowTest, AParagraphWithoutSpacesIsReadACharacterAtATime)
{
    LocalizedStrings::setLanguage(LocalizedStrings::Language::chinese);
    onboarding->show();
    const std::string paragraph = OnboardingWindow::demoParagraphs()[1];
    const auto& words = onboarding->demoWordLabels();
    ASSERT_EQ(words.size(), Text::characterCount(paragraph));
    EXPECT_EQ(words[1]->frame().minX(), words[0]->frame().maxX());
    at(3.35 + 0.13 * 5 + 0.005);
    EXPECT_EQ(words[5]->textColor(), OnboardingWindow::textPrimary);
    EXPECT_EQ(words[4]->textColor(), OnboardingWindow::textSpoken);
    EXPECT_EQ(words[6]->textColor(), OnboardingWindow::textDim);
}

// Pictures of both steps are kept for a person to look at; each part is drawn inside its frame.
TEST_F(OnboardingWindowTest, PicturesOfBothStepsShowEachPartWhereItsFrameSays)
{
    desktop->setTrusted(false);
    onboarding->show();
    Window& window = *onboarding->window();
    ASSERT_TRUE(savePicture(window, "onboarding-step-1.png"));
    std::vector<View*> parts;
    for (const auto& view : onboarding->contentView()->subviews())
        parts.push_back(view.get());
    EXPECT_EQ(parts.size(), 5u);
    expectDrawnInsideFrames(window, parts);

    desktop->setTrusted(true);
    at(2.01);
    ASSERT_EQ(onboarding->currentStep(), 2);
    at(2.01 + 3.5);
    ASSERT_TRUE(savePicture(window, "onboarding-step-2.png"));
    parts.clear();
    for (const auto& view : onboarding->contentView()->subviews())
        parts.push_back(view.get());
    EXPECT_EQ(parts.size(), 8u);
    expectDrawnInsideFrames(window, parts);
}

} // namespace
} // namespace lorvantine
