#include "TestSupport/TextImageRenderer.h"

#include "Platform/Backends/RecognizedLineBuilder.h"
#include "SimDesktop/Text/SimPango.h"
#include "Support/Text.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace lorvantine::testing {

namespace {

std::mutex s_pangoMutex;

PangoContext* sharedContext()
{
    static PangoContext* context = SimPango::newContext();
    return context;
}

bool isDark(uint32_t argb)
{
    uint32_t r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
    return r + g + b < 3 * 160;
}

} // namespace

TextImageRenderer::Rendering TextImageRenderer::render(const std::string& text, const Options& options)
{
    std::lock_guard lock(s_pangoMutex);
    PangoFontDescription* font = SimPango::newFontDescription(options.family, options.fontSize);
    PangoLayout* layout = SimPango::newLayout(sharedContext(), font, text, options.wrapWidth);
    pango_font_description_free(font);

    int layoutWidth = 0, layoutHeight = 0;
    pango_layout_get_size(layout, &layoutWidth, &layoutHeight);
    double widthPoints = options.wrapWidth + 2 * options.margin;
    double heightPoints = static_cast<double>(layoutHeight) / PANGO_SCALE + 2 * options.margin;
    int pixelWidth = static_cast<int>(std::ceil(widthPoints * options.scale));
    int pixelHeight = static_cast<int>(std::ceil(heightPoints * options.scale));

    Rendering rendering;
    rendering.scale = options.scale;
    rendering.image = Image::filled(pixelWidth, pixelHeight, 0xFFFFFFFF);
    cairo_surface_t* surface = cairo_image_surface_create_for_data(rendering.image.pixels.data(), CAIRO_FORMAT_ARGB32,
                                                                   pixelWidth, pixelHeight, rendering.image.stride);
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, options.scale, options.scale);
    cairo_translate(cr, options.margin, options.margin);
    cairo_set_source_rgb(cr, 0, 0, 0);
    pango_cairo_show_layout(cr, layout);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);

    // Words, with their logical boxes from the layout.
    auto logicalBox = [&](size_t byte) {
        PangoRectangle r;
        pango_layout_index_to_pos(layout, static_cast<int>(byte), &r);
        double x = static_cast<double>(std::min(r.x, r.x + r.width)) / PANGO_SCALE;
        return Rect(x + options.margin, static_cast<double>(r.y) / PANGO_SCALE + options.margin,
                    std::fabs(static_cast<double>(r.width)) / PANGO_SCALE, static_cast<double>(r.height) / PANGO_SCALE);
    };
    Word current;
    auto flush = [&] {
        if (!current.text.empty())
            rendering.words.push_back(current);
        current = Word();
    };
    size_t byte = 0;
    for (const std::string& character : Text::characters(text)) {
        char32_t first = Text::scalars(character).front();
        if (Text::isWhitespaceCharacter(character)) {
            flush();
        } else {
            bool unspaced = RecognizedLineBuilder::isUnspacedScript(first);
            if (unspaced)
                flush();
            Rect box = logicalBox(byte);
            current.logical = current.text.empty() ? box : current.logical.united(box);
            current.text += character;
            if (unspaced)
                flush();
        }
        byte += character.size();
    }
    flush();
    g_object_unref(layout);

    // Ink boxes, from the dark pixels inside each logical box.
    const Image& image = rendering.image;
    for (Word& word : rendering.words) {
        int x0 = std::max(0, static_cast<int>(std::floor(word.logical.minX() * options.scale)));
        int y0 = std::max(0, static_cast<int>(std::floor(word.logical.minY() * options.scale)));
        int x1 = std::min(image.width, static_cast<int>(std::ceil(word.logical.maxX() * options.scale)));
        int y1 = std::min(image.height, static_cast<int>(std::ceil(word.logical.maxY() * options.scale)));
        int minX = x1, minY = y1, maxX = x0 - 1, maxY = y0 - 1;
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                if (!isDark(image.pixel(x, y)))
                    continue;
                minX = std::min(minX, x);
                minY = std::min(minY, y);
                maxX = std::max(maxX, x);
                maxY = std::max(maxY, y);
            }
        }
        if (maxX >= minX) {
            word.ink = Rect(minX / options.scale, minY / options.scale, (maxX + 1 - minX) / options.scale,
                            (maxY + 1 - minY) / options.scale);
        }
    }
    return rendering;
}

} // namespace lorvantine::testing
