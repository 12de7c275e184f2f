#include "App/StatusBarIcon.h"

#include "Platform/Toolkit/Painter.h"

#include <array>

namespace lorvantine::StatusBarIcon {

std::vector<Rect> bars(double squareSide)
{
    static constexpr std::array<double, 5> heights { 0.55, 0.82, 0.42, 1.0, 0.68 };
    const double s = squareSide;
    const double width = 0.11 * s;
    const double gap = 0.075 * s;
    const double left = (s - (5 * width + 4 * gap)) / 2;
    const double tallest = 0.82 * s;
    std::vector<Rect> result;
    for (size_t i = 0; i < heights.size(); ++i) {
        const double height = tallest * heights[i];
        result.emplace_back(left + static_cast<double>(i) * (width + gap), s / 2 - height / 2, width, height);
    }
    return result;
}

DrawnImage image()
{
    DrawnImage icon;
    icon.size = Size { side, side };
    icon.isTemplate = true;
    icon.accessibilityDescription = "Lorvantine";
    icon.drawingHandler = [](Painter& painter, const Rect& rect) {
        for (const Rect& bar : bars(rect.width())) {
            const Rect placed(rect.minX() + bar.minX(), rect.minY() + bar.minY(), bar.width(), bar.height());
            painter.fillRoundedRect(placed, bar.width() / 2, Color::black());
        }
        return true;
    };
    return icon;
}

} // namespace lorvantine::StatusBarIcon
