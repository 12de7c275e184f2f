#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lorvantine {

// The text as the speech client sends it: every run of white space that holds a line feed
// becomes "。", then runs of "。" become one. The highlight maps the server's words back to the
// paragraph through the same function, so the two can never disagree.
namespace SpeechText {

struct Normalized {
    std::vector<std::string> characters;
    // mapping[i] is the Character offset in the input of normalised Character i; one last entry
    // holds the input's Character count.
    std::vector<int> mapping;

    std::string text() const;
};

Normalized normalize(const std::vector<std::string>& characters);
Normalized normalize(std::string_view text);

} // namespace SpeechText
} // namespace lorvantine
