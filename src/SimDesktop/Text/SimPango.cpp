#include "SimDesktop/Text/SimPango.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

namespace {

// Pango measures an item (a run of one font and script) in an int of 1/1024 points, about two
// million points: a longer item wraps round and then fits on any line. Long texts are cut into
// items far shorter than that, after a space where there is one; nothing else changes.
void cutIntoShortItems(PangoLayout* layout, std::string_view text, double pointSize)
{
    // Half an int of Pango units, allowing a generous eight ems for each byte.
    const double halfAnInt = std::numeric_limits<int>::max() / 2.0 / PANGO_SCALE;
    const auto limit = static_cast<size_t>(std::max(64.0, halfAnInt / (8 * std::max(pointSize, 1.0))));
    if (text.size() <= limit)
        return;
    PangoAttrList* items = pango_attr_list_new();
    for (size_t begin = 0; begin < text.size();) {
        size_t end = std::min(text.size(), begin + limit);
        if (end < text.size()) {
            const size_t from = begin + limit / 2;
            if (const size_t space = text.substr(from, end - from).rfind(' '); space != std::string_view::npos)
                end = from + space + 1;
            while (end > begin + 1 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
                --end;
        }
        // Falling back to other fonts is what Pango does anyway: the attribute only marks the cut.
        PangoAttribute* cut = pango_attr_fallback_new(TRUE);
        cut->start_index = static_cast<guint>(begin);
        cut->end_index = static_cast<guint>(end);
        pango_attr_list_insert(items, cut);
        begin = end;
    }
    pango_layout_set_attributes(layout, items);
    pango_attr_list_unref(items);
}

} // namespace

PangoLayout* newLayout(PangoContext* context, const PangoFontDescription* font, std::string_view text, double width)
{
    PangoLayout* layout = pango_layout_new(context);
    pango_layout_set_font_description(layout, font);
    pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
    cutIntoShortItems(layout, text, static_cast<double>(pango_font_description_get_size(font)) / PANGO_SCALE);
    if (width > 0) {
        const double maxWidth = std::numeric_limits<int>::max() / double(PANGO_SCALE);
        pango_layout_set_width(layout, static_cast<int>(std::lround(std::min(width, maxWidth) * PANGO_SCALE)));
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
