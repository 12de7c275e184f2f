#pragma once

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <string>
#include <utility>

namespace lorvantine::test {

// A desktop whose front application is Safari showing a long web article: a title and `count`
// paragraphs of ordinary prose, each a group holding its text, as a web area lays them out.
inline nlohmann::json longArticle(int count)
{
    static const char* sentences[] = {
        "The lamp by the window had burned low, and the house was quiet but for the rain.",
        "She turned the page slowly, as if the words might change if she hurried them.",
        "Somewhere down the street a dog barked twice and then thought better of it.",
        "By morning the river had risen to the second step of the old stone landing.",
    };
    // Four paragraphs come round again and again: each is built once and copied, a tenth of the
    // time of building each anew in the unoptimised sanitizer build (12 s for 100,000).
    std::array<nlohmann::json, 4> shapes;
    for (size_t i = 0; i < shapes.size(); ++i) {
        const std::string text = std::string(sentences[i]) + " " + sentences[(i + 1) % 4];
        shapes[i] = { { "role", "AXGroup" }, { "children", { { { "role", "AXStaticText" }, { "text", text } } } } };
    }
    nlohmann::json paragraphs = nlohmann::json::array();
    auto& list = paragraphs.get_ref<nlohmann::json::array_t&>();
    list.reserve(static_cast<size_t>(std::max(count, 0)) + 1);
    list.push_back({ { "role", "AXHeading" }, { "children", { { { "role", "AXStaticText" }, { "text", "A Long Evening" } } } } });
    for (int i = 0; i < count; ++i)
        list.push_back(shapes[static_cast<size_t>(i) % shapes.size()]);
    nlohmann::json webArea = { { "role", "AXWebArea" }, { "description", "A Long Evening" },
                               { "attributes", { { "AXURL", { { "url", "https://example.com/long-evening" } } } } },
                               { "font", { { "family", "DejaVu Serif" }, { "size", 18 } } },
                               { "padding", 40 }, { "spacing", 24 }, { "children", std::move(paragraphs) } };
    nlohmann::json window = { { "number", 9201 }, { "title", "A Long Evening" }, { "frame", { 160, 30, 1100, 860 } }, { "main", true },
                              { "children", { { { "role", "AXScrollArea" }, { "frame", { 0, 52, 1100, 808 } }, { "children", { webArea } } } } } };
    return { { "screens", { { { "frame", { 0, 0, 1440, 900 } }, { "visibleFrame", { 0, 25, 1440, 850 } }, { "scale", 1 } } } },
             { "applications", { { { "pid", 521 }, { "bundleID", "com.apple.Safari" }, { "name", "Safari" }, { "active", true },
                                   { "windows", { window } } } } } };
}

} // namespace lorvantine::test
