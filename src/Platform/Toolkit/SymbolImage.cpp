#include "Platform/Toolkit/SymbolImage.h"

#include "Platform/Toolkit/Painter.h"

#include <cmath>
#include <functional>
#include <map>
#include <numbers>

namespace lorvantine {

namespace {

constexpr double pi = std::numbers::pi;

// Maps unit coordinates (0...1 across, 0...1 up) into the rectangle a symbol is drawn in.
struct Box {
    Rect r;
    Point at(double u, double v) const { return { r.minX() + u * r.width(), r.minY() + v * r.height() }; }
    double w(double u) const { return u * r.width(); }
    double h(double v) const { return v * r.height(); }
    double m(double s) const { return s * std::min(r.width(), r.height()); }
};

struct Context {
    Painter& painter;
    Box box;
    Color colour;
    double stroke; // line width of stroked symbols, from the weight
};

double strokeFactor(Font::Weight weight)
{
    switch (weight) {
    case Font::Weight::ultraLight: return 0.04;
    case Font::Weight::thin: return 0.055;
    case Font::Weight::light: return 0.07;
    case Font::Weight::regular: return 0.085;
    case Font::Weight::medium: return 0.095;
    case Font::Weight::semibold: return 0.11;
    case Font::Weight::bold: return 0.125;
    case Font::Weight::heavy: return 0.145;
    case Font::Weight::black: return 0.16;
    }
    return 0.085;
}

void speaker(const Context& c, const Box& b, const Color& colour)
{
    Path body;
    body.moveTo(b.at(0.0, 0.34));
    body.lineTo(b.at(0.2, 0.34));
    body.lineTo(b.at(0.46, 0.08));
    body.lineTo(b.at(0.46, 0.92));
    body.lineTo(b.at(0.2, 0.66));
    body.lineTo(b.at(0.0, 0.66));
    body.close();
    c.painter.fill(body, colour);
}

void waves(const Context& c, const Box& b, const Color& colour, double lineWidth)
{
    const Point centre = b.at(0.42, 0.5);
    for (double radius : { 0.3, 0.52 }) {
        Path wave;
        wave.addArc(centre, b.m(radius), -pi / 4, pi / 4, false);
        c.painter.stroke(wave, colour, lineWidth, LineCap::round);
    }
}

struct Symbol {
    double width;  // in point sizes
    double height; // in point sizes
    std::function<void(const Context&)> draw;
};

const std::map<std::string, Symbol>& symbols()
{
    static const std::map<std::string, Symbol> table {
        { "play.fill", { 0.72, 0.86, [](const Context& c) {
              Path p;
              p.moveTo(c.box.at(0.06, 0.02));
              p.lineTo(c.box.at(0.98, 0.5));
              p.lineTo(c.box.at(0.06, 0.98));
              p.close();
              c.painter.fill(p, c.colour);
          } } },
        { "pause.fill", { 0.66, 0.86, [](const Context& c) {
              c.painter.fillRoundedRect(Rect(c.box.at(0.04, 0.02), Size { c.box.w(0.32), c.box.h(0.96) }), c.box.w(0.06), c.colour);
              c.painter.fillRoundedRect(Rect(c.box.at(0.64, 0.02), Size { c.box.w(0.32), c.box.h(0.96) }), c.box.w(0.06), c.colour);
          } } },
        { "xmark", { 0.7, 0.7, [](const Context& c) {
              const double inset = c.stroke / 2 / c.box.r.width();
              Path p;
              p.moveTo(c.box.at(inset, inset));
              p.lineTo(c.box.at(1 - inset, 1 - inset));
              p.moveTo(c.box.at(inset, 1 - inset));
              p.lineTo(c.box.at(1 - inset, inset));
              c.painter.stroke(p, c.colour, c.stroke, LineCap::round);
          } } },
        { "speaker.wave.2.fill", { 1.3, 0.92, [](const Context& c) {
              Box left { Rect(c.box.r.minX(), c.box.r.minY(), c.box.w(0.62), c.box.r.height()) };
              speaker(c, left, c.colour);
              Box right { Rect(c.box.r.minX() + c.box.w(0.1), c.box.r.minY(), c.box.w(0.9), c.box.r.height()) };
              waves(c, right, c.colour, c.stroke);
          } } },
        { "speaker.wave.2.circle.fill", { 1.0, 1.0, [](const Context& c) {
              Path circle;
              circle.addEllipse(c.box.r);
              c.painter.fill(circle, c.colour);
              const Color glyph = Color::white();
              Box inner { c.box.r.insetBy(c.box.w(0.22), c.box.h(0.28)) };
              Box left { Rect(inner.r.minX(), inner.r.minY(), inner.w(0.62), inner.r.height()) };
              speaker(c, left, glyph);
              Box right { Rect(inner.r.minX() + inner.w(0.1), inner.r.minY(), inner.w(0.9), inner.r.height()) };
              waves(c, right, glyph, c.stroke * 0.8);
          } } },
        { "arrow.clockwise", { 0.84, 0.94, [](const Context& c) {
              const Point centre = c.box.at(0.5, 0.46);
              const double radius = c.box.m(0.38);
              // Clockwise from the upper left, round the bottom, up to the top, where it points right.
              Path arc;
              arc.addArc(centre, radius, pi * 0.72, pi * 0.5 - 2 * pi, true);
              c.painter.stroke(arc, c.colour, c.stroke, LineCap::round);
              const Point top { centre.x, centre.y + radius };
              const double s = c.box.m(0.2);
              Path head;
              head.moveTo({ top.x + s, top.y });
              head.lineTo({ top.x - s * 0.35, top.y + s * 0.75 });
              head.lineTo({ top.x - s * 0.35, top.y - s * 0.75 });
              head.close();
              c.painter.fill(head, c.colour);
          } } },
        { "gearshape", { 1.0, 1.0, [](const Context& c) {
              const Point centre = c.box.at(0.5, 0.5);
              const double outer = c.box.m(0.5), ring = c.box.m(0.3);
              for (int i = 0; i < 8; ++i) {
                  const double a = i * pi / 4;
                  Path tooth;
                  tooth.moveTo({ centre.x + ring * std::cos(a), centre.y + ring * std::sin(a) });
                  tooth.lineTo({ centre.x + (outer - c.box.m(0.08)) * std::cos(a), centre.y + (outer - c.box.m(0.08)) * std::sin(a) });
                  c.painter.stroke(tooth, c.colour, c.box.m(0.16), LineCap::round);
              }
              Path wheel;
              wheel.addArc(centre, ring, 0, 2 * pi, false);
              c.painter.stroke(wheel, c.colour, c.box.m(0.17));
          } } },
        { "text.cursor", { 0.5, 1.0, [](const Context& c) {
              Path p;
              p.moveTo(c.box.at(0.5, 0.1));
              p.lineTo(c.box.at(0.5, 0.9));
              p.moveTo(c.box.at(0.1, 0.96));
              p.curveTo(c.box.at(0.5, 0.84), c.box.at(0.3, 0.96), c.box.at(0.5, 0.92));
              p.curveTo(c.box.at(0.9, 0.96), c.box.at(0.5, 0.92), c.box.at(0.7, 0.96));
              p.moveTo(c.box.at(0.1, 0.04));
              p.curveTo(c.box.at(0.5, 0.16), c.box.at(0.3, 0.04), c.box.at(0.5, 0.08));
              p.curveTo(c.box.at(0.9, 0.04), c.box.at(0.5, 0.08), c.box.at(0.7, 0.04));
              c.painter.stroke(p, c.colour, c.stroke, LineCap::round);
          } } },
        { "book.fill", { 1.12, 0.86, [](const Context& c) {
              Path left;
              left.moveTo(c.box.at(0.0, 0.1));
              left.lineTo(c.box.at(0.46, 0.02));
              left.lineTo(c.box.at(0.46, 0.9));
              left.lineTo(c.box.at(0.0, 0.98));
              left.close();
              c.painter.fill(left, c.colour);
              Path right;
              right.moveTo(c.box.at(0.54, 0.02));
              right.lineTo(c.box.at(1.0, 0.1));
              right.lineTo(c.box.at(1.0, 0.98));
              right.lineTo(c.box.at(0.54, 0.9));
              right.close();
              c.painter.fill(right, c.colour);
          } } },
        { "checkmark.circle.fill", { 1.0, 1.0, [](const Context& c) {
              Path circle;
              circle.addEllipse(c.box.r);
              c.painter.fill(circle, c.colour);
              Path tick;
              tick.moveTo(c.box.at(0.28, 0.52));
              tick.lineTo(c.box.at(0.44, 0.34));
              tick.lineTo(c.box.at(0.72, 0.68));
              c.painter.stroke(tick, Color::white(), c.stroke * 1.2, LineCap::round);
          } } },
    };
    return table;
}

} // namespace

std::optional<SymbolImage> SymbolImage::named(const std::string& name, const std::string& accessibilityDescription)
{
    if (!exists(name))
        return std::nullopt;
    SymbolImage image;
    image.m_name = name;
    image.m_description = accessibilityDescription;
    return image;
}

bool SymbolImage::exists(const std::string& name) { return symbols().count(name) > 0; }

std::vector<std::string> SymbolImage::knownNames()
{
    std::vector<std::string> names;
    for (const auto& [name, symbol] : symbols())
        names.push_back(name);
    return names;
}

SymbolImage SymbolImage::withConfiguration(double pointSize, Font::Weight weight) const
{
    SymbolImage copy = *this;
    copy.m_pointSize = pointSize;
    copy.m_weight = weight;
    return copy;
}

SymbolImage SymbolImage::withPaletteColor(const Color& color) const
{
    SymbolImage copy = *this;
    copy.m_palette = color;
    return copy;
}

Size SymbolImage::size() const
{
    const Symbol& symbol = symbols().at(m_name);
    return { std::round(symbol.width * m_pointSize * 2) / 2, std::round(symbol.height * m_pointSize * 2) / 2 };
}

void SymbolImage::draw(Painter& painter, const Rect& rect, const Color& tint) const
{
    auto it = symbols().find(m_name);
    if (it == symbols().end() || rect.isEmpty())
        return;
    const double scale = std::min(rect.width() / size().width, rect.height() / size().height);
    const Context context { painter, Box { rect }, m_palette.value_or(tint), strokeFactor(m_weight) * m_pointSize * scale };
    it->second.draw(context);
}

} // namespace lorvantine
