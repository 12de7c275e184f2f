#include "SimDesktop/SimPango.h"

#include <cmath>

namespace lorvantine::SimPango {

PangoContext* newContext()
{
    PangoFontMap* map = pango_cairo_font_map_new();
    PangoContext* context = pango_font_map_create_context(map);
    g_object_unref(map);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    pango_cairo_context_set_font_options(context, options);
    cairo_font_options_destroy(options);
    pango_cairo_context_set_resolution(context, 72);
    pango_context_set_round_glyph_positions(context, FALSE);
    return context;
}

PangoFontDescription* newFontDescription(const std::string& family, double size, PangoWeight weight)
{
    PangoFontDescription* description = pango_font_description_new();
    const std::string families = family + ",WenQuanYi Zen Hei";
    pango_font_description_set_family(description, families.c_str());
    pango_font_description_set_absolute_size(description, size * PANGO_SCALE);
    pango_font_description_set_weight(description, weight);
    return description;
}

PangoFontDescription* newFontDescription(const SimFont& font)
{
    return newFontDescription(font.family, font.size,
                              font.weight == SimFont::Weight::bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
}

PangoLayout* newLayout(PangoContext* context, const PangoFontDescription* font, std::string_view text, double width)
{
    PangoLayout* layout = pango_layout_new(context);
    pango_layout_set_font_description(layout, font);
    pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
    if (width > 0) {
        pango_layout_set_width(layout, static_cast<int>(std::lround(width * PANGO_SCALE)));
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    }
    return layout;
}

void forEachParagraph(std::string_view text, const std::function<void(size_t begin, size_t length)>& body)
{
    size_t begin = 0;
    while (true) {
        const size_t newline = text.find('\n', begin);
        const size_t end = newline == std::string_view::npos ? text.size() : newline;
        size_t length = end - begin;
        if (length > 0 && text[end - 1] == '\r' && newline != std::string_view::npos)
            --length;
        body(begin, length);
        if (newline == std::string_view::npos)
            return;
        begin = newline + 1;
    }
}

} // namespace lorvantine::SimPango
