#pragma once

#include "Platform/Toolkit/SymbolImage.h"
#include "Platform/Toolkit/View.h"

#include <optional>

namespace lorvantine {

// Shows a symbol image. Accessibility: an image described by the image's description.
// Main thread only.
class ImageView : public View {
public:
    // With the platform's values.
    enum class Scaling { proportionallyDown = 0, axesIndependently = 1, none = 2, proportionallyUpOrDown = 3 };

    explicit ImageView(const Rect& frame = {});

    const std::optional<SymbolImage>& image() const { return m_image; }
    void setImage(std::optional<SymbolImage> image);
    Scaling imageScaling() const { return m_scaling; }
    void setImageScaling(Scaling scaling);
    // None: the label colour of the appearance (an image's palette colour wins over both).
    const std::optional<Color>& contentTintColor() const { return m_tint; }
    void setContentTintColor(std::optional<Color> color);

    // Where the image is drawn: centred, scaled as `imageScaling` says.
    Rect imageRect() const;

    void draw(Painter& painter, const Rect& dirtyRect) override;
    std::string accessibilityRole() const override { return "AXImage"; }
    std::string accessibilityDescription() const override;

private:
    std::optional<SymbolImage> m_image;
    Scaling m_scaling = Scaling::proportionallyDown;
    std::optional<Color> m_tint;
};

} // namespace lorvantine
