#pragma once

#include <string>

namespace lorvantine {

// A font for drawing and measuring text. The system font is DejaVu Sans; Chinese text falls back
// to WenQuanYi Zen Hei through the font configuration. A plain value.
struct Font {
    enum class Weight { ultraLight, thin, light, regular, medium, semibold, bold, heavy, black };

    std::string family = "DejaVu Sans";
    double size = 13;
    Weight weight = Weight::regular;
    // Digits of equal width, so a changing counter does not jitter.
    bool monospacedDigits = false;

    static Font system(double size, Weight weight = Weight::regular) { return Font { "DejaVu Sans", size, weight, false }; }
    static Font monospacedDigitSystem(double size, Weight weight = Weight::regular)
    {
        return Font { "DejaVu Sans", size, weight, true };
    }

    friend bool operator==(const Font&, const Font&) = default;
};

} // namespace lorvantine
