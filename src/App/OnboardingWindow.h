#pragma once

#include "Platform/Geometry.h"
#include "Platform/Toolkit/Color.h"
#include "Platform/Toolkit/Font.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lorvantine {

class Button;
class Label;
class OnboardingTipPanel;
class Timer;
class View;
class Window;

// The first-run window. Step 1 asks for the Accessibility permission (shown only while the
// program is not trusted; it polls the trust once a second and moves on 1.0 s after the grant);
// step 2 shows an animated demo of reading a selection, two step cards, a hint about Books and
// the get-started button, which records that onboarding is done, closes the window and shows
// the ready tip. The application delegate makes one at launch when onboarding was not completed,
// calls `show()` once and keeps it for the whole run; closing the window by its close button
// records nothing, and the poll and the demo carry on.
//
// Main thread only. The demo is a chain of delayed main-queue steps, each carrying the
// generation it was started under: raising `animGenId` (a rebuilt step, a new chain, finishing)
// drops the chain at its next step. Timers and delayed steps hold the object weakly, so own it
// through a std::shared_ptr.
class OnboardingWindow : public std::enable_shared_from_this<OnboardingWindow> {
public:
    static constexpr Color accent = Color::rgb(0.9490196, 0.3960784, 0.1333333);
    static constexpr Color bgDark = Color::rgb(0.04, 0.04, 0.08);
    static constexpr Color textPrimary = Color::rgb(0.97, 0.98, 0.99);
    static constexpr Color textSecondary = Color::rgb(0.58, 0.64, 0.72);
    static constexpr Color textDim = Color::rgb(0.29, 0.33, 0.41);
    static constexpr Color textSpoken = Color::rgb(0.78, 0.84, 0.90);
    static constexpr Color barColor = Color::rgb(0.12, 0.16, 0.24);
    static constexpr Color contentBg = Color::rgb(0.06, 0.09, 0.16);

    static constexpr const char* accessibilitySettingsURL
        = "x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility";

    // The demo page's three paragraphs from the string tables, read anew on each call; the
    // second is the one read.
    static std::vector<std::string> demoParagraphs();

    // The labels of one paragraph laid out word by word (a character at a time when the text has
    // no space), each with its highlight behind it, both added to `container`: the first line one
    // line height above `baselineY`, wrapping down at `maxWidth`; a token that starts a line
    // stays there however wide.
    struct WordLabels {
        std::vector<std::shared_ptr<Label>> labels;
        std::vector<std::shared_ptr<View>> highlights;
    };
    static WordLabels buildWordLabels(const std::string& text, View& container, double startX, double baselineY,
                                      double maxWidth, double lineHeight);

    OnboardingWindow();
    ~OnboardingWindow();
    OnboardingWindow(const OnboardingWindow&) = delete;
    OnboardingWindow& operator=(const OnboardingWindow&) = delete;

    // Builds the window, shows step 1 or (when trusted) step 2 and brings it to the front.
    void show();
    // The step-1 button: opens the Accessibility pane of System Settings.
    void openAccessibilitySettings();
    // The get-started button.
    void finishOnboarding();

    // Opens a URL through the workspace; set by the application shell.
    std::function<void(const std::string& url)> onOpenURL;
    // Where the demo page's paragraphs come from: `demoParagraphs` unless a test gives its own.
    std::function<std::vector<std::string>()> demoParagraphSource = &OnboardingWindow::demoParagraphs;

    // State, for the owner's diagnostics and tests.
    Window* window() const;
    View* contentView() const;
    int currentStep() const { return m_currentStep; }
    int animGenId() const { return m_animGenId; }
    bool isPolling() const;
    OnboardingTipPanel* readyTip() const { return m_readyTip.get(); }
    Label* statusLabel() const { return m_statusLabel.get(); }
    View* demoSelectionOverlay() const { return m_demoSelectionOverlay.get(); }
    View* demoBubbleView() const { return m_demoBubbleView.get(); }
    View* demoPlayerView() const { return m_demoPlayerView.get(); }
    View* demoProgressFill() const { return m_demoProgressFill.get(); }
    Label* demoParaCountLabel() const { return m_demoParaCountLabel.get(); }
    const std::vector<std::shared_ptr<View>>& demoParagraphBgs() const { return m_demoParagraphBgs; }
    const std::vector<std::shared_ptr<View>>& demoParagraphBorders() const { return m_demoParagraphBorders; }
    const std::vector<std::shared_ptr<Label>>& demoParagraphLabels() const { return m_demoParagraphLabels; }
    const std::vector<std::shared_ptr<Label>>& demoWordLabels() const { return m_demoWordLabels; }
    const std::vector<std::shared_ptr<View>>& demoWordHighlights() const { return m_demoWordHighlights; }

private:
    void showStep1();
    void showStep2();
    void clearContent();
    std::shared_ptr<Button> makeAccentButton(const std::string& title, void (OnboardingWindow::*action)());
    std::shared_ptr<View> makeCard(const Rect& frame);
    void startPermissionPolling();
    // The label style of both steps: no bezel, no background, not editable.
    static std::shared_ptr<Label> makeLabel(const Rect& frame, const std::string& text, double size, Font::Weight weight,
                                            const Color& colour, bool centred = false);
    static std::shared_ptr<View> makeSymbol(const Rect& frame, const std::string& name, double pointSize, Font::Weight weight,
                                            const Color& tint, const std::string& description = {});

    // The demo (OnboardingWindowDemo.cpp).
    void buildDemoPage(View& content);
    void resetDemoVisuals();
    void startDemoAnimation();
    void after(double delay, int gen, std::function<void()> action);
    void animShowSelection(int gen);
    void animShowBubble(int gen);
    void animBubblePulse(int gen);
    void animBubbleClick(int gen);
    void animStartReading(int gen);
    void animReadingStart(int gen, size_t paragraph);
    void animWordHighlight(size_t wordIdx, int gen);
    void animLoopRestart(int gen);
    // 0.18 s a word for text with spaces, 0.13 s a character otherwise.
    double wordTime() const;

    std::shared_ptr<Window> m_window;
    std::shared_ptr<View> m_contentView;
    std::shared_ptr<Timer> m_permissionTimer;
    int m_currentStep = 1;
    std::shared_ptr<OnboardingTipPanel> m_readyTip;
    int m_animGenId = 0;
    std::shared_ptr<View> m_demoSelectionOverlay;
    std::shared_ptr<View> m_demoBubbleView;
    std::shared_ptr<View> m_demoPlayerView;
    std::shared_ptr<View> m_demoProgressFill;
    std::shared_ptr<Label> m_demoParaCountLabel;
    std::vector<std::shared_ptr<View>> m_demoParagraphBgs;
    std::vector<std::shared_ptr<View>> m_demoParagraphBorders;
    std::vector<std::shared_ptr<Label>> m_demoParagraphLabels;
    std::vector<std::shared_ptr<Label>> m_demoWordLabels;
    std::vector<std::shared_ptr<View>> m_demoWordHighlights;
    std::shared_ptr<Label> m_statusLabel;
};

} // namespace lorvantine
