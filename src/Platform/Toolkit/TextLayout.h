#pragma once

#include "Platform/Toolkit/Font.h"
#include "Platform/Toolkit/Painter.h"

#include <string>

namespace lorvantine {

// A text laid out once to be drawn many times, as `TextMeasurer::makeLayout` made it for one text,
// font, width, alignment and line break. A view that draws the same text frame after frame keeps
// one and asks for another only when what it was made for changes; shaping text is the costly
// part of drawing it. Backends subclass it to hold their own layout. Immutable once made.
class TextLayout {
public:
    struct Parameters {
        std::string text;
        Font font;
        double width = 0;
        TextAlignment alignment = TextAlignment::left;
        LineBreakMode lineBreak = LineBreakMode::truncatingTail;
        friend bool operator==(const Parameters&, const Parameters&) = default;
    };

    explicit TextLayout(Parameters parameters) : m_parameters(std::move(parameters)) { }
    virtual ~TextLayout() = default;
    TextLayout(const TextLayout&) = delete;
    TextLayout& operator=(const TextLayout&) = delete;

    const Parameters& parameters() const { return m_parameters; }
    bool isLayoutOf(const Parameters& parameters) const { return parameters == m_parameters; }

private:
    Parameters m_parameters;
};

} // namespace lorvantine
