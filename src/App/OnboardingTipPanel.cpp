#include "App/OnboardingTipPanel.h"

#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Toolkit/AnimationContext.h"
#include "Platform/Toolkit/ImageView.h"
#include "Platform/Toolkit/Label.h"
#include "Platform/Toolkit/LocalizedStrings.h"
#include "Platform/Toolkit/Panel.h"
#include "Platform/Toolkit/Screen.h"
#include "Platform/Toolkit/SymbolImage.h"

namespace lorvantine {

namespace {
constexpr Color systemGreen = Color::rgb(0.2, 0.78, 0.35);
}

OnboardingTipPanel::OnboardingTipPanel() = default;

OnboardingTipPanel::~OnboardingTipPanel() { tearDown(); }

void OnboardingTipPanel::tearDown()
{
    if (m_dismissTimer)
        m_dismissTimer->invalidate();
    m_dismissTimer.reset();
    if (m_panel)
        m_panel->orderOut();
    m_panel.reset();
}

void OnboardingTipPanel::show()
{
    // A second tip takes the place of the first, which would otherwise stay on screen for good.
    tearDown();

    std::optional<ScreenInfo> screen = Screen::main();
    if (!screen) {
        const auto all = Screen::screens();
        if (all.empty())
            return;
        screen = all.front();
    }
    const Rect& full = screen->frame;
    const Rect rect(full.maxX() - panelSize.width - 16, full.maxY() - panelSize.height - 36, panelSize.width, panelSize.height);

    auto panel = std::make_shared<Panel>(rect, WindowStyle::nonactivatingPanel);
    panel->setOpaque(false);
    panel->setBackgroundColor(Color::clear());
    panel->setLevel(WindowLevel::floating);
    panel->setHasShadow(true);
    panel->setCollectionBehavior(CollectionBehavior::canJoinAllSpaces | CollectionBehavior::stationary);
    panel->setAppearance(Appearance::darkAqua);
    panel->setHidesOnDeactivate(false);

    auto content = std::make_shared<View>(Rect(0, 0, panelSize.width, panelSize.height));
    content->setBackgroundColor(Color::rgb(0.08, 0.09, 0.14, 0.96));
    content->setCornerRadius(12);
    content->setBorderColor(Color::white(0.08));
    content->setBorderWidth(1);

    auto title = std::make_shared<Label>(Rect(16, 52, 340, 18), LocalizedStrings::string("tip.ready.title", "Ready tip title", ""));
    title->setFont(Font::system(14, Font::Weight::semibold));
    title->setTextColor(Color::rgb(0.97, 0.98, 0.99));
    content->addSubview(title);

    auto check = std::make_shared<ImageView>(Rect(384, 52, 20, 20));
    if (auto image = SymbolImage::named("checkmark.circle.fill"))
        check->setImage(image->withConfiguration(14, Font::Weight::medium));
    check->setContentTintColor(systemGreen);
    content->addSubview(check);

    auto hint = std::make_shared<Label>(Rect(16, 10, 388, 36), LocalizedStrings::string("tip.ready.hint", "Ready tip hint", ""));
    hint->setFont(Font::system(12));
    hint->setTextColor(Color::rgb(0.58, 0.64, 0.72));
    hint->setLineBreakMode(LineBreakMode::wordWrapping);
    content->addSubview(hint);

    panel->setContentView(content);
    m_panel = panel;
    panel->setAlphaValue(0);
    panel->makeKeyAndOrderFront();
    AnimationContext::run(seconds(fadeSeconds), [&] { panel->setAlphaValue(1); });

    std::weak_ptr<OnboardingTipPanel> weak = weak_from_this();
    m_dismissTimer = Timer::scheduled(seconds(visibleSeconds), Timer::Repeats::no, [weak](Timer&) {
        if (auto self = weak.lock())
            self->dismiss();
    });
}

void OnboardingTipPanel::dismiss()
{
    if (m_dismissTimer)
        m_dismissTimer->invalidate();
    m_dismissTimer.reset();
    if (!m_panel)
        return;
    std::shared_ptr<Panel> panel = m_panel;
    std::weak_ptr<OnboardingTipPanel> weak = weak_from_this();
    AnimationContext::run(seconds(fadeSeconds), [&] { panel->setAlphaValue(0); }, [panel, weak] {
        panel->orderOut();
        if (auto self = weak.lock(); self && self->m_panel == panel)
            self->m_panel.reset();
    });
}

} // namespace lorvantine
