#pragma once

#include "Platform/Toolkit/Font.h"
#include "Platform/Toolkit/View.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lorvantine {

class Panel;

// A button that shows the selected one of a list of titles and, when clicked (or pressed through
// accessibility), opens a menu of them below itself. Choosing an item in the menu (a click,
// "AXPress" on its menu item, or Return on the item Up and Down highlighted) selects it and calls
// `onAction`; a click outside or Escape closes the menu without a choice. The open menu takes the
// keys whichever application is in front (`Window::keyCapture`), and it closes with the window of
// the button. Selecting in code calls nothing. Accessibility: a pop-up button whose value is the
// selected title; the open menu is a window of the program holding "AXMenuItem"s.
// Main thread only.
class PopUpButton : public View {
public:
    enum class ArrowPosition { noArrow, arrowAtCenter, arrowAtBottom };

    explicit PopUpButton(const Rect& frame = {});
    ~PopUpButton() override;

    std::function<void()> onAction;

    void addItem(std::string title);
    void addItems(const std::vector<std::string>& titles);
    void removeAllItems();
    const std::vector<std::string>& itemTitles() const { return m_items; }
    int numberOfItems() const { return static_cast<int>(m_items.size()); }

    // -1 selects nothing; an index outside the items too.
    void selectItem(int index);
    // False (and nothing selected) when no item has that title.
    bool selectItem(const std::string& title);
    // -1 when nothing is selected.
    int indexOfSelectedItem() const { return m_selected; }
    // Empty when nothing is selected.
    std::string titleOfSelectedItem() const;

    bool pullsDown() const { return m_pullsDown; }
    void setPullsDown(bool pullsDown) { m_pullsDown = pullsDown; }
    const Font& font() const { return m_font; }
    void setFont(Font font);
    bool isBordered() const { return m_bordered; }
    void setBordered(bool bordered);
    ArrowPosition arrowPosition() const { return m_arrowPosition; }
    void setArrowPosition(ArrowPosition position);
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);

    // The width that shows the longest of its titles whole, beside its arrows.
    double fittingWidth() const;

    bool isMenuOpen() const { return m_menu != nullptr; }
    void openMenu();
    void closeMenu();
    // The open menu's window (null when closed).
    Panel* menuWindow() const { return m_menu.get(); }

    void draw(Painter& painter, const Rect& dirtyRect) override;
    void mouseDown(const MouseEvent& event) override;
    void mouseUp(const MouseEvent& event) override;

    std::string accessibilityRole() const override { return "AXPopUpButton"; }
    std::optional<std::string> accessibilityValue() const override { return titleOfSelectedItem(); }
    bool isAccessibilityEnabled() const override { return m_enabled; }
    bool accessibilityPerformPress() override;

    // Item rows of the menu: 22 points high, 4 points of padding above and below.
    static constexpr double menuRowHeight = 22;
    static constexpr double menuPadding = 4;

private:
    friend class PopUpMenuItemView;
    void choose(int index);
    double widestTitle() const;
    // The bezel's room around the title: its inset at the left, the arrows' at the right.
    double titleMargins() const;

    std::vector<std::string> m_items;
    int m_selected = -1;
    bool m_pullsDown = false;
    Font m_font = Font::system(13);
    bool m_bordered = true;
    ArrowPosition m_arrowPosition = ArrowPosition::arrowAtCenter;
    bool m_enabled = true;
    std::shared_ptr<Panel> m_menu;
};

} // namespace lorvantine
