#pragma once

#include "Accessibility/CapturedArticle.h"
#include "Platform/AXTypes.h"

#include <iostream>
#include <optional>
#include <string>

namespace lorvantine {

// Turns the web page in another application's window into paragraphs with screen geometry:
// headings, blocks of static text, text groups and the runs of text a tall page body holds loose
// between its blocks, in reading order, with a title.
//
// Stateless: every call reads the live accessibility tree afresh through AXReader, on the
// caller's thread, and blocks while the other application answers. Reads that fail count as
// absent values, so a broken or vanished tree gives an absent or empty result, never an error.
namespace ArticleParser {

// The window of the first application that has an article window. Without `bundleID` the
// applications tried are WeChat, Safari and Chrome, in that order. For WeChat a window titled
// with a page marker ("(Page:" or "(Page ") wins over one that merely holds a web area.
std::optional<AXElement> findArticleWindow(const std::optional<std::string>& bundleID);

// The description of the window's web area, when it has one that is not empty. A change of it
// tells that the window shows another article.
std::optional<std::string> currentArticleTitle(const AXElement& window);

// Reads the article of the window `findArticleWindow` finds. Absent when there is no such window
// or it holds no web area; a page without usable text gives a result with no paragraphs.
std::optional<CapturedArticle> captureArticle(const std::optional<std::string>& bundleID = std::nullopt);

// The diagnostic report of the article windows: their trees and what a capture makes of them.
void dumpArticleTree(std::ostream& out = std::cout);

} // namespace ArticleParser
} // namespace lorvantine
