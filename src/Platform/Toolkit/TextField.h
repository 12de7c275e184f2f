#pragma once

#include "Platform/Toolkit/Font.h"
#include "Platform/Toolkit/View.h"

#include <functional>
#include <string>

namespace lorvantine {

// A one-line text field the user edits, in a white bezel (a placeholder shows while it is empty).
// There is no keyboard on this desktop: the text is typed through accessibility, by setting
// "AXValue" (as an assistive application or a test types), and the editing is ended by
// "AXConfirm" (Return), which calls `onAction`; `endEditing` does the same in code. Setting the
// text in code calls nothing. Accessibility: a text field whose value is the text. Main thread
// only.
class TextField : public View {
public:
    explicit TextField(const Rect& frame = {}, std::string text = {});

    // Editing ended (Return).
    std::function<void()> onAction;

    const std::string& stringValue() const { return m_text; }
    void setStringValue(std::string text);
    const std::string& placeholder() const { return m_placeholder; }
    void setPlaceholder(std::string placeholder);
    const Font& font() const { return m_font; }
    void setFont(Font font);
    bool isEditable() const { return m_editable; }
    void setEditable(bool editable);

    // As Return does: calls `onAction` while editable.
    void endEditing();

    void draw(Painter& painter, const Rect& dirtyRect) override;

    std::string accessibilityRole() const override { return "AXTextField"; }
    std::string accessibilityDescription() const override { return m_placeholder; }
    std::optional<std::string> accessibilityValue() const override { return m_text; }
    bool isAccessibilityEnabled() const override { return m_editable; }
    std::vector<std::string> accessibilityActionNames() const override { return { "AXConfirm" }; }
    bool accessibilityPerformAction(const std::string& action) override;
    bool isAccessibilityValueSettable() const override { return m_editable; }
    // Takes text only.
    bool accessibilitySetValue(const AXValue& value) override;

private:
    std::string m_text;
    std::string m_placeholder;
    Font m_font = Font::system(13);
    bool m_editable = true;
};

} // namespace lorvantine
