#pragma once

#include "Platform/Toolkit/Painter.h"

#include <cairo.h>

#include <vector>

namespace lorvantine {

// The toolkit's drawing on a Cairo context. `cr`'s user space is in points with the origin at
// the top left of an area `height` points high (y downward); the painter turns it into the
// toolkit's space (origin bottom left, y upward) and puts the context back as it found it when
// it is destroyed. Text is laid out by PangoTextMeasurer. One thread at a time.
class CairoPainter final : public Painter {
public:
    CairoPainter(cairo_t* cr, double height);
    ~CairoPainter() override;
    CairoPainter(const CairoPainter&) = delete;
    CairoPainter& operator=(const CairoPainter&) = delete;

    void save() override;
    void restore() override;
    void translate(double dx, double dy) override;
    void rotate(double radians) override;
    void scale(double sx, double sy) override;
    void clip(const Path& path) override;
    void beginTransparencyLayer(double alpha) override;
    void endTransparencyLayer() override;
    void fill(const Path& path, const Color& color) override;
    void stroke(const Path& path, const Color& color, double lineWidth, LineCap cap) override;
    void drawText(const std::string& text, const Rect& rect, const Font& font, const Color& color, TextAlignment alignment,
                  LineBreakMode lineBreak) override;
    void drawTextLayout(const TextLayout& layout, const Rect& rect, const Color& color) override;
    void clipRect(const Rect& rect) override;
    Rect clipBounds() const override;
    void drawImage(const Image& image, const Rect& rect) override;

private:
    void setPath(const Path& path);
    void addArc(const Path::Element& arc);
    void setColor(const Color& color);

    cairo_t* m_cr;
    std::vector<double> m_layers; // alphas of open transparency layers
};

} // namespace lorvantine
