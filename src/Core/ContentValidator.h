#pragma once

#include "Accessibility/ArticleParagraph.h"
#include "Core/ContentReport.h"
#include "Platform/AXTypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lorvantine {

// Measures how completely and how cleanly an extraction captured a web page, against the text
// of the page's own accessibility tree, by sets of 20-Character windows. Stateless: prints
// nothing, keeps nothing. The ground truth reads accessibility, so it runs on the main thread;
// `validate` is pure and runs on any thread.
namespace ContentValidator {

// The texts of every static text and heading below the window's web area, in tree order, joined
// with line feeds, and how many there are. None without a web area or without text.
std::optional<std::pair<std::string, int64_t>> fetchGroundTruth(const AXElement& window);

// Compares the extracted paragraphs with the ground truth, whitespace and line breaks ignored.
ContentReport validate(const std::vector<ArticleParagraph>& extracted, std::string_view groundTruth,
                       int64_t gtNodeCount);

} // namespace ContentValidator
} // namespace lorvantine
