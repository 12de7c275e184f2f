#pragma once

#include "SimDesktop/Model/SimFixture.h"

#include <string>
#include <vector>

namespace lorvantine {

// What a book's pages say, read from the fixture itself (never from the program): the element
// named `book` holds the pages side by side, and each page's texts, in the order it draws them
// (a table row by row, its cells left to right), are joined with one space between words. Pages
// without a word are left out.
std::vector<std::string> fixturePageTexts(const SimFixture& fixture, const std::string& book);

// What a listener hears of `texts`, unit by unit: words between white space, except that each
// Chinese or other full-width Character counts as one, so a text is compared Character by
// Character where it has no spaces.
std::vector<std::string> heardUnitsOf(const std::vector<std::string>& texts);
// The same units one space apart.
std::string heardTextOf(const std::vector<std::string>& texts);

} // namespace lorvantine
