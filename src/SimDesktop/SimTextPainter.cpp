#include "SimDesktop/SimTextPainter.h"

#include "Support/Text.h"

#include <pango/pangocairo.h>

#include <cmath>
#include <mutex>

namespace lorvantine::SimTextPainter {

namespace {

std::mutex s_mutex;

// The settings SimTextLayout measures with: 72 dots per inch, unhinted metrics and outlines,
// unrounded glyph positions.
PangoContext* context()
{
    static PangoContext* c = [] {
        PangoFontMap* map = pango_cairo_font_map_new();
        PangoContext* made = pango_font_map_create_context(map);
        g_object_unref(map);
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
        pango_cairo_context_set_font_options(made, options);
        cairo_font_options_destroy(options);
        pango_cairo_context_set_resolution(made, 72);
        pango_context_set_round_glyph_positions(made, FALSE);
        return made;
    }();
    return c;
}

void setColour(cairo_t* cr, uint32_t argb)
{
    cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0, (argb & 0xFF) / 255.0,
                          ((argb >> 24) & 0xFF) / 255.0);
}

guint16 channel16(uint32_t argb, int shift) { return static_cast<guint16>(((argb >> shift) & 0xFF) * 257); }

} // namespace

void paint(cairo_t* cr, const SimScene::Text& text)
{
    if (!text.layout)
        return;
    const SimTextLayout& layout = *text.layout;
    const std::string& all = layout.text();
    const SimFont& font = layout.font();

    struct ByteSpan {
        size_t begin;
        size_t end;
        uint32_t colour;
    };
    std::vector<ByteSpan> spans;
    for (const auto& span : text.spans) {
        if (span.range.location < 0 || span.range.length <= 0)
            continue;
        const auto begin = static_cast<size_t>(span.range.location);
        const size_t end = begin + static_cast<size_t>(span.range.length);
        spans.push_back({ Text::byteOffsetFromUtf16Offset(all, begin), Text::byteOffsetFromUtf16Offset(all, end), span.colour });
    }

    std::lock_guard lock(s_mutex);
    PangoFontDescription* description = pango_font_description_new();
    const std::string families = font.family + ",WenQuanYi Zen Hei";
    pango_font_description_set_family(description, families.c_str());
    pango_font_description_set_absolute_size(description, font.size * PANGO_SCALE);
    pango_font_description_set_weight(description,
                                      font.weight == SimFont::Weight::bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    cairo_save(cr);
    setColour(cr, text.colour);
    int top = 0;
    size_t begin = 0;
    while (true) {
        const size_t newline = all.find('\n', begin);
        const size_t end = newline == std::string::npos ? all.size() : newline;
        size_t length = end - begin;
        if (length > 0 && all[end - 1] == '\r' && newline != std::string::npos)
            --length;

        PangoLayout* paragraph = pango_layout_new(context());
        pango_layout_set_font_description(paragraph, description);
        pango_layout_set_text(paragraph, all.data() + begin, static_cast<int>(length));
        if (layout.width() > 0) {
            pango_layout_set_width(paragraph, static_cast<int>(std::lround(layout.width() * PANGO_SCALE)));
            pango_layout_set_wrap(paragraph, PANGO_WRAP_WORD_CHAR);
        }
        if (!spans.empty()) {
            PangoAttrList* attributes = pango_attr_list_new();
            for (const auto& span : spans) {
                const size_t from = std::max(span.begin, begin), to = std::min(span.end, begin + length);
                if (from >= to)
                    continue;
                PangoAttribute* colour = pango_attr_foreground_new(channel16(span.colour, 16), channel16(span.colour, 8),
                                                                   channel16(span.colour, 0));
                colour->start_index = static_cast<guint>(from - begin);
                colour->end_index = static_cast<guint>(to - begin);
                pango_attr_list_insert(attributes, colour);
            }
            pango_layout_set_attributes(paragraph, attributes);
            pango_attr_list_unref(attributes);
        }
        cairo_move_to(cr, text.origin.x, text.origin.y + static_cast<double>(top) / PANGO_SCALE);
        pango_cairo_show_layout(cr, paragraph);

        PangoRectangle logical;
        pango_layout_get_extents(paragraph, nullptr, &logical);
        top += logical.height;
        g_object_unref(paragraph);
        if (newline == std::string::npos)
            break;
        begin = newline + 1;
    }
    cairo_restore(cr);
    pango_font_description_free(description);
}

} // namespace lorvantine::SimTextPainter
