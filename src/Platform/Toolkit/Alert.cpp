#include "Platform/Toolkit/Alert.h"

#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Dispatch/MainQueue.h"
#include "Platform/Toolkit/Button.h"
#include "Platform/Toolkit/Label.h"
#include "Platform/Toolkit/Panel.h"
#include "Platform/Toolkit/TextMeasurer.h"

#include <algorithm>
#include <cmath>

namespace lorvantine {

namespace {

Alert* s_innermostAlert = nullptr;

std::function<void(Alert&)>& alertResponder()
{
    static std::function<void(Alert&)> responder;
    return responder;
}

constexpr double alertMargin = 20;
constexpr double alertButtonHeight = 28;
constexpr double alertButtonGap = 12;
constexpr double alertButtonMinimumWidth = 90;
// Between a button's title and each end of its bezel.
constexpr double alertButtonTitlePadding = 16;

} // namespace

Alert::~Alert()
{
    if (m_panel)
        m_panel->orderOut();
}

Alert* Alert::current() { return s_innermostAlert; }

void Alert::addButton(std::string title, ButtonRole role)
{
    m_buttons.push_back(std::move(title));
    m_roles.push_back(role);
}

void Alert::abortModal()
{
    if (s_innermostAlert)
        s_innermostAlert->end(abortResponse);
}

Alert::ScopedResponder::ScopedResponder(std::function<void(Alert&)> responder) : m_previous(std::move(alertResponder()))
{
    alertResponder() = std::move(responder);
}

Alert::ScopedResponder::~ScopedResponder() { alertResponder() = std::move(m_previous); }

void Alert::end(int response)
{
    if (!m_response)
        m_response = response;
}

void Alert::buildPanel()
{
    // The buttons as wide as their titles need, measured as they are drawn; the panel widens
    // when a row of long titles would not fit.
    std::vector<std::shared_ptr<Button>> buttons;
    double buttonsWidth = 0;
    for (size_t i = 0; i < m_buttons.size(); ++i) {
        auto button = std::make_shared<Button>(Rect(), m_buttons[i]);
        if (i == 0)
            button->setKeyEquivalent(Button::returnKeyEquivalent);
        else if (m_roles[i] == ButtonRole::cancel)
            button->setKeyEquivalent(Button::escapeKeyEquivalent);
        const double title = TextMeasurer::current().size(m_buttons[i], button->font()).width;
        const double width = std::max(alertButtonMinimumWidth, std::ceil(title) + 2 * alertButtonTitlePadding);
        button->setFrame(Rect(0, alertMargin, width, alertButtonHeight));
        buttonsWidth += width + (i > 0 ? alertButtonGap : 0);
        buttons.push_back(std::move(button));
    }
    const double width = std::max(panelWidth, buttonsWidth + 2 * alertMargin);

    const double textWidth = width - 2 * alertMargin;
    auto message = std::make_shared<Label>(Rect(alertMargin, 0, textWidth, 20), messageText);
    message->setFont(Font::system(13, Font::Weight::bold));
    message->setLineBreakMode(LineBreakMode::wordWrapping);
    message->setFrameSize({ textWidth, message->fittingSize().height });
    auto informative = std::make_shared<Label>(Rect(alertMargin, 0, textWidth, 20), informativeText);
    informative->setFont(Font::system(11));
    informative->setLineBreakMode(LineBreakMode::wordWrapping);
    informative->setFrameSize({ textWidth, informativeText.empty() ? 0.0 : informative->fittingSize().height });

    const double height = alertMargin + message->frame().height() + 8 + informative->frame().height() + alertMargin
        + alertButtonHeight + alertMargin;
    m_panel = std::make_shared<Panel>(Rect(0, 0, width, height), WindowStyle::titled);
    m_panel->setLevel(WindowLevel::modalPanel);
    m_panel->setHidesOnDeactivate(false);
    m_panel->setTitle(messageText);

    // Content coordinates run upward from the bottom: buttons along the bottom, texts above.
    double top = height - alertMargin;
    message->setFrameOrigin({ alertMargin, top - message->frame().height() });
    top -= message->frame().height() + 8;
    informative->setFrameOrigin({ alertMargin, top - informative->frame().height() });
    const auto& content = m_panel->contentView();
    content->addSubview(message);
    content->addSubview(informative);

    // The first button sits at the right edge, the next ones to its left, as the platform lays
    // them out.
    double right = width - alertMargin;
    for (size_t i = 0; i < buttons.size(); ++i) {
        auto& button = buttons[i];
        button->setFrameOrigin({ right - button->frame().width(), alertMargin });
        const int response = firstButtonReturn + static_cast<int>(i);
        button->onAction = [this, response] { end(response); };
        right -= button->frame().width() + alertButtonGap;
        content->addSubview(std::move(button));
    }
    m_panel->center();
}

int Alert::runModal()
{
    MainQueue::requireMainThread("Alert::runModal");
    if (m_buttons.empty())
        addButton("OK");
    m_response.reset();
    buildPanel();
    // Key, so that the first click on a button presses it and the keys go to it once the program
    // is in front; modal, so that the program's other windows wait (a second alert of the same
    // kind cannot be asked for meanwhile).
    Window* keyBefore = Window::keyWindow();
    std::weak_ptr<Window> previousKey = keyBefore ? keyBefore->weak_from_this() : std::weak_ptr<Window>();
    Window* previousModal = Window::modalWindow();
    m_panel->makeKeyAndOrderFront();
    Window::setModalWindow(m_panel.get());
    m_outer = s_innermostAlert;
    s_innermostAlert = this;
    if (auto& responder = alertResponder()) {
        auto respond = responder;
        respond(*this);
    }
    // Nobody waits a year for an answer; the bound keeps a clock's arithmetic finite. Only the
    // buttons and `abortModal`, on the main queue, end it.
    RunLoop::runUntil([this] { return m_response.has_value(); }, seconds(365.0 * 24 * 3600), RunLoop::DoneSetBy::mainQueueWork);
    s_innermostAlert = m_outer;
    Window::setModalWindow(previousModal);
    m_panel->orderOut();
    m_panel.reset();
    if (auto window = previousKey.lock())
        window->makeKeyWindow();
    return m_response.value_or(abortResponse);
}

} // namespace lorvantine
