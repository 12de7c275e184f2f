#pragma once

#include <algorithm>

namespace lorvantine {

// A colour in calibrated RGB, components and alpha from 0 to 1, not premultiplied. A plain value.
struct Color {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    static constexpr Color rgb(double r, double g, double b, double a = 1) { return Color { r, g, b, a }; }
    static constexpr Color rgb255(int r, int g, int b, double a = 1) { return Color { r / 255.0, g / 255.0, b / 255.0, a }; }
    static constexpr Color white(double a = 1) { return Color { 1, 1, 1, a }; }
    static constexpr Color black(double a = 1) { return Color { 0, 0, 0, a }; }
    static constexpr Color clear() { return Color { 0, 0, 0, 0 }; }

    constexpr Color withAlpha(double a) const { return Color { red, green, blue, a }; }
    // `fraction` of the way from this colour to `other`, every component including alpha.
    constexpr Color blended(double fraction, const Color& other) const
    {
        const double f = std::clamp(fraction, 0.0, 1.0);
        return Color { red + (other.red - red) * f, green + (other.green - green) * f, blue + (other.blue - blue) * f,
                       alpha + (other.alpha - alpha) * f };
    }
    constexpr bool isClear() const { return alpha <= 0; }

    friend bool operator==(const Color&, const Color&) = default;
};

} // namespace lorvantine
