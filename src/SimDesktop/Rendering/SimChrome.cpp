#include "SimDesktop/Rendering/SimChrome.h"

#include <algorithm>

namespace lorvantine::SimChrome {

namespace {

constexpr double lightDiameter = 14;
constexpr double lightSpacing = 20;
constexpr double titleInset = 76; // keeps the title clear of the three buttons

SimScene::Item shape(SimScene::Shape s, const Rect& clip) { return SimScene::Item { s, clip }; }

SimScene::Item text(const std::string& string, const SimFont& font, Point origin, uint32_t colour, const Rect& clip)
{
    SimScene::Text t;
    t.layout = SimTextLayout::make(string, 0, font);
    t.origin = origin;
    t.colour = colour;
    return SimScene::Item { t, clip };
}

SimFont systemFont(SimFont::Weight weight) { return SimFont { "DejaVu Sans", 13, weight }; }

} // namespace

std::vector<SimScene::Item> window(const WindowLook& look)
{
    const Rect& f = look.frame;
    std::vector<SimScene::Item> items;
    items.push_back(shape({ .rect = f, .fill = look.background }, f));
    if (!look.titled)
        return items;

    const double barHeight = std::min(f.height(), std::max(titleBarHeight, look.toolbarHeight));
    const Rect bar(f.minX(), f.minY(), f.width(), barHeight);
    if (look.active)
        items.push_back(shape({ .rect = bar, .fill = 0xFFEBEBEB, .fillBottom = 0xFFD6D6D6 }, f));
    else
        items.push_back(shape({ .rect = bar, .fill = 0xFFF6F6F6 }, f));
    items.push_back(shape({ .rect = Rect(bar.minX(), bar.maxY() - 1, bar.width(), 1),
                            .fill = look.active ? 0xFFB9B9B9 : 0xFFD4D4D4 },
                          f));

    const Point first = look.closeButton.value_or(
        Point { f.minX() + 12, f.minY() + (barHeight - lightDiameter) / 2 });
    static const uint32_t fills[] = { 0xFFFF5F57, 0xFFFEBC2E, 0xFF28C840 };
    static const uint32_t strokes[] = { 0xFFE0443E, 0xFFDEA123, 0xFF1AAB29 };
    for (int i = 0; i < 3; ++i) {
        SimScene::Shape light { .kind = SimScene::Shape::Kind::ellipse,
                                .rect = Rect(first.x + i * lightSpacing, first.y, lightDiameter, lightDiameter),
                                .fill = look.active ? fills[i] : 0xFFDCDCDC,
                                .stroke = look.active ? strokes[i] : 0xFFC6C6C6,
                                .lineWidth = 0.5 };
        light.rect = light.rect.insetBy(0.25, 0.25);
        items.push_back(shape(light, f));
    }

    if (look.toolbarHeight > 0 || look.title.empty())
        return items;
    const Rect titleArea(f.minX() + titleInset, f.minY(), std::max(0.0, f.width() - 2 * titleInset), titleBarHeight);
    SimScene::Item title = text(look.title, systemFont(SimFont::Weight::bold), Point {},
                                look.active ? 0xFF3B3B3B : 0xFFA6A6A6, titleArea);
    auto& t = std::get<SimScene::Text>(title.content);
    const Size size = t.layout->size();
    t.origin = Point { std::max(titleArea.minX(), f.midX() - size.width / 2), f.minY() + (titleBarHeight - size.height) / 2 };
    items.push_back(std::move(title));
    return items;
}

std::vector<SimScene::Item> menuBar(const Rect& bar, const std::string& applicationName,
                                    const std::vector<std::string>& menuTitles)
{
    std::vector<SimScene::Item> items;
    items.push_back(shape({ .rect = bar, .fill = 0xEBF4F4F4 }, bar));
    items.push_back(shape({ .rect = Rect(bar.minX(), bar.maxY() - 1, bar.width(), 1), .fill = 0x26000000 }, bar));
    const double logo = std::min(14.0, bar.height() - 6);
    items.push_back(shape({ .kind = SimScene::Shape::Kind::ellipse,
                            .rect = Rect(bar.minX() + 18, bar.midY() - logo / 2, logo, logo),
                            .fill = 0xFF1D1D1F },
                          bar));
    double x = bar.minX() + 48;
    auto add = [&](const std::string& title, SimFont::Weight weight) {
        SimScene::Item item = text(title, systemFont(weight), Point {}, 0xFF1D1D1F, bar);
        auto& t = std::get<SimScene::Text>(item.content);
        t.origin = Point { x, bar.midY() - t.layout->size().height / 2 };
        x += t.layout->size().width + 20;
        items.push_back(std::move(item));
    };
    if (!applicationName.empty())
        add(applicationName, SimFont::Weight::bold);
    for (const auto& title : menuTitles)
        if (!title.empty() && title != applicationName)
            add(title, SimFont::Weight::regular);
    return items;
}

std::vector<SimScene::Item> desktop(const Rect& screen, const Rect& clip)
{
    return { shape({ .rect = screen, .fill = 0xFF274B7A, .fillBottom = 0xFF8AAFD6 }, clip) };
}

} // namespace lorvantine::SimChrome
