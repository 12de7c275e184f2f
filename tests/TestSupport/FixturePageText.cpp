#include "TestSupport/FixturePageText.h"

#include "Support/Text.h"

#include <utility>

namespace lorvantine {

namespace {

const SimElement* find(const std::vector<SimElement>& elements, const std::string& name)
{
    for (const SimElement& element : elements) {
        if (element.name == name)
            return &element;
        if (const SimElement* found = find(element.children, name))
            return found;
    }
    return nullptr;
}

void collect(const SimElement& element, std::string& words)
{
    if (element.text)
        for (const std::string& word : Text::splitOnWhitespace(*element.text))
            words += (words.empty() ? "" : " ") + word;
    for (const SimElement& child : element.children)
        collect(child, words);
}

bool isWide(const std::string& character) { return Text::scalars(character).front() >= 0x2E80; }

} // namespace

std::vector<std::string> fixturePageTexts(const SimFixture& fixture, const std::string& book)
{
    const SimElement* pages = nullptr;
    for (const SimApplication& application : fixture.applications)
        for (const SimWindow& window : application.windows)
            if (!pages)
                pages = find(window.children, book);
    std::vector<std::string> texts;
    for (const SimElement& page : pages ? pages->children : std::vector<SimElement> {}) {
        std::string words;
        collect(page, words);
        if (!words.empty())
            texts.push_back(words);
    }
    return texts;
}

std::vector<std::string> heardUnitsOf(const std::vector<std::string>& texts)
{
    std::vector<std::string> units;
    for (const std::string& text : texts) {
        for (const std::string& word : Text::splitOnWhitespace(text)) {
            std::string narrow;
            for (const std::string& character : Text::characters(word)) {
                if (!isWide(character)) {
                    narrow += character;
                    continue;
                }
                if (!narrow.empty())
                    units.push_back(std::exchange(narrow, std::string()));
                units.push_back(character);
            }
            if (!narrow.empty())
                units.push_back(narrow);
        }
    }
    return units;
}

std::string heardTextOf(const std::vector<std::string>& texts)
{
    std::string text;
    for (const std::string& unit : heardUnitsOf(texts))
        text += (text.empty() ? "" : " ") + unit;
    return text;
}

} // namespace lorvantine
