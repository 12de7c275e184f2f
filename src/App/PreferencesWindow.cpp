#include "App/PreferencesWindow.h"

#include "Platform/PermissionsPort.h"
#include "Platform/Services.h"
#include "Platform/Toolkit/Application.h"
#include "Platform/Toolkit/Box.h"
#include "Platform/Toolkit/Button.h"
#include "Platform/Toolkit/CheckBox.h"
#include "Platform/Toolkit/Label.h"
#include "Platform/Toolkit/LocalizedStrings.h"
#include "Platform/Toolkit/PopUpButton.h"
#include "Platform/Toolkit/Slider.h"
#include "Platform/Toolkit/TextField.h"
#include "Platform/Toolkit/Window.h"
#include "Preferences/PreferencesModel.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace lorvantine {

namespace {

std::string prefsText(const char* key, const char* comment) { return LocalizedStrings::string(key, comment, ""); }

std::string percentText(float value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.0f%%", static_cast<double>(value) * 100);
    return text;
}

// Stores an opacity slider's value under `key` and shows it beside the slider.
void storePrefsOpacity(const Slider* slider, Label* valueLabel, const char* key)
{
    if (!slider)
        return;
    const float value = slider->floatValue();
    PreferencesModel::defaults().set(key, value);
    if (valueLabel)
        valueLabel->setText(percentText(value));
}

// Between the controls and the window's edges.
constexpr double preferencesEdgeMargin = 24;

// The field's own mark for an address that was not stored: the window leaves no room for a message.
constexpr Color rejectedBorder = Color::rgb(1.0, 0.23, 0.19);

bool isOverlongServerURL(const std::string& url)
{
    // Counting Characters costs a walk of the text: a text of few bytes cannot be too long.
    return url.size() > PreferencesWindow::maxServerURLCharacters
        && Text::characterCount(url) > PreferencesWindow::maxServerURLCharacters;
}

bool isPort(std::string_view port)
{
    if (port.empty() || port.size() > 5)
        return false;
    if (!std::all_of(port.begin(), port.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
        return false;
    return std::stoi(std::string(port)) <= 65535;
}

} // namespace

struct PreferencesWindow::Impl {
    std::shared_ptr<Window> window;
    std::shared_ptr<PopUpButton> speedPopup;
    std::shared_ptr<PopUpButton> voicePopup;
    std::shared_ptr<Slider> highlightSlider;
    std::shared_ptr<Slider> subHighlightSlider;
    std::shared_ptr<Label> highlightValueLabel;
    std::shared_ptr<Label> subHighlightValueLabel;
    std::shared_ptr<TextField> serverField;
    std::shared_ptr<CheckBox> launchAtLoginCheckbox;
    std::shared_ptr<Button> resetButton;
    // The onboarding reset's alert is up.
    bool askingReset = false;
};

std::vector<MiniPlayer::Voice> PreferencesWindow::voices()
{
    std::vector<MiniPlayer::Voice> all = MiniPlayer::zhVoices();
    for (auto& voice : MiniPlayer::enVoices())
        all.push_back(std::move(voice));
    return all;
}

std::optional<std::string> PreferencesWindow::acceptedServerURL(const std::string& typed)
{
    const std::string url = Text::trimmingWhitespacesAndNewlines(typed);
    if (isOverlongServerURL(url))
        return std::nullopt;
    // Spaces or control characters inside would reach the speech client's requests.
    if (std::any_of(url.begin(), url.end(), [](char c) { return static_cast<unsigned char>(c) <= 0x20 || c == 0x7F; }))
        return std::nullopt;
    const auto separator = url.find("://");
    if (separator == std::string::npos)
        return std::nullopt;
    const std::string scheme = Text::asciiLowercased(url.substr(0, separator));
    if (scheme != "http" && scheme != "https")
        return std::nullopt;
    const std::string rest = url.substr(separator + 3);
    std::string_view authority(rest);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (const auto at = authority.rfind('@'); at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    std::string_view host = authority;
    if (!host.empty() && host.front() == '[') {
        const auto close = host.find(']');
        if (close == std::string_view::npos || close == 1)
            return std::nullopt;
        const std::string_view after = host.substr(close + 1);
        if (!after.empty() && (after.front() != ':' || !isPort(after.substr(1))))
            return std::nullopt;
        return url;
    }
    if (const auto colon = host.rfind(':'); colon != std::string_view::npos) {
        if (!isPort(host.substr(colon + 1)))
            return std::nullopt;
        host = host.substr(0, colon);
    }
    if (host.empty() || host.find(':') != std::string_view::npos)
        return std::nullopt;
    return url;
}

PreferencesWindow::PreferencesWindow() : m_impl(std::make_unique<Impl>()) { }

PreferencesWindow::~PreferencesWindow() = default;

void PreferencesWindow::show()
{
    if (!m_impl->window)
        build();
    m_impl->window->makeKeyAndOrderFront();
    Application::shared().activate();
}

double PreferencesWindow::addSectionHeader(const std::string& title, View& view, double y)
{
    auto header = std::make_shared<Label>(Rect(24, y, 200, 18), title);
    header->setFont(Font::system(13, Font::Weight::semibold));
    header->setTextColor(Color::black(0.5));
    view.addSubview(header);
    view.addSubview(std::make_shared<Box>(Rect(24, y - 4, 472, 1), Box::BoxType::separator));
    return y - 30;
}

void PreferencesWindow::build()
{
    Impl& d = *m_impl;
    d.window = std::make_shared<Window>(Rect(0, 0, 520, 360), WindowStyle::titled | WindowStyle::closable);
    d.window->setTitle(prefsText("prefs.window.title", "Preferences window title"));
    d.window->center();

    auto content = std::make_shared<View>(Rect(0, 0, 520, 360));
    auto label = [&](const Rect& frame, const char* key, const char* comment) {
        content->addSubview(std::make_shared<Label>(frame, prefsText(key, comment)));
    };

    // The frames keep the window's fixed rhythm: 30 points from a header to its first row, 32
    // between the General rows, 28 between the Appearance rows, 40 from a section's last row to
    // the next header; a label sits 2 points above the control it names.
    addSectionHeader(prefsText("prefs.section.general", "General section"), *content, 320);
    d.launchAtLoginCheckbox = std::make_shared<CheckBox>(Rect(24, 290, 200, 20),
                                                         prefsText("prefs.launch_at_login", "Launch at login checkbox"));
    d.launchAtLoginCheckbox->setOn(Platform::permissions().loginItemStatus() == LoginItemStatus::enabled);
    d.launchAtLoginCheckbox->onAction = [this] { toggleLaunchAtLogin(); };
    content->addSubview(d.launchAtLoginCheckbox);

    label(Rect(24, 260, 80, 20), "prefs.default_speed", "Default speed label");
    d.speedPopup = std::make_shared<PopUpButton>(Rect(110, 258, 90, 26));
    d.speedPopup->setPullsDown(false);
    for (float speed : speeds)
        d.speedPopup->addItem(MiniPlayer::speedTitle(speed));
    d.speedPopup->selectItem(MiniPlayer::speedTitle(PreferencesModel::speed(PreferencesModel::Key::defaultSpeed)));
    d.speedPopup->onAction = [this] { speedChanged(); };
    content->addSubview(d.speedPopup);

    label(Rect(24, 228, 80, 20), "prefs.default_voice", "Default voice label");
    d.voicePopup = std::make_shared<PopUpButton>(Rect(110, 226, 200, 26));
    d.voicePopup->setPullsDown(false);
    const auto all = voices();
    const std::string savedVoice = PreferencesModel::voice(PreferencesModel::Key::defaultVoice);
    int selected = -1;
    for (size_t i = 0; i < all.size(); ++i) {
        d.voicePopup->addItem(all[i].label);
        if (selected < 0 && all[i].code == savedVoice)
            selected = static_cast<int>(i);
    }
    d.voicePopup->selectItem(selected);
    d.voicePopup->onAction = [this] { voiceChanged(); };
    // Its labels whole: as wide as the longest needs, and the window wider when the row needs it.
    d.voicePopup->setFrameSize({ std::max(d.voicePopup->frame().width(), d.voicePopup->fittingWidth()), d.voicePopup->frame().height() });
    content->addSubview(d.voicePopup);

    addSectionHeader(prefsText("prefs.section.appearance", "Appearance section"), *content, 186);
    auto opacityRow = [&](double rowY, const char* key, const char* comment, double maxValue, float value,
                          std::shared_ptr<Slider>& slider, std::shared_ptr<Label>& valueLabel, void (PreferencesWindow::*action)()) {
        label(Rect(24, rowY, 120, 20), key, comment);
        slider = std::make_shared<Slider>(Rect(150, rowY, 200, 20), 0.0, maxValue, value);
        slider->onAction = [this, action] { (this->*action)(); };
        content->addSubview(slider);
        valueLabel = std::make_shared<Label>(Rect(360, rowY, 50, 20), percentText(value));
        valueLabel->setAlignment(TextAlignment::right);
        content->addSubview(valueLabel);
    };
    opacityRow(158, "prefs.highlight_opacity", "Paragraph highlight opacity label", 0.3, PreferencesModel::highlightOpacity(),
               d.highlightSlider, d.highlightValueLabel, &PreferencesWindow::highlightOpacityChanged);
    opacityRow(130, "prefs.sub_highlight_opacity", "Sub-highlight opacity label", 0.6, PreferencesModel::subHighlightOpacity(),
               d.subHighlightSlider, d.subHighlightValueLabel, &PreferencesWindow::subHighlightOpacityChanged);

    addSectionHeader(prefsText("prefs.section.advanced", "Advanced section"), *content, 88);
    label(Rect(24, 60, 90, 20), "prefs.tts_server", "TTS server URL label");
    d.serverField = std::make_shared<TextField>(Rect(120, 58, 340, 24), PreferencesModel::ttsServerURL());
    d.serverField->setPlaceholder(PreferencesModel::fallbackTTSServerURL);
    d.serverField->onAction = [this] { serverURLChanged(); };
    content->addSubview(d.serverField);

    d.resetButton = std::make_shared<Button>(Rect(24, 22, 160, 28), prefsText("prefs.reset_onboarding", "Reset onboarding button"));
    d.resetButton->setBezelStyle(BezelStyle::rounded);
    d.resetButton->onAction = [this] { resetOnboarding(); };
    content->addSubview(d.resetButton);

    d.window->setContentView(content);
    const double rowEnd = d.voicePopup->frame().maxX() + preferencesEdgeMargin;
    if (rowEnd > content->frame().width()) {
        d.window->setContentSize({ std::ceil(rowEnd), content->frame().height() });
        d.window->center();
    }
}

void PreferencesWindow::toggleLaunchAtLogin()
{
    if (m_impl->launchAtLoginCheckbox)
        setLaunchAtLogin(m_impl->launchAtLoginCheckbox->isOn());
}

void PreferencesWindow::setLaunchAtLogin(bool enabled)
{
    PermissionsPort& permissions = Platform::permissions();
    std::string error;
    const bool done = enabled ? permissions.registerLoginItem(error) : permissions.unregisterLoginItem(error);
    if (done)
        return;
    Log::line("[Preferences] Launch at login error: " + error);
    // The box shows what the system will do at the next login, not what was asked of it.
    if (m_impl->launchAtLoginCheckbox)
        m_impl->launchAtLoginCheckbox->setOn(permissions.loginItemStatus() == LoginItemStatus::enabled);
}

void PreferencesWindow::speedChanged()
{
    if (!m_impl->speedPopup)
        return;
    const int index = m_impl->speedPopup->indexOfSelectedItem();
    if (index < 0 || index >= static_cast<int>(speeds.size()))
        return;
    PreferencesModel::defaults().set(PreferencesModel::Key::defaultSpeed, speeds[static_cast<size_t>(index)]);
}

void PreferencesWindow::voiceChanged()
{
    if (!m_impl->voicePopup)
        return;
    const int index = m_impl->voicePopup->indexOfSelectedItem();
    const auto all = voices();
    if (index < 0 || index >= static_cast<int>(all.size()))
        return;
    PreferencesModel::defaults().set(PreferencesModel::Key::defaultVoice, all[static_cast<size_t>(index)].code);
}

void PreferencesWindow::highlightOpacityChanged()
{
    storePrefsOpacity(m_impl->highlightSlider.get(), m_impl->highlightValueLabel.get(), PreferencesModel::Key::highlightOpacity);
}

void PreferencesWindow::subHighlightOpacityChanged()
{
    storePrefsOpacity(m_impl->subHighlightSlider.get(), m_impl->subHighlightValueLabel.get(),
                      PreferencesModel::Key::subHighlightOpacity);
}

void PreferencesWindow::serverURLChanged()
{
    TextField* field = m_impl->serverField.get();
    if (!field)
        return;
    const std::string typed = field->stringValue();
    if (Text::isBlank(typed))
        return;
    // The speech client reads the address at the next start: a typo stored here would silence it.
    const auto url = acceptedServerURL(typed);
    if (!url) {
        // The line quotes only the start of an address too long to be one.
        if (isOverlongServerURL(Text::trimmingWhitespacesAndNewlines(typed)))
            Log::line("[Preferences] TTS server URL not saved, it is longer than " + std::to_string(maxServerURLCharacters)
                      + " characters: " + Text::characterPrefix(typed, 80) + "…");
        else
            Log::line("[Preferences] TTS server URL not saved, it needs http:// or https:// and a host: " + typed);
        field->setBorderColor(rejectedBorder);
        field->setBorderWidth(2);
        return;
    }
    PreferencesModel::defaults().set(PreferencesModel::Key::ttsServerURL, *url);
    field->setBorderWidth(0);
}

void PreferencesWindow::resetOnboarding()
{
    // Its alert already says it: a second one would stack on it and each would need an answer.
    if (m_impl->askingReset)
        return;
    PreferencesModel::defaults().set(PreferencesModel::Key::hasCompletedOnboarding, false);
    if (!onResetOnboardingAlert)
        return;
    m_impl->askingReset = true;
    onResetOnboardingAlert(prefsText("prefs.reset_onboarding.alert.title", "Reset onboarding alert title"),
                           prefsText("prefs.reset_onboarding.alert.body", "Reset onboarding alert body"));
    m_impl->askingReset = false;
}

Window* PreferencesWindow::window() const { return m_impl->window.get(); }
PopUpButton* PreferencesWindow::speedPopup() const { return m_impl->speedPopup.get(); }
PopUpButton* PreferencesWindow::voicePopup() const { return m_impl->voicePopup.get(); }
Slider* PreferencesWindow::highlightSlider() const { return m_impl->highlightSlider.get(); }
Slider* PreferencesWindow::subHighlightSlider() const { return m_impl->subHighlightSlider.get(); }
Label* PreferencesWindow::highlightValueLabel() const { return m_impl->highlightValueLabel.get(); }
Label* PreferencesWindow::subHighlightValueLabel() const { return m_impl->subHighlightValueLabel.get(); }
TextField* PreferencesWindow::serverField() const { return m_impl->serverField.get(); }
CheckBox* PreferencesWindow::launchAtLoginCheckbox() const { return m_impl->launchAtLoginCheckbox.get(); }
Button* PreferencesWindow::resetOnboardingButton() const { return m_impl->resetButton.get(); }

} // namespace lorvantine
