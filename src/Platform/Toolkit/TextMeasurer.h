#pragma once

#include "Platform/Toolkit/Font.h"
#include "Platform/Toolkit/TextLayout.h"
#include "Platform/Geometry.h"

#include <memory>
#include <optional>
#include <string>

namespace lorvantine {

// Measures text exactly as the installed painter lays it out. Any thread.
class TextMeasurer {
public:
    virtual ~TextMeasurer() = default;

    // The size of `text` on one line, or wrapped at `maxWidth` when given. Line breaks in the
    // text always break. An empty text is one line high and 0 wide.
    virtual Size size(const std::string& text, const Font& font, std::optional<double> maxWidth = std::nullopt) const = 0;
    // The height of one line of `font`.
    virtual double lineHeight(const Font& font) const = 0;
    // A layout to draw `parameters` with, laid out as the painter lays out `Painter::drawText`.
    // Default: one that only holds them (the painter lays the text out as it draws it).
    virtual std::shared_ptr<const TextLayout> makeLayout(const TextLayout::Parameters& parameters) const;

    // The measurer that the toolkit backend installed; without one, a rough estimate from the
    // font size (0.6 em per character), so logic can run headless.
    static const TextMeasurer& current();
    // Installs `measurer` for the whole process and returns the previous one (null: the estimate).
    static std::shared_ptr<const TextMeasurer> install(std::shared_ptr<const TextMeasurer> measurer);
};

} // namespace lorvantine
