#include "TestSupport/WordDocumentText.h"

#include "Support/Text.h"

namespace lorvantine {

namespace {

void collect(const SimElement& element, bool inPage, std::vector<std::string>& paragraphs, std::string& current)
{
    auto end = [&] {
        if (!current.empty())
            paragraphs.push_back(std::move(current));
        current.clear();
    };
    const bool page = element.imageOnly;
    if (page)
        end();
    if (inPage || page) {
        if (element.text && !element.text->empty()) {
            current += (current.empty() ? "" : " ") + *element.text;
        } else if (!page && element.children.empty()) {
            end();
        }
    }
    for (const SimElement& child : element.children)
        collect(child, inPage || page, paragraphs, current);
    if (page)
        end();
}

} // namespace

std::vector<std::string> wordFixtureParagraphs(const SimFixture& fixture)
{
    std::vector<std::string> paragraphs;
    std::string current;
    for (const SimApplication& application : fixture.applications) {
        if (application.bundleIdentifier != "com.microsoft.Word")
            continue;
        for (const SimWindow& window : application.windows)
            for (const SimElement& element : window.children)
                collect(element, false, paragraphs, current);
    }
    if (!current.empty())
        paragraphs.push_back(current);
    return paragraphs;
}

std::vector<std::string> wordsOf(const std::vector<std::string>& texts)
{
    std::vector<std::string> words;
    for (const std::string& text : texts)
        for (std::string& word : Text::splitOnWhitespace(text))
            words.push_back(std::move(word));
    return words;
}

} // namespace lorvantine
