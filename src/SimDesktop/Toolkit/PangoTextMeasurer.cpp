#include "SimDesktop/Toolkit/PangoTextMeasurer.h"

#include "SimDesktop/Text/SimPango.h"
#include "SimDesktop/Toolkit/PangoTextLayout.h"

#include <cmath>

namespace lorvantine {

namespace {

PangoContext* measuringContext()
{
    static PangoContext* context = SimPango::newContext();
    return context;
}

PangoWeight pangoWeight(Font::Weight weight)
{
    switch (weight) {
    case Font::Weight::ultraLight: return PANGO_WEIGHT_ULTRALIGHT;
    case Font::Weight::thin: return PANGO_WEIGHT_THIN;
    case Font::Weight::light: return PANGO_WEIGHT_LIGHT;
    case Font::Weight::regular: return PANGO_WEIGHT_NORMAL;
    case Font::Weight::medium: return PANGO_WEIGHT_MEDIUM;
    case Font::Weight::semibold: return PANGO_WEIGHT_SEMIBOLD;
    case Font::Weight::bold: return PANGO_WEIGHT_BOLD;
    case Font::Weight::heavy: return PANGO_WEIGHT_HEAVY;
    case Font::Weight::black: return PANGO_WEIGHT_ULTRAHEAVY;
    }
    return PANGO_WEIGHT_NORMAL;
}

} // namespace

std::mutex& PangoTextMeasurer::mutex()
{
    static std::mutex m;
    return m;
}

PangoLayout* PangoTextMeasurer::createLayout(const std::string& text, const Font& font, std::optional<double> width,
                                             LineBreakMode lineBreak)
{
    PangoLayout* layout = pango_layout_new(measuringContext());
    PangoFontDescription* description = SimPango::newFontDescription(font.family, font.size, pangoWeight(font.weight));
    pango_layout_set_font_description(layout, description);
    pango_font_description_free(description);
    if (font.monospacedDigits) {
        PangoAttrList* attributes = pango_attr_list_new();
        pango_attr_list_insert(attributes, pango_attr_font_features_new("tnum=1"));
        pango_layout_set_attributes(layout, attributes);
        pango_attr_list_unref(attributes);
    }
    pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
    if (width && *width > 0 && lineBreak != LineBreakMode::clipping) {
        pango_layout_set_width(layout, static_cast<int>(std::lround(*width * PANGO_SCALE)));
        if (lineBreak == LineBreakMode::wordWrapping)
            pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
        else
            pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    }
    return layout;
}

Size PangoTextMeasurer::size(const std::string& text, const Font& font, std::optional<double> maxWidth) const
{
    std::lock_guard lock(mutex());
    PangoLayout* layout = createLayout(text, font, maxWidth, maxWidth ? LineBreakMode::wordWrapping : LineBreakMode::clipping);
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    g_object_unref(layout);
    return { logical.width / double(PANGO_SCALE), logical.height / double(PANGO_SCALE) };
}

std::shared_ptr<const TextLayout> PangoTextMeasurer::makeLayout(const TextLayout::Parameters& parameters) const
{
    std::lock_guard lock(mutex());
    return std::make_shared<const PangoTextLayout>(parameters);
}

double PangoTextMeasurer::lineHeight(const Font& font) const { return size("", font).height; }

} // namespace lorvantine
