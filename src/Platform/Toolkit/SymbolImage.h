#pragma once

#include "Platform/Toolkit/Color.h"
#include "Platform/Toolkit/Font.h"
#include "Platform/Geometry.h"

#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

class Painter;

// A named symbol image ("play.fill", "xmark", ...) drawn by our own code as vector shapes, the
// stand-in for the system's symbol images. A plain value: configure, then draw.
//
// Known names: "play.fill", "pause.fill", "xmark", "speaker.wave.2.fill",
// "speaker.wave.2.circle.fill", "arrow.clockwise", "gearshape", "text.cursor", "book.fill",
// "checkmark.circle.fill".
class SymbolImage {
public:
    // None when there is no symbol of that name (the system's answer too).
    static std::optional<SymbolImage> named(const std::string& name, const std::string& accessibilityDescription = {});
    static bool exists(const std::string& name);
    static std::vector<std::string> knownNames();

    // The symbol at `pointSize` and `weight` (default: 13 points, regular).
    SymbolImage withConfiguration(double pointSize, Font::Weight weight) const;
    // Drawn in `color` whatever the tint of the view showing it.
    SymbolImage withPaletteColor(const Color& color) const;

    const std::string& name() const { return m_name; }
    const std::string& accessibilityDescription() const { return m_description; }
    double pointSize() const { return m_pointSize; }
    Font::Weight weight() const { return m_weight; }
    const std::optional<Color>& paletteColor() const { return m_palette; }
    // The image's size in points at its configuration.
    Size size() const;

    // Draws the symbol filling `rect` (use `size()` for its natural size) in the palette colour,
    // else `tint`.
    void draw(Painter& painter, const Rect& rect, const Color& tint) const;

    friend bool operator==(const SymbolImage&, const SymbolImage&) = default;

private:
    SymbolImage() = default;
    std::string m_name;
    std::string m_description;
    double m_pointSize = 13;
    Font::Weight m_weight = Font::Weight::regular;
    std::optional<Color> m_palette;
};

} // namespace lorvantine
