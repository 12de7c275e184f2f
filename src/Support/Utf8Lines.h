#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace lorvantine {

// A text cut at its line feeds, each line checked on its own: a byte that is not UTF-8 (a write
// cut short inside a character) costs its line, never the whole text. The lines are views into
// the text, which must outlive them.
struct Utf8Lines {
    // The well-formed lines in order, without their line feeds; an empty piece after a final
    // line feed included.
    std::vector<std::string_view> lines;
    // The numbers, counted from 1, of the lines left out.
    std::vector<size_t> skipped;

    static Utf8Lines split(std::string_view text);
};

} // namespace lorvantine
