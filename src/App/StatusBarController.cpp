#include "App/StatusBarController.h"

#include "Accessibility/AXReader.h"
#include "App/HotkeyTap.h"
#include "App/PopoverViewController.h"
#include "App/StatusBarIcon.h"
#include "App/WindowMonitor.h"
#include "Core/ArticleReader.h"
#include "Overlay/ReadButton.h"
#include "Player/MiniPlayer.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Toolkit/Popover.h"
#include "Platform/Toolkit/StatusBarButton.h"
#include "Platform/Toolkit/StatusItem.h"

namespace lorvantine {

namespace {
// The popover is closed before the reading toggles, so that its panel is gone from the screen
// when the front window is looked for.
constexpr double popoverToggleDelay = 0.1;
} // namespace

std::shared_ptr<StatusBarController> StatusBarController::make(std::shared_ptr<ArticleReader> reader)
{
    std::shared_ptr<StatusBarController> controller(new StatusBarController(reader ? std::move(reader) : ArticleReader::shared()));
    controller->setUpStatusItem();
    controller->setUpPopover();
    controller->setUpHotkey();
    controller->setUpWindowMonitor();
    return controller;
}

StatusBarController::StatusBarController(std::shared_ptr<ArticleReader> reader)
    : m_reader(std::move(reader))
    , m_popover(std::make_unique<Popover>())
    , m_windowMonitor(std::make_shared<WindowMonitor>())
    , m_readButton(std::make_shared<ReadButton>())
{
}

StatusBarController::~StatusBarController()
{
    // Quitting during a start: the search must not hold the end of the process up.
    m_startCancellation.cancel();
    m_readButton->hide();
    if (m_miniPlayer)
        m_miniPlayer->hide();
}

bool StatusBarController::isReading() const
{
    // The session's restart on a new article, and the moment before it, go on with this reading.
    return m_isReading && (m_reader->isReading() || m_reader->isRestarting())
        && m_reader->readingGeneration() == m_readingGeneration;
}

bool StatusBarController::hasHotkey() const { return m_hotkey && m_hotkey->isInstalled(); }

void StatusBarController::setUpStatusItem()
{
    m_statusItem = StatusItem::make(StatusItem::squareLength);
    StatusBarButton& button = m_statusItem->button();
    button.setDrawnImage(StatusBarIcon::image());
    button.onAction = [weak = weak_from_this()] {
        if (auto self = weak.lock())
            self->togglePopover();
    };
}

void StatusBarController::togglePopover()
{
    if (m_popover->isShown()) {
        m_popover->close();
        return;
    }
    StatusBarButton& button = m_statusItem->button();
    m_popover->show(button.bounds(), button, Popover::Edge::minY);
}

void StatusBarController::setUpPopover()
{
    m_popover->setContentSize(Size { PopoverViewController::width, PopoverViewController::height });
    m_popover->setBehavior(Popover::Behavior::transient);
    m_popoverContent = PopoverViewController::make();
    m_popoverContent->onReadCurrentPage = [weak = weak_from_this()] {
        auto self = weak.lock();
        if (!self)
            return;
        self->m_popover->close();
        DispatchQueue::main().asyncAfter(seconds(popoverToggleDelay), [weak] {
            if (auto alive = weak.lock())
                alive->toggleReading();
        });
    };
    m_popoverContent->onOpenPreferences = [weak = weak_from_this()] {
        auto self = weak.lock();
        if (!self)
            return;
        self->m_popover->close();
        if (self->onOpenPreferences)
            self->onOpenPreferences();
    };
    m_popover->setContentView(m_popoverContent->view());
}

void StatusBarController::setUpHotkey()
{
    m_hotkey = std::make_shared<HotkeyTap>();
    m_hotkey->onHotkey = [weak = weak_from_this()] {
        if (auto self = weak.lock())
            self->toggleReading();
    };
    m_hotkey->install();
}

void StatusBarController::setUpWindowMonitor()
{
    m_readButton->onTap = [weak = weak_from_this()] {
        if (auto self = weak.lock())
            self->startReadingCurrentWindow();
    };
    m_windowMonitor->onWindowDetected = [weak = weak_from_this()](const AXElement& window, const Rect&) {
        auto self = weak.lock();
        if (!self || self->m_isReading)
            return;
        if (self->m_readButton->panel())
            self->m_readButton->updateTracking(window);
        else
            self->m_readButton->show(window);
    };
    m_windowMonitor->onWindowLost = [weak = weak_from_this()] {
        auto self = weak.lock();
        if (!self)
            return;
        self->m_readButton->hide();
        // A window that still answers keeps its reading, even behind another application.
        if (self->m_isReading && self->m_currentReadingWindow && !AXReader::position(*self->m_currentReadingWindow))
            self->stopReading();
    };
    m_windowMonitor->start();
}

void StatusBarController::toggleReading()
{
    if (isReading() || m_starting)
        stopReading();
    else
        startReadingCurrentWindow();
}

} // namespace lorvantine
