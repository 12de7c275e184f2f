#include "Platform/Toolkit/DrawnImage.h"

#include "Platform/Toolkit/Painter.h"

namespace lorvantine {

namespace {

// Passes the drawing on, every colour replaced by the tint at the colour's own alpha: how the
// system draws a template image.
class TintingPainter final : public Painter {
public:
    TintingPainter(Painter& inner, const Color& tint) : m_inner(inner), m_tint(tint) { }

    void save() override { m_inner.save(); }
    void restore() override { m_inner.restore(); }
    void translate(double dx, double dy) override { m_inner.translate(dx, dy); }
    void rotate(double radians) override { m_inner.rotate(radians); }
    void scale(double sx, double sy) override { m_inner.scale(sx, sy); }
    void clip(const Path& path) override { m_inner.clip(path); }
    void clipRect(const Rect& rect) override { m_inner.clipRect(rect); }
    Rect clipBounds() const override { return m_inner.clipBounds(); }
    void beginTransparencyLayer(double alpha) override { m_inner.beginTransparencyLayer(alpha); }
    void endTransparencyLayer() override { m_inner.endTransparencyLayer(); }
    void fill(const Path& path, const Color& color) override { m_inner.fill(path, tinted(color)); }
    void stroke(const Path& path, const Color& color, double lineWidth, LineCap cap) override
    {
        m_inner.stroke(path, tinted(color), lineWidth, cap);
    }
    void drawText(const std::string& text, const Rect& rect, const Font& font, const Color& color, TextAlignment alignment,
                  LineBreakMode lineBreak) override
    {
        m_inner.drawText(text, rect, font, tinted(color), alignment, lineBreak);
    }
    void drawImage(const Image& image, const Rect& rect) override { m_inner.drawImage(image, rect); }

private:
    Color tinted(const Color& color) const { return m_tint.withAlpha(m_tint.alpha * color.alpha); }

    Painter& m_inner;
    Color m_tint;
};

} // namespace

void DrawnImage::draw(Painter& painter, const Rect& rect, const Color& tint) const
{
    if (!drawingHandler)
        return;
    if (!isTemplate) {
        drawingHandler(painter, rect);
        return;
    }
    TintingPainter tinting(painter, tint);
    drawingHandler(tinting, rect);
}

} // namespace lorvantine
