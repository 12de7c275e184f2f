#include "Documents/SelectionOCRBuilder.h"

#include "Support/Files.h"
#include "Support/Log.h"

#include <cairo.h>

#include <algorithm>
#include <memory>

namespace lorvantine::SelectionOCRBuilder {

namespace {

constexpr double kPixelsPerPoint = 2;
constexpr double kMargin = 20;

cairo_status_t appendPNGBytes(void* closure, const unsigned char* data, unsigned int length)
{
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

struct Bounds {
    double x0, y0, x1, y1;
    void add(const Rect& r)
    {
        x0 = std::min(x0, r.minX());
        y0 = std::min(y0, r.minY());
        x1 = std::max(x1, r.maxX());
        y1 = std::max(y1, r.maxY());
    }
};

} // namespace

void writeDebugOverlay(const std::vector<RecognizedWord>& words, const std::vector<OCRWordEntry>& entries, const std::string& path)
{
    if (words.empty() && entries.empty())
        return;
    const Rect& first = words.empty() ? entries.front().screenRect : words.front().screenRect;
    Bounds bounds { first.minX(), first.minY(), first.maxX(), first.maxY() };
    for (const RecognizedWord& w : words)
        bounds.add(w.screenRect);
    for (const OCRWordEntry& e : entries)
        bounds.add(e.screenRect);
    const Rect area(bounds.x0 - kMargin, bounds.y0 - kMargin, bounds.x1 - bounds.x0 + 2 * kMargin,
                    bounds.y1 - bounds.y0 + 2 * kMargin);
    if (!(area.width() > 0) || !(area.height() > 0))
        return;
    const double pixelWidth = kPixelsPerPoint * area.width();
    const double pixelHeight = kPixelsPerPoint * area.height();
    // Beyond what an image surface can hold (and beyond any screen) nothing is drawn.
    if (!(pixelWidth < 32768) || !(pixelHeight < 32768))
        return;
    const int width = static_cast<int>(pixelWidth);
    const int height = static_cast<int>(pixelHeight);
    if (width <= 0 || height <= 0)
        return;

    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height), cairo_surface_destroy);
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        return;
    std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cr(cairo_create(surface.get()), cairo_destroy);
    cairo_set_source_rgba(cr.get(), 1, 1, 1, 1);
    cairo_paint(cr.get());

    // Cairo's y axis points down like the boxes', so a box's top is its distance from the area's top.
    auto strokeBox = [&](const Rect& r) {
        cairo_rectangle(cr.get(), kPixelsPerPoint * (r.minX() - area.minX()), kPixelsPerPoint * (r.minY() - area.minY()),
                        kPixelsPerPoint * r.width(), kPixelsPerPoint * r.height());
        cairo_stroke(cr.get());
    };
    cairo_set_source_rgba(cr.get(), 0.6, 0.6, 0.6, 0.4);
    cairo_set_line_width(cr.get(), 1);
    for (const RecognizedWord& w : words)
        strokeBox(w.screenRect);
    cairo_set_source_rgba(cr.get(), 0.1, 0.7, 0.1, 1);
    cairo_set_line_width(cr.get(), 2);
    for (const OCRWordEntry& e : entries)
        strokeBox(e.screenRect);
    cr.reset();
    cairo_surface_flush(surface.get());

    std::string png;
    if (cairo_surface_write_to_png_stream(surface.get(), appendPNGBytes, &png) != CAIRO_STATUS_SUCCESS)
        return;
    if (!Files::writeNoFollow(path, png))
        return;
    Log::line("[SelectionOCR] 诊断 PNG: " + path);
}

} // namespace lorvantine::SelectionOCRBuilder
