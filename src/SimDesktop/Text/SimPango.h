#pragma once

#include "SimDesktop/Text/SimFont.h"

#include <pango/pangocairo.h>

#include <functional>
#include <string>
#include <string_view>

namespace lorvantine {

// The Pango settings shared by everything that lays out, measures or draws simulated text, so that
// what accessibility measures is exactly where the glyphs land, at any scale.
namespace SimPango {

// 72 dots per inch (a font size is in points), unhinted metrics and outlines, unrounded glyph
// positions: no position depends on the device. The caller owns it and uses it under its own lock.
PangoContext* newContext();

// `family`, then WenQuanYi Zen Hei for what it lacks (CJK); `size` in points. The caller frees it.
PangoFontDescription* newFontDescription(const std::string& family, double size,
                                         PangoWeight weight = PANGO_WEIGHT_NORMAL);
PangoFontDescription* newFontDescription(const SimFont& font);

// Wrapped at words (inside a word when it must) to `width` points; unwrapped when `width` <= 0.
// A long text comes with an attribute list already: add to it rather than replace it.
PangoLayout* newLayout(PangoContext* context, const PangoFontDescription* font, std::string_view text, double width);

// Each paragraph of `text` as a byte offset and length: the runs between line feeds, less a carriage
// return before the line feed. Text is laid out a paragraph at a time, so measuring and drawing must
// split it alike.
void forEachParagraph(std::string_view text, const std::function<void(size_t begin, size_t length)>& body);

} // namespace SimPango
} // namespace lorvantine
