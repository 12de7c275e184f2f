#pragma once

#include "Platform/Toolkit/Painter.h"
#include "Platform/Toolkit/TextMeasurer.h"

#include <pango/pangocairo.h>

#include <mutex>
#include <optional>
#include <string>

namespace lorvantine {

// Measures text with Pango, exactly as CairoPainter lays it out: one shared Pango context at 72
// dots per inch with unhinted metrics, DejaVu Sans with WenQuanYi Zen Hei for CJK. Any thread.
class PangoTextMeasurer final : public TextMeasurer {
public:
    Size size(const std::string& text, const Font& font, std::optional<double> maxWidth = std::nullopt) const override;
    double lineHeight(const Font& font) const override;
    std::shared_ptr<const TextLayout> makeLayout(const TextLayout::Parameters& parameters) const override;

    // A new layout of `text` (the caller unrefs it), `width` wide when given: wrapped with
    // `wordWrapping`, ellipsized with `truncatingTail`. Hold `mutex()` while making and using it.
    static PangoLayout* createLayout(const std::string& text, const Font& font, std::optional<double> width,
                                     LineBreakMode lineBreak);
    static std::mutex& mutex();
};

} // namespace lorvantine
