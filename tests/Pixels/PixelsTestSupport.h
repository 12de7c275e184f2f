#pragma once

#include "Platform/AccessibilityPort.h"
#include "SimDesktop/SimDesktop.h"
#include "SimDesktop/Rendering/SimRenderer.h"

#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine::testing {

struct Rgb {
    int r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// The colour a pixel shows over white (pictures are premultiplied).
inline Rgb colourAt(const Image& image, int x, int y)
{
    const uint32_t p = image.pixel(x, y);
    const int a = static_cast<int>(p >> 24);
    return Rgb { static_cast<int>((p >> 16) & 0xFF) + 255 - a, static_cast<int>((p >> 8) & 0xFF) + 255 - a,
                 static_cast<int>(p & 0xFF) + 255 - a };
}

inline bool isDark(const Rgb& c) { return c.r + c.g + c.b < 3 * 110; }

// A rectangle in global points as the whole pixels of `picture` it covers.
inline PixelRect pixelsOf(const SimRenderer::Picture& picture, const Rect& r)
{
    const double s = picture.scale;
    const int x0 = static_cast<int>(std::floor((r.minX() - picture.area.minX()) * s));
    const int y0 = static_cast<int>(std::floor((r.minY() - picture.area.minY()) * s));
    const int x1 = static_cast<int>(std::ceil((r.maxX() - picture.area.minX()) * s));
    const int y1 = static_cast<int>(std::ceil((r.maxY() - picture.area.minY()) * s));
    return PixelRect { x0, y0, x1 - x0, y1 - y0 };
}

inline int countPixels(const SimRenderer::Picture& picture, const Rect& r, bool (*test)(const Rgb&))
{
    const PixelRect p = pixelsOf(picture, r);
    int count = 0;
    for (int y = std::max(0, p.y); y < std::min(picture.image.height, p.y + p.height); ++y)
        for (int x = std::max(0, p.x); x < std::min(picture.image.width, p.x + p.width); ++x)
            count += test(colourAt(picture.image, x, y)) ? 1 : 0;
    return count;
}

inline int darkPixels(const SimRenderer::Picture& picture, const Rect& r) { return countPixels(picture, r, isDark); }

// The colour at a point given in global points.
inline Rgb colourAtPoint(const SimRenderer::Picture& picture, Point p)
{
    return colourAt(picture.image, static_cast<int>(std::floor((p.x - picture.area.minX()) * picture.scale)),
                    static_cast<int>(std::floor((p.y - picture.area.minY()) * picture.scale)));
}

inline SimApplication application(ProcessID pid, std::string bundleID, std::string name, bool active = false)
{
    SimApplication app;
    app.pid = pid;
    app.bundleIdentifier = std::move(bundleID);
    app.localizedName = std::move(name);
    app.active = active;
    return app;
}

inline SimWindow window(uint32_t number, std::string title, Rect frame, std::vector<SimElement> children = {})
{
    SimWindow w;
    w.number = number;
    w.title = std::move(title);
    w.frame = frame;
    w.children = std::move(children);
    return w;
}

// One screen of 1440 × 900 points at `scale`, and one active application ("Reader", pid 700)
// with window 42 at (100, 50), 600 × 400, holding `content`.
inline SimFixture readerFixture(std::vector<SimElement> content, double scale = 2)
{
    SimFixture f;
    f.screens.push_back(ScreenInfo { Rect(0, 0, 1440, 900), Rect(0, 0, 1440, 875), scale });
    SimApplication app = application(700, "com.example.Reader", "Reader", true);
    app.windows.push_back(window(42, "Notes", Rect(100, 50, 600, 400), std::move(content)));
    f.applications.push_back(std::move(app));
    return f;
}

inline std::optional<Rect> boundsForRange(AccessibilityPort& ax, const AXElement& element, int64_t location, int64_t length)
{
    AXValue value;
    if (ax.copyParameterizedAttributeValue(element, "AXBoundsForRange", AXRange { location, length }, value)
        != AXError::success)
        return std::nullopt;
    const Rect* r = axGet<Rect>(value);
    return r ? std::optional<Rect>(*r) : std::nullopt;
}

// The words of the truth, joined line by line.
inline std::vector<std::string> lineTexts(const std::vector<DesktopTruthRecognizer::Line>& lines)
{
    std::vector<std::string> out;
    for (const auto& line : lines) {
        std::string text;
        for (const auto& word : line.words)
            text += (text.empty() ? "" : " ") + word.text;
        out.push_back(text);
    }
    return out;
}

} // namespace lorvantine::testing
