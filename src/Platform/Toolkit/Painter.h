#pragma once

#include "Platform/Toolkit/Color.h"
#include "Platform/Toolkit/Font.h"
#include "Platform/Geometry.h"
#include "Platform/Toolkit/Path.h"

#include <string>

namespace lorvantine {

struct Image;
class TextLayout;

enum class LineCap { butt, round, square };
enum class TextAlignment { left, center, right };
enum class LineBreakMode { wordWrapping, truncatingTail, clipping };

// Abstract drawing, in the coordinates of the view being drawn: origin at its bottom-left
// corner, y upward, in points. Views draw through it; the backend renders it (the simulated
// desktop with Cairo). Main thread; only during a view's drawing.
class Painter {
public:
    virtual ~Painter() = default;

    virtual void save() = 0;
    virtual void restore() = 0;
    virtual void translate(double dx, double dy) = 0;
    // Positive angles turn counter-clockwise on screen (y upward).
    virtual void rotate(double radians) = 0;
    virtual void scale(double sx, double sy) = 0;
    // Intersects the clip with `path` until the matching `restore`.
    virtual void clip(const Path& path) = 0;
    // The same for a rectangle. Default: `clip` with its path.
    virtual void clipRect(const Rect& rect);

    // What is drawn until the matching end is composited as one layer at `alpha`.
    virtual void beginTransparencyLayer(double alpha) = 0;
    virtual void endTransparencyLayer() = 0;

    virtual void fill(const Path& path, const Color& color) = 0;
    virtual void stroke(const Path& path, const Color& color, double lineWidth, LineCap cap = LineCap::butt) = 0;

    // Lays `text` out in `rect` as `TextMeasurer` measures it: the first line's top at the top
    // of `rect`; wrapped at its width with `wordWrapping`, else one line cut at its width
    // (with an ellipsis for `truncatingTail`).
    virtual void drawText(const std::string& text, const Rect& rect, const Font& font, const Color& color,
                          TextAlignment alignment = TextAlignment::left,
                          LineBreakMode lineBreak = LineBreakMode::truncatingTail) = 0;
    // A layout made by the installed measurer, drawn in `rect` as `drawText` draws its text.
    // Default: `drawText` with what it was made for.
    virtual void drawTextLayout(const TextLayout& layout, const Rect& rect, const Color& color);
    // The bounds of the clip in the present coordinates: nothing drawn outside them shows.
    // Default: no bounds (an immense rectangle).
    virtual Rect clipBounds() const;
    // Whether anything drawn in `rect` (in the present coordinates) could show: false when it
    // lies wholly outside the clip, so that a view there need not draw.
    bool mayShow(const Rect& rect) const { return rect.intersects(clipBounds()); }
    // Scales the image's pixels to fill `rect`.
    virtual void drawImage(const Image& image, const Rect& rect) = 0;

    void fillRect(const Rect& rect, const Color& color) { fill(Path::rect(rect), color); }
    void fillRoundedRect(const Rect& rect, double cornerRadius, const Color& color)
    {
        fill(Path::roundedRect(rect, cornerRadius), color);
    }
    void strokeRoundedRect(const Rect& rect, double cornerRadius, const Color& color, double lineWidth)
    {
        stroke(Path::roundedRect(rect, cornerRadius), color, lineWidth);
    }
};

} // namespace lorvantine
