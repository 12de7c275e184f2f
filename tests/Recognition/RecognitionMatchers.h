#pragma once

#include "Documents/RecognizedWord.h"
#include "Platform/Geometry.h"

#include <gmock/gmock.h>

#include <ostream>

namespace lorvantine {

inline std::ostream& operator<<(std::ostream& out, const Rect& r)
{
    return out << "(" << r.origin.x << ", " << r.origin.y << ", " << r.size.width << " x " << r.size.height << ")";
}

inline std::ostream& operator<<(std::ostream& out, const RecognizedWord& word)
{
    return out << "\"" << word.text << "\" " << word.screenRect;
}

namespace testing {

inline RecognizedWord word(const std::string& text, double x, double y, double width = 60, double height = 20)
{
    return {text, Rect(x, y, width, height)};
}

MATCHER_P2(RectNear, expected, tolerance, "")
{
    const Rect& r = arg;
    return std::fabs(r.minX() - expected.minX()) <= tolerance && std::fabs(r.minY() - expected.minY()) <= tolerance
        && std::fabs(r.maxX() - expected.maxX()) <= tolerance && std::fabs(r.maxY() - expected.maxY()) <= tolerance;
}

MATCHER_P(WordNear, expected, "")
{
    const RecognizedWord& w = arg;
    return w.text == expected.text && std::fabs(w.screenRect.minX() - expected.screenRect.minX()) < 1e-6
        && std::fabs(w.screenRect.minY() - expected.screenRect.minY()) < 1e-6
        && std::fabs(w.screenRect.width() - expected.screenRect.width()) < 1e-6
        && std::fabs(w.screenRect.height() - expected.screenRect.height()) < 1e-6;
}

// The texts of `words`, in order.
inline std::vector<std::string> textsOf(const std::vector<RecognizedWord>& words)
{
    std::vector<std::string> texts;
    for (const RecognizedWord& w : words)
        texts.push_back(w.text);
    return texts;
}

} // namespace testing
} // namespace lorvantine
