#include "Platform/Toolkit/StatusItem.h"

#include "Platform/Toolkit/Panel.h"
#include "Platform/Toolkit/Screen.h"
#include "Platform/Toolkit/StatusBarButton.h"

#include <algorithm>
#include <vector>

namespace lorvantine {

namespace {

// What the menu bar holds of the program's items: each one's width, left to right as they
// were made; a released item leaves its place to the next one made.
std::vector<std::weak_ptr<StatusItem>>& statusItems()
{
    static std::vector<std::weak_ptr<StatusItem>> items;
    return items;
}

// A screen without a menu bar still gets its items along its top edge.
constexpr double defaultThickness = 24;

} // namespace

std::shared_ptr<StatusItem> StatusItem::make(double length)
{
    auto& items = statusItems();
    std::erase_if(items, [](const std::weak_ptr<StatusItem>& weak) { return weak.expired(); });

    const std::optional<ScreenInfo> primary = Screen::primary();
    const Rect screen = primary ? primary->frame : Rect(0, 0, 0, 0);
    const double bar = primary ? primary->frame.maxY() - primary->visibleFrame.maxY() : 0;
    const double thickness = bar > 0 ? bar : defaultThickness;
    const double width = length > 0 ? length : thickness;

    double right = screen.maxX() - rightMargin;
    for (const auto& weak : items)
        if (auto other = weak.lock())
            right -= other->m_length + spacing;

    std::shared_ptr<StatusItem> item(new StatusItem());
    item->m_length = width;
    item->m_panel = std::make_shared<Panel>(Rect(right - width, screen.maxY() - thickness, width, thickness),
                                            WindowStyle::borderless | WindowStyle::nonactivatingPanel);
    item->m_panel->setLevel(WindowLevel::statusBar);
    item->m_panel->setOpaque(false);
    item->m_panel->setBackgroundColor(Color::clear());
    item->m_panel->setHasShadow(false);
    item->m_panel->setCollectionBehavior(CollectionBehavior::canJoinAllSpaces | CollectionBehavior::stationary);
    // The menu bar answers while an alert waits: the program can still be quit from there.
    item->m_panel->setWorksWhenModal(true);
    item->m_button = std::make_shared<StatusBarButton>(Rect(0, 0, width, thickness));
    item->m_panel->contentView()->addSubview(item->m_button);
    item->m_panel->orderFrontRegardless();
    items.push_back(item);
    return item;
}

StatusItem::~StatusItem()
{
    if (m_panel)
        m_panel->orderOut();
}

} // namespace lorvantine
