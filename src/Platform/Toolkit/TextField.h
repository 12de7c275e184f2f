#pragma once

#include "Platform/Toolkit/Font.h"
#include "Platform/Toolkit/View.h"

#include <functional>
#include <string>

namespace lorvantine {

// A one-line text field the user edits, in a white bezel (a placeholder shows while it is empty).
// As its window's first responder it takes the keys typed into the window: the characters
// typed go in at the end, or replace the whole text while it is selected (as it is when the
// field gets the keys from its window rather than from a click); Delete removes the selection or
// the last character, Command-A selects everything, and Return ends the editing, which calls
// `onAction` and selects the text again; leaving the field after typing in it (Tab, another field
// takes the keys, the window closes) ends the editing too. Setting "AXValue" (an assistive
// application) puts a text in whole; "AXConfirm" is Return; `endEditing` does the same in code.
// Setting the text in code calls nothing. Accessibility: a text field whose value is the text.
// Main thread only.
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
    // Whether the whole text is selected, so that what is typed next replaces it.
    bool isTextSelected() const { return m_selected; }

    void draw(Painter& painter, const Rect& dirtyRect) override;
    void mouseDown(const MouseEvent& event) override;
    bool acceptsFirstResponder() const override { return m_editable; }
    void didBecomeFirstResponder() override;
    void didResignFirstResponder() override;
    void keyDown(const KeyEvent& event) override;

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
    void replaceTyped(std::string text);

    std::string m_text;
    std::string m_placeholder;
    Font m_font = Font::system(13);
    bool m_editable = true;
    bool m_selected = false;
    bool m_typedSinceAction = false;
};

} // namespace lorvantine
