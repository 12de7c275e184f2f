#include "SimDesktop/Rendering/SimTextPainter.h"

#include "SimDesktop/Text/SimPango.h"
#include "Support/Text.h"

#include <algorithm>
#include <mutex>

namespace lorvantine::SimTextPainter {

namespace {

std::mutex s_mutex;

PangoContext* context()
{
    static PangoContext* c = SimPango::newContext();
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
    PangoFontDescription* description = SimPango::newFontDescription(font);
    cairo_save(cr);
    setColour(cr, text.colour);
    int64_t top = 0;
    SimPango::forEachParagraph(all, [&](size_t begin, size_t length) {
        PangoLayout* paragraph
            = SimPango::newLayout(context(), description, { all.data() + begin, length }, layout.width());
        if (!spans.empty()) {
            PangoAttrList* existing = pango_layout_get_attributes(paragraph);
            PangoAttrList* attributes = existing ? pango_attr_list_copy(existing) : pango_attr_list_new();
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
    });
    cairo_restore(cr);
    pango_font_description_free(description);
}

} // namespace lorvantine::SimTextPainter
