#pragma once

#include "Platform/Toolkit/Font.h"
#include "Platform/Toolkit/SymbolImage.h"
#include "Platform/Toolkit/View.h"

#include <functional>
#include <optional>
#include <string>

namespace lorvantine {

// Bezel styles, with the platform's values.
enum class BezelStyle { rounded = 1, regularSquare = 2, disclosure = 5, shadowlessSquare = 6, circular = 7,
                        texturedSquare = 8, helpButton = 9, smallSquare = 10, texturedRounded = 11,
                        roundRect = 12, recessed = 13, roundedDisclosure = 14, inlineBezel = 15 };

// Where the image goes relative to the title, with the platform's values.
enum class ImagePosition { noImage = 0, imageOnly = 1, imageLeft = 2, imageRight = 3, imageBelow = 4,
                           imageAbove = 5, imageOverlaps = 6, imageLeading = 7, imageTrailing = 8 };

// A push button with a title, a symbol image, or both. A click (mouse down and up inside it) or
// "AXPress" calls `onAction` while it is enabled; it shows pressed between down and up. A button
// with a key equivalent is also pressed by that key typed into its window, whatever view has the
// keys: Return for the window's default button, which is drawn filled with the accent colour
// while its window is key, Escape for a cancel button. Accessibility: a button titled with its
// title, described by its image's description. Main thread only.
class Button : public View {
public:
    // The key equivalents the platform gives a default and a cancel button.
    static constexpr const char* returnKeyEquivalent = "\r";
    static constexpr const char* escapeKeyEquivalent = "\x1b";
    // The fill of the default button.
    static constexpr Color defaultButtonColor = Color::rgb(0.0, 0.478, 1.0);

    explicit Button(const Rect& frame = {}, std::string title = {});

    std::function<void()> onAction;

    const std::string& title() const { return m_title; }
    void setTitle(std::string title);
    const std::optional<SymbolImage>& image() const { return m_image; }
    void setImage(std::optional<SymbolImage> image);
    ImagePosition imagePosition() const { return m_imagePosition; }
    void setImagePosition(ImagePosition position);
    BezelStyle bezelStyle() const { return m_bezelStyle; }
    void setBezelStyle(BezelStyle style);
    bool isBordered() const { return m_bordered; }
    void setBordered(bool bordered);
    // None: the label colour of the appearance.
    const std::optional<Color>& contentTintColor() const { return m_tint; }
    void setContentTintColor(std::optional<Color> color);
    const Font& font() const { return m_font; }
    void setFont(Font font);
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    // Between a mouse-down and the mouse-up, while the pointer is inside.
    bool isHighlighted() const { return m_highlighted; }
    // `returnKeyEquivalent`, `escapeKeyEquivalent`, or none (empty); other keys are not taken.
    const std::string& keyEquivalent() const { return m_keyEquivalent; }
    void setKeyEquivalent(std::string key);

    // Acts as a click does: `onAction` when enabled.
    void performClick();

    void draw(Painter& painter, const Rect& dirtyRect) override;
    void mouseDown(const MouseEvent& event) override;
    void mouseDragged(const MouseEvent& event) override;
    void mouseUp(const MouseEvent& event) override;
    // Presses the button when the key is its key equivalent, without Command, Control or Option.
    bool performKeyEquivalent(const KeyEvent& event) override;

    std::string accessibilityRole() const override { return "AXButton"; }
    std::string accessibilityTitle() const override { return m_title; }
    std::string accessibilityDescription() const override;
    bool isAccessibilityEnabled() const override { return m_enabled; }
    bool accessibilityPerformPress() override;

private:
    void setHighlighted(bool highlighted);

    std::string m_title;
    std::optional<SymbolImage> m_image;
    ImagePosition m_imagePosition = ImagePosition::imageLeft;
    BezelStyle m_bezelStyle = BezelStyle::rounded;
    bool m_bordered = true;
    std::optional<Color> m_tint;
    Font m_font = Font::system(13);
    bool m_enabled = true;
    bool m_highlighted = false;
    bool m_tracking = false;
    std::string m_keyEquivalent;
};

} // namespace lorvantine
