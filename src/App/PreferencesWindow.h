#pragma once

#include "Player/MiniPlayer.h"

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

class Button;
class CheckBox;
class Label;
class PopUpButton;
class Slider;
class TextField;
class View;
class Window;

// The settings window: General (launch at login, default speed and voice), Appearance (the two
// highlight opacities) and Advanced (the speech server's address, the onboarding reset). The
// status-bar controller makes one at start-up and calls `show()` from its popover. The window is
// built at the first `show()` from the stored settings and kept for the whole run; a later
// `show()` only brings it forward, so values changed elsewhere since (by the mini player) are
// not shown. Each control writes its setting at once.
//
// Main thread only. Nothing runs in the background: every action writes synchronously, and the
// onboarding reset waits in `onResetOnboardingAlert` until its alert is dismissed.
class PreferencesWindow {
public:
    // The speeds and voices offered, in the pop-ups' order (all 18 voices, Chinese first).
    static constexpr std::array<float, 6> speeds = MiniPlayer::speeds;
    static std::vector<MiniPlayer::Voice> voices();

    // The longest speech-server address stored, in Characters: far beyond any real one, and small
    // enough that the settings file always has room for it.
    static constexpr size_t maxServerURLCharacters = 2048;
    // The speech server's address as it would be stored from what the user typed: trimmed, and
    // only an http or https URL with a host, no longer than `maxServerURLCharacters`; none
    // otherwise.
    static std::optional<std::string> acceptedServerURL(const std::string& typed);

    PreferencesWindow();
    ~PreferencesWindow();
    PreferencesWindow(const PreferencesWindow&) = delete;
    PreferencesWindow& operator=(const PreferencesWindow&) = delete;

    // Builds the window on the first call; every call makes it key, orders it front and
    // activates the program.
    void show();

    // Shows the modal alert of the onboarding reset (title, body) and returns once it is
    // dismissed. Set by the application shell.
    std::function<void(const std::string& title, const std::string& body)> onResetOnboardingAlert;

    // The control actions, as the controls call them.
    void toggleLaunchAtLogin();
    void speedChanged();
    void voiceChanged();
    void highlightOpacityChanged();
    void subHighlightOpacityChanged();
    void serverURLChanged();
    void resetOnboarding();

    // The window and its controls; null before the first `show()`.
    Window* window() const;
    PopUpButton* speedPopup() const;
    PopUpButton* voicePopup() const;
    Slider* highlightSlider() const;
    Slider* subHighlightSlider() const;
    Label* highlightValueLabel() const;
    Label* subHighlightValueLabel() const;
    TextField* serverField() const;
    CheckBox* launchAtLoginCheckbox() const;
    Button* resetOnboardingButton() const;

private:
    struct Impl;
    void build();
    // A header label at (24, y) with its separator line 4 points below; answers the baseline of
    // the first row under it.
    double addSectionHeader(const std::string& title, View& view, double y);
    void setLaunchAtLogin(bool enabled);

    std::unique_ptr<Impl> m_impl;
};

} // namespace lorvantine
