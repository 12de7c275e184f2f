#pragma once

#include "Platform/Toolkit/Font.h"
#include "Platform/Toolkit/Painter.h"
#include "Platform/Toolkit/View.h"

#include <memory>
#include <optional>
#include <string>

namespace lorvantine {

// A line (or with word wrapping, lines) of text that the user does not edit: the platform's
// label text field, borderless and without a background of its own. Accessibility: a static
// text whose value is the text. Main thread only.
class Label : public View {
public:
    explicit Label(const Rect& frame = {}, std::string text = {});

    const std::string& text() const { return m_text; }
    void setText(std::string text);
    const Font& font() const { return m_font; }
    void setFont(Font font);
    // None: the label colour of the appearance (near-black, or near-white on dark).
    Color textColor() const;
    void setTextColor(std::optional<Color> color);
    TextAlignment alignment() const { return m_alignment; }
    void setAlignment(TextAlignment alignment);
    LineBreakMode lineBreakMode() const { return m_lineBreak; }
    void setLineBreakMode(LineBreakMode mode);

    // The size that shows the whole text (wrapped at the present width with word wrapping).
    Size fittingSize() const;
    void sizeToFit();

    // Text is inset 2 points left and right, as the platform's text fields do (a clipping label
    // lets it run to its right edge).
    static constexpr double horizontalInset = 2;

    void draw(Painter& painter, const Rect& dirtyRect) override;
    std::string accessibilityRole() const override { return "AXStaticText"; }
    std::optional<std::string> accessibilityValue() const override { return m_text; }

private:
    std::string m_text;
    // Kept while the text, font, width, alignment and line break it was made for hold.
    std::shared_ptr<const TextLayout> m_layout;
    Font m_font = Font::system(13);
    std::optional<Color> m_textColor;
    TextAlignment m_alignment = TextAlignment::left;
    LineBreakMode m_lineBreak = LineBreakMode::truncatingTail;
};

} // namespace lorvantine
