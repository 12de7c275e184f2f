#pragma once

#include "SimDesktop/Model/SimFixture.h"

#include <string>
#include <vector>

namespace lorvantine {

// What a Word fixture's document says, read from the fixture itself (never from the program):
// the texts inside its image-only pages, in order. Lines that follow one another make one
// paragraph; space between them (a spacer, a picture) or a new page starts the next.
std::vector<std::string> wordFixtureParagraphs(const SimFixture& fixture);

// The words of `texts`, in order: what a listener hears of them.
std::vector<std::string> wordsOf(const std::vector<std::string>& texts);

} // namespace lorvantine
