#include "SimDesktop/Rendering/SimRenderer.h"

#include "SimDesktop/SimDesktop.h"
#include "SimDesktop/Rendering/SimScene.h"
#include "SimDesktop/Rendering/SimSceneBuilder.h"
#include "SimDesktop/Rendering/SimTextPainter.h"
#include "SimDesktop/Rendering/SimWindowFrame.h"
#include "Support/Text.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace lorvantine::SimRenderer {

namespace {

enum class Mode { screen, capture };

void setColour(cairo_t* cr, uint32_t argb)
{
    cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0, (argb & 0xFF) / 255.0,
                          ((argb >> 24) & 0xFF) / 255.0);
}

void paintShape(cairo_t* cr, const SimScene::Shape& shape)
{
    const Rect& r = shape.rect;
    switch (shape.kind) {
    case SimScene::Shape::Kind::rectangle:
        cairo_rectangle(cr, r.minX(), r.minY(), r.width(), r.height());
        break;
    case SimScene::Shape::Kind::roundedRectangle:
        SimWindowFrame::roundedPath(cr, r, shape.radius);
        break;
    case SimScene::Shape::Kind::ellipse:
        if (r.width() <= 0 || r.height() <= 0)
            return;
        cairo_save(cr);
        cairo_translate(cr, r.midX(), r.midY());
        cairo_scale(cr, r.width() / 2, r.height() / 2);
        cairo_new_sub_path(cr);
        cairo_arc(cr, 0, 0, 1, 0, 2 * std::numbers::pi);
        cairo_restore(cr);
        break;
    }
    if (shape.fill) {
        if (shape.fillBottom) {
            cairo_pattern_t* gradient = cairo_pattern_create_linear(0, r.minY(), 0, r.maxY());
            for (auto [offset, argb] : { std::pair { 0.0, *shape.fill }, std::pair { 1.0, *shape.fillBottom } })
                cairo_pattern_add_color_stop_rgba(gradient, offset, ((argb >> 16) & 0xFF) / 255.0,
                                                  ((argb >> 8) & 0xFF) / 255.0, (argb & 0xFF) / 255.0,
                                                  ((argb >> 24) & 0xFF) / 255.0);
            cairo_set_source(cr, gradient);
            cairo_pattern_destroy(gradient);
        } else {
            setColour(cr, *shape.fill);
        }
        cairo_fill_preserve(cr);
    }
    if (shape.stroke) {
        setColour(cr, *shape.stroke);
        cairo_set_line_width(cr, shape.lineWidth);
        cairo_stroke_preserve(cr);
    }
    cairo_new_path(cr);
}

void paintItems(cairo_t* cr, const std::vector<SimScene::Item>& items)
{
    for (const auto& item : items) {
        if (item.clip.isEmpty())
            continue;
        cairo_save(cr);
        cairo_rectangle(cr, item.clip.minX(), item.clip.minY(), item.clip.width(), item.clip.height());
        cairo_clip(cr);
        if (const auto* shape = std::get_if<SimScene::Shape>(&item.content))
            paintShape(cr, *shape);
        else
            SimTextPainter::paint(cr, std::get<SimScene::Text>(item.content));
        cairo_restore(cr);
    }
}

void paintWindow(cairo_t* cr, const SimScene::Window& w, Mode mode)
{
    if (w.frame.isEmpty())
        return;
    if (mode == Mode::screen && w.shadow)
        SimWindowFrame::paintShadow(cr, w.frame, w.cornerRadius);
    cairo_save(cr);
    const bool translucent = mode == Mode::screen && w.alpha < 1;
    if (translucent)
        cairo_push_group(cr);
    // A capture's corners are either the window's or clear: no half-covered pixels, which a
    // round trip through PNG would not give back exactly.
    if (mode == Mode::capture)
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    SimWindowFrame::roundedPath(cr, w.frame, w.cornerRadius);
    cairo_clip(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
    if (mode == Mode::capture) {
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
    }
    paintItems(cr, w.items);
    if (w.cornerRadius > 0)
        SimWindowFrame::strokeEdge(cr, w.frame, w.cornerRadius);
    if (translucent) {
        cairo_pop_group_to_source(cr);
        cairo_paint_with_alpha(cr, w.alpha);
    }
    cairo_restore(cr);
}

struct WordSpan {
    std::string text;
    AXRange range;
};

// The words of one laid-out line: the runs between white space.
std::vector<WordSpan> wordsOfLine(const SimTextLayout& layout, size_t line)
{
    std::vector<WordSpan> words;
    const std::optional<AXRange> range = layout.rangeForLine(line);
    if (!range)
        return words;
    const std::u32string scalars = Text::scalars(layout.stringForRange(*range).value_or(std::string()));
    int64_t unit = range->location;
    std::u32string current;
    int64_t start = unit;
    auto flush = [&] {
        if (!current.empty())
            words.push_back({ Text::fromScalars(current), AXRange { start, unit - start } });
        current.clear();
    };
    for (char32_t c : scalars) {
        if (Text::isWhitespace(c)) {
            flush();
        } else {
            if (current.empty())
                start = unit;
            current += c;
        }
        unit += c > 0xFFFF ? 2 : 1;
    }
    flush();
    return words;
}

void collectLines(const SimScene::Window& w, const std::vector<Rect>& covers, const Rect& area, double scale,
                  std::vector<DesktopTruthRecognizer::Line>& out)
{
    auto toPixels = [&](const Rect& r) {
        return Rect((r.minX() - area.minX()) * scale, (r.minY() - area.minY()) * scale, r.width() * scale,
                    r.height() * scale);
    };
    const Rect shown = w.frame.intersection(area);
    for (const auto& item : w.items) {
        const auto* text = std::get_if<SimScene::Text>(&item.content);
        if (!text || !text->layout)
            continue;
        const Rect clip = item.clip.intersection(shown);
        if (clip.isEmpty())
            continue;
        const SimTextLayout& layout = *text->layout;
        for (size_t line = 0; line < layout.lineCount(); ++line) {
            DesktopTruthRecognizer::Line found;
            for (const WordSpan& word : wordsOfLine(layout, line)) {
                const std::optional<Rect> bounds = layout.boundsForRange(word.range);
                if (!bounds || bounds->isEmpty())
                    continue;
                const Rect box(bounds->minX() + text->origin.x, bounds->minY() + text->origin.y, bounds->width(),
                               bounds->height());
                const Point centre { box.midX(), box.midY() };
                if (!clip.contains(centre))
                    continue;
                bool covered = false;
                for (const Rect& cover : covers)
                    covered = covered || cover.contains(centre);
                if (!covered)
                    found.words.push_back({ word.text, toPixels(box.intersection(clip)) });
            }
            if (!found.words.empty())
                out.push_back(std::move(found));
        }
    }
}

// A line-oriented engine reports a picture's lines top to bottom across the whole of it, whatever
// part of a window drew them: lines that stand level (two columns side by side, a label beside
// its field) come one after the other, left to right.
std::vector<DesktopTruthRecognizer::Line> acrossThePicture(std::vector<DesktopTruthRecognizer::Line> lines)
{
    struct Placed {
        double top, bottom, left;
        DesktopTruthRecognizer::Line line;
        double middle() const { return (top + bottom) / 2; }
    };
    std::vector<Placed> placed;
    for (DesktopTruthRecognizer::Line& line : lines) {
        if (line.words.empty())
            continue;
        Placed p { line.words.front().box.minY(), line.words.front().box.maxY(), line.words.front().box.minX(), {} };
        for (const DesktopTruthRecognizer::Word& word : line.words) {
            p.top = std::min(p.top, word.box.minY());
            p.bottom = std::max(p.bottom, word.box.maxY());
            p.left = std::min(p.left, word.box.minX());
        }
        p.line = std::move(line);
        placed.push_back(std::move(p));
    }
    std::stable_sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) { return a.middle() < b.middle(); });
    // A row holds the lines whose centres lie within half a line's height of its first line's.
    auto rowStart = placed.begin();
    while (rowStart != placed.end()) {
        auto rowEnd = std::find_if(rowStart, placed.end(), [&](const Placed& p) {
            return p.middle() - rowStart->middle() >= 0.5 * std::max(p.bottom - p.top, rowStart->bottom - rowStart->top);
        });
        std::stable_sort(rowStart, rowEnd, [](const Placed& a, const Placed& b) { return a.left < b.left; });
        rowStart = rowEnd;
    }
    std::vector<DesktopTruthRecognizer::Line> ordered;
    for (Placed& p : placed)
        ordered.push_back(std::move(p.line));
    return ordered;
}

bool drawable(const Rect& area, double scale)
{
    if (!std::isfinite(scale) || scale <= 0 || area.isEmpty())
        return false;
    const double width = std::round(area.width() * scale), height = std::round(area.height() * scale);
    return width >= 1 && height >= 1 && width <= maximumPixels && height <= maximumPixels;
}

Picture paint(const SimScene& scene, const Rect& area, double scale, Mode mode)
{
    Picture picture;
    picture.area = area;
    picture.scale = scale;
    if (!drawable(area, scale))
        return picture;
    picture.image = Image::filled(static_cast<int>(std::lround(area.width() * scale)),
                                  static_cast<int>(std::lround(area.height() * scale)), 0);
    Image& image = picture.image;

    cairo_surface_t* surface = cairo_image_surface_create_for_data(image.pixels.data(), CAIRO_FORMAT_ARGB32, image.width,
                                                                   image.height, image.stride);
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, scale, scale);
    cairo_translate(cr, -area.minX(), -area.minY());
    paintItems(cr, scene.desktop);
    for (const auto& entry : scene.stack) {
        if (const auto* window = std::get_if<SimScene::Window>(&entry)) {
            paintWindow(cr, *window, mode);
        } else {
            const auto& layer = std::get<SimExternalLayer>(entry);
            if (!layer.paint)
                continue;
            cairo_save(cr);
            cairo_rectangle(cr, area.minX(), area.minY(), area.width(), area.height());
            cairo_clip(cr);
            layer.paint(cr, area);
            cairo_restore(cr);
        }
    }
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);
    image.sourceDigest = image.digest();

    for (size_t i = 0; i < scene.stack.size(); ++i) {
        const auto* window = std::get_if<SimScene::Window>(&scene.stack[i]);
        if (!window)
            continue;
        std::vector<Rect> covers;
        for (size_t j = i + 1; j < scene.stack.size(); ++j)
            if (const auto* above = std::get_if<SimScene::Window>(&scene.stack[j]); above && above->frame.intersects(window->frame))
                covers.push_back(above->frame);
        collectLines(*window, covers, area, scale, picture.lines);
    }
    picture.lines = acrossThePicture(std::move(picture.lines));
    return picture;
}

} // namespace

std::optional<Picture> renderScreen(SimDesktop& desktop, size_t screenIndex, std::optional<double> scale)
{
    for (const SimExternalLayer& layer : desktop.externalLayers())
        if (layer.prepare)
            layer.prepare();
    const std::vector<SimExternalLayer> layers = desktop.externalLayers();
    struct Prepared {
        SimScene scene;
        Rect area;
        double scale = 1;
    };
    std::optional<Prepared> prepared = desktop.withModel([&](SimModel& model) -> std::optional<Prepared> {
        const std::vector<Rect> areas = SimSceneBuilder::screenAreas(model);
        if (screenIndex >= areas.size())
            return std::nullopt;
        const double s = scale.value_or(model.screens[screenIndex].backingScaleFactor);
        if (!drawable(areas[screenIndex], s))
            return std::nullopt;
        return Prepared { SimSceneBuilder::screen(model, layers), areas[screenIndex], s };
    });
    if (!prepared)
        return std::nullopt;
    Picture picture = paint(prepared->scene, prepared->area, prepared->scale, Mode::screen);
    desktop.recognitionTruth().remember(picture.image.sourceDigest, picture.lines);
    return picture;
}

std::optional<Picture> renderWindow(SimDesktop& desktop, uint32_t number, std::optional<double> scale)
{
    struct Prepared {
        SimScene scene;
        Rect area;
        double scale = 1;
    };
    std::optional<Prepared> prepared = desktop.withModel([&](SimModel& model) -> std::optional<Prepared> {
        std::optional<SimScene::Window> window = SimSceneBuilder::window(model, number);
        if (!window)
            return std::nullopt;
        const double s = scale.value_or(SimSceneBuilder::backingScale(model, window->frame));
        if (!drawable(window->frame, s))
            return std::nullopt;
        Prepared p;
        p.area = window->frame;
        p.scale = s;
        p.scene.stack.push_back(std::move(*window));
        return p;
    });
    if (!prepared)
        return std::nullopt;
    Picture picture = paint(prepared->scene, prepared->area, prepared->scale, Mode::capture);
    desktop.recognitionTruth().remember(picture.image.sourceDigest, picture.lines);
    return picture;
}

} // namespace lorvantine::SimRenderer
