#include "CLI/FakeSelectionProgram.h"

#include "Platform/AccessibilityPort.h"
#include "Platform/Services.h"
#include "Platform/Toolkit/Button.h"
#include "Platform/Toolkit/Panel.h"
#include "Platform/Toolkit/Screen.h"
#include "Support/Files.h"

#include <gtest/gtest.h>

namespace lorvantine {

namespace {

class FakeProgramButton final : public Button {
public:
    using Button::Button;
    bool acceptsFirstMouse(const MouseEvent&) const override { return true; }
};

// A floating panel at a top-left frame holding one button over its whole content, or none.
std::shared_ptr<Panel> fakePanel(const Rect& topLeft, std::function<void()> onClick = {})
{
    auto panel = std::make_shared<Panel>(Screen::fromTopLeft(topLeft).value_or(topLeft), WindowStyle::nonactivatingPanel);
    panel->setLevel(WindowLevel::floating);
    if (onClick) {
        auto button = std::make_shared<FakeProgramButton>(Rect(0, 0, topLeft.width(), topLeft.height()));
        button->onAction = std::move(onClick);
        panel->contentView()->addSubview(button);
    }
    panel->orderFrontRegardless();
    return panel;
}

std::optional<std::string> focusedSelection()
{
    AccessibilityPort& ax = Platform::accessibility();
    AXValue focused, selected;
    if (ax.copyAttributeValue(ax.systemWideElement(), AXName::focusedUIElement, focused) != AXError::success)
        return std::nullopt;
    const AXElement* element = axGet<AXElement>(focused);
    if (!element || ax.copyAttributeValue(*element, AXName::selectedText, selected) != AXError::success)
        return std::nullopt;
    const std::string* text = axGet<std::string>(selected);
    return text && !text->empty() ? std::optional<std::string>(*text) : std::nullopt;
}

} // namespace

FakeSelectionProgram::FakeSelectionProgram(std::string logPath) : m_logPath(std::move(logPath))
{
    const EventTypeMask mask = eventTypeMask(InputEventType::leftMouseDown) | eventTypeMask(InputEventType::leftMouseDragged)
        | eventTypeMask(InputEventType::leftMouseUp);
    m_tap = Platform::eventMonitor().createListenOnlyTap(mask, [this](const MonitoredEvent& event) { onInput(event); }, {});
    EXPECT_TRUE(m_tap) << "the fake program cannot watch the mouse";
}

FakeSelectionProgram::~FakeSelectionProgram()
{
    if (m_tap)
        Platform::eventMonitor().removeTap(*m_tap);
    for (auto* panel : { &m_bubble, &m_overlay, &m_miniPlayer, &m_readButton, &m_lateReadButton, &m_staleBubble, &m_strayOverlay })
        if (*panel)
            (*panel)->orderOut();
}

void FakeSelectionProgram::showReadButton(Point topLeft)
{
    m_readButton = fakePanel(Rect(topLeft.x, topLeft.y, 60, 60), [this] { ++otherPanelClicks; });
}

void FakeSelectionProgram::showStaleBubble(Point topLeft)
{
    m_staleBubble = fakePanel(Rect(topLeft.x, topLeft.y, 40, 40), [this] { ++otherPanelClicks; });
}

void FakeSelectionProgram::showStrayOverlay()
{
    m_strayOverlay = fakePanel(Rect(0, 0, 1440, 900));
    m_strayOverlay->setIgnoresMouseEvents(true);
}

void FakeSelectionProgram::onInput(const MonitoredEvent& event)
{
    if (event.type == InputEventType::leftMouseDown) {
        m_dragged = false;
    } else if (event.type == InputEventType::leftMouseDragged) {
        m_dragged = true;
    } else if (event.type == InputEventType::leftMouseUp && m_dragged) {
        m_dragged = false;
        if (!focusedSelection())
            return;
        showBubble({ event.location.x + 8, event.location.y + 8 });
        // In front of the bubble: the first of the program's windows a runner reads.
        if (showsReadButtonOnSelection)
            m_lateReadButton = fakePanel(Rect(1300, 220, 60, 60), [this] { ++otherPanelClicks; });
    }
}

void FakeSelectionProgram::showBubble(Point topLeft)
{
    m_bubble = fakePanel(Rect(topLeft.x, topLeft.y, 40, 40), [this] {
        ++bubbleClicks;
        startReading();
    });
}

void FakeSelectionProgram::startReading()
{
    m_bubble->orderOut();
    if (showsOverlay) {
        m_overlay = fakePanel(Rect(0, 0, 1440, 900));
        m_overlay->setIgnoresMouseEvents(true);
    }
    m_miniPlayer = fakePanel(Rect(510, 780, 420, 60));
    auto play = std::make_shared<FakeProgramButton>(Rect(10, 10, 40, 40));
    auto close = std::make_shared<FakeProgramButton>(Rect(370, 10, 40, 40));
    close->onAction = [this] { closeReading(); };
    m_miniPlayer->contentView()->addSubview(play);
    m_miniPlayer->contentView()->addSubview(close);
    if (!writesLog)
        return;
    EXPECT_TRUE(Files::appendLine(m_logPath, "[SelectionReader] ▶ 31 字符, highlight=AX, bundle=com.example.PlainEdit"));
    if (writesAudioLine) {
        EXPECT_TRUE(Files::appendLine(m_logPath, "[Audio] play para=0 off=0 bytes=4096 dur=1.20s ok=true"));
    }
}

void FakeSelectionProgram::closeReading()
{
    ++readingsClosed;
    if (m_overlay)
        m_overlay->orderOut();
    m_miniPlayer->orderOut();
}

} // namespace lorvantine
