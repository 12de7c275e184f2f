#include "App/OnboardingWindow.h"

#include "App/OnboardingTipPanel.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Services.h"
#include "Platform/Toolkit/Application.h"
#include "Platform/Toolkit/Button.h"
#include "Platform/Toolkit/ImageView.h"
#include "Platform/Toolkit/Label.h"
#include "Platform/Toolkit/LocalizedStrings.h"
#include "Platform/Toolkit/Window.h"
#include "Preferences/PreferencesModel.h"
#include "Support/Log.h"

#include <filesystem>
#include <system_error>

namespace lorvantine {

namespace {

std::string onboardingText(const char* key, const char* comment) { return LocalizedStrings::string(key, comment, ""); }

constexpr Color onboardingRed = Color::rgb(1.0, 0.23, 0.19);
constexpr Color onboardingGreen = Color::rgb(0.2, 0.78, 0.35);

// Where the program runs from: the folder of its executable.
std::string programPath()
{
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : executable.parent_path().string();
}

bool processIsTrusted() { return Platform::accessibility().isProcessTrusted(AccessibilityPort::Prompt::no); }

} // namespace

OnboardingWindow::OnboardingWindow() = default;

OnboardingWindow::~OnboardingWindow()
{
    if (m_permissionTimer)
        m_permissionTimer->invalidate();
}

std::shared_ptr<Label> OnboardingWindow::makeLabel(const Rect& frame, const std::string& text, double size, Font::Weight weight,
                                                   const Color& colour, bool centred)
{
    auto label = std::make_shared<Label>(frame, text);
    label->setFont(Font::system(size, weight));
    label->setTextColor(colour);
    label->setBackgroundColor(std::nullopt);
    if (centred)
        label->setAlignment(TextAlignment::center);
    return label;
}

std::shared_ptr<View> OnboardingWindow::makeSymbol(const Rect& frame, const std::string& name, double pointSize,
                                                   Font::Weight weight, const Color& tint, const std::string& description)
{
    auto view = std::make_shared<ImageView>(frame);
    if (auto image = SymbolImage::named(name, description))
        view->setImage(image->withConfiguration(pointSize, weight));
    view->setContentTintColor(tint);
    return view;
}

std::shared_ptr<View> OnboardingWindow::makeCard(const Rect& frame)
{
    auto card = std::make_shared<View>(frame);
    card->setBackgroundColor(Color::white(0.02));
    card->setCornerRadius(10);
    card->setBorderColor(Color::white(0.06));
    card->setBorderWidth(1);
    return card;
}

std::shared_ptr<Button> OnboardingWindow::makeAccentButton(const std::string& title, void (OnboardingWindow::*action)())
{
    auto button = std::make_shared<Button>(Rect(), title);
    std::weak_ptr<OnboardingWindow> weak = weak_from_this();
    button->onAction = [weak, action] {
        if (auto self = weak.lock())
            ((*self).*action)();
    };
    button->setBezelStyle(BezelStyle::rounded);
    button->setBackgroundColor(accent);
    button->setCornerRadius(10);
    button->setBordered(false);
    button->setContentTintColor(Color::white());
    button->setFont(Font::system(15, Font::Weight::semibold));
    return button;
}

Window* OnboardingWindow::window() const { return m_window.get(); }
View* OnboardingWindow::contentView() const { return m_contentView.get(); }
bool OnboardingWindow::isPolling() const { return m_permissionTimer && m_permissionTimer->isValid(); }

void OnboardingWindow::show()
{
    auto window = std::make_shared<Window>(Rect(0, 0, 560, 540), WindowStyle::titled | WindowStyle::closable);
    window->setTitle(onboardingText("onboarding.window.title", "Onboarding window title"));
    window->center();
    window->setAppearance(Appearance::darkAqua);
    window->setBackgroundColor(bgDark);
    auto content = std::make_shared<View>(Rect(0, 0, 560, 540));
    content->setBackgroundColor(bgDark);
    window->setContentView(content);
    m_contentView = content;
    m_window = window;

    const bool trusted = processIsTrusted();
    Log::line(std::string("[Onboarding] AX trusted=") + (trusted ? "true" : "false")
              + " bundleID=" + Application::bundleIdentifier);
    Log::line("[Onboarding] path=" + programPath());
    if (trusted) {
        m_currentStep = 2;
        showStep2();
    } else {
        m_currentStep = 1;
        showStep1();
    }
    window->makeKeyAndOrderFront();
    Application::shared().activate();
}

void OnboardingWindow::clearContent()
{
    ++m_animGenId;
    if (m_contentView) {
        const auto subviews = m_contentView->subviews();
        for (const auto& view : subviews)
            view->removeFromSuperview();
    }
    if (m_permissionTimer)
        m_permissionTimer->invalidate();
    m_permissionTimer.reset();
    m_demoParagraphBgs.clear();
    m_demoParagraphBorders.clear();
    m_demoParagraphLabels.clear();
    m_demoWordLabels.clear();
    m_demoWordHighlights.clear();
    m_demoSelectionOverlay.reset();
    m_demoBubbleView.reset();
    m_demoPlayerView.reset();
    m_demoProgressFill.reset();
    m_demoParaCountLabel.reset();
}

void OnboardingWindow::showStep1()
{
    if (!m_contentView)
        return;
    clearContent();
    View& content = *m_contentView;
    content.addSubview(makeSymbol(Rect(244, 420, 72, 72), "speaker.wave.2.circle.fill", 48, Font::Weight::regular, accent,
                                  "Lorvantine"));
    content.addSubview(makeLabel(Rect(0, 384, 560, 32), onboardingText("onboarding.welcome.title", "Welcome headline"), 26,
                                 Font::Weight::bold, textPrimary, true));
    content.addSubview(makeLabel(Rect(0, 358, 560, 20), onboardingText("onboarding.welcome.subtitle", "Welcome subtitle"), 15,
                                 Font::Weight::regular, textSecondary, true));
    auto card = makeCard(Rect(60, 180, 440, 130));
    card->addSubview(makeLabel(Rect(20, 88, 400, 20),
                               onboardingText("onboarding.permission.description", "Accessibility permission description"), 14,
                               Font::Weight::regular, textPrimary));
    card->addSubview(makeLabel(Rect(20, 62, 400, 16), onboardingText("onboarding.permission.privacy_note", "Privacy reassurance"),
                               12, Font::Weight::regular, textSecondary));
    m_statusLabel = makeLabel(Rect(20, 16, 400, 18),
                              onboardingText("onboarding.permission.status.not_granted", "Permission status: not granted"), 13,
                              Font::Weight::regular, onboardingRed);
    card->addSubview(m_statusLabel);
    content.addSubview(card);
    auto button = makeAccentButton(onboardingText("onboarding.permission.open_settings", "Open System Settings button"),
                                   &OnboardingWindow::openAccessibilitySettings);
    button->setFrame(Rect(180, 120, 200, 44));
    content.addSubview(button);
    startPermissionPolling();
}

void OnboardingWindow::startPermissionPolling()
{
    std::weak_ptr<OnboardingWindow> weak = weak_from_this();
    m_permissionTimer = Timer::scheduled(seconds(1.0), Timer::Repeats::yes, [weak](Timer&) {
        auto self = weak.lock();
        if (!self || !processIsTrusted())
            return;
        if (self->m_permissionTimer)
            self->m_permissionTimer->invalidate();
        self->m_permissionTimer.reset();
        if (self->m_statusLabel) {
            self->m_statusLabel->setText(
                onboardingText("onboarding.permission.status.granted", "Permission status: granted"));
            self->m_statusLabel->setTextColor(onboardingGreen);
        }
        DispatchQueue::main().asyncAfter(seconds(1.0), [weak] {
            if (auto again = weak.lock())
                again->showStep2();
        });
    });
}

void OnboardingWindow::openAccessibilitySettings()
{
    if (onOpenURL)
        onOpenURL(accessibilitySettingsURL);
}

void OnboardingWindow::showStep2()
{
    if (!m_contentView)
        return;
    clearContent();
    m_currentStep = 2;
    View& content = *m_contentView;
    buildDemoPage(content);

    content.addSubview(makeLabel(Rect(0, 226, 560, 16), onboardingText("onboarding.demo.caption", "Demo caption"), 12,
                                 Font::Weight::regular, textSecondary, true));
    const char* stepKeys[] = { "onboarding.step.1", "onboarding.step.2" };
    const char* stepComments[] = { "Step 1: select any text", "Step 2: tap bubble to listen" };
    const char* stepSymbols[] = { "text.cursor", "speaker.wave.2.fill" };
    for (int i = 0; i < 2; ++i) {
        const double x = 90 + 200 * i;
        auto card = makeCard(Rect(x, 148, 180, 56));
        card->addSubview(makeSymbol(Rect(80, 24, 20, 20), stepSymbols[i], 14, Font::Weight::medium, textSecondary));
        card->addSubview(makeLabel(Rect(0, 4, 180, 16), onboardingText(stepKeys[i], stepComments[i]), 12, Font::Weight::medium,
                                   textPrimary, true));
        content.addSubview(card);
        // The badge sits on the card's top edge, centred on it.
        auto badge = makeLabel(Rect(x + 80, 194, 20, 20), std::to_string(i + 1), 10, Font::Weight::bold, textSecondary, true);
        badge->setBackgroundColor(Color::white(0.12));
        badge->setCornerRadius(10);
        content.addSubview(badge);
    }
    auto books = makeCard(Rect(60, 86, 440, 40));
    books->addSubview(makeSymbol(Rect(14, 10, 20, 20), "book.fill", 13, Font::Weight::regular, accent));
    auto hint = makeLabel(Rect(42, 12, 388, 16), onboardingText("onboarding.books.label", "Books continuous play hint"), 12,
                          Font::Weight::regular, textSecondary);
    hint->setLineBreakMode(LineBreakMode::truncatingTail);
    books->addSubview(hint);
    content.addSubview(books);
    auto start = makeAccentButton(onboardingText("onboarding.cta.get_started", "CTA button"), &OnboardingWindow::finishOnboarding);
    start->setFrame(Rect(190, 22, 180, 44));
    start->setFont(Font::system(16, Font::Weight::semibold));
    content.addSubview(start);

    startDemoAnimation();
}

void OnboardingWindow::finishOnboarding()
{
    ++m_animGenId;
    PreferencesModel::defaults().set(PreferencesModel::Key::hasCompletedOnboarding, true);
    if (auto window = std::move(m_window))
        window->close();
    m_readyTip = std::make_shared<OnboardingTipPanel>();
    m_readyTip->show();
}

} // namespace lorvantine
