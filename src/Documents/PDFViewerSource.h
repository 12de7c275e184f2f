#pragma once

#include "Accessibility/ArticleParagraph.h"
#include "Documents/DocumentSession.h"
#include "Platform/AXTypes.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lorvantine {

// What the PDF viewer sources (Preview, PDFgear) share: each static text of the document is one
// paragraph, and the two differ only in where they look and which texts they take for noise.
// Stateless; every function runs on the caller's thread and blocks on accessibility reads.
namespace PDFViewerSource {

// The title up to the first " – " (space, en dash, space); a title without one stays whole.
std::string titleBeforeEditMark(const std::string& title);

// Appends `element` as the next paragraph when it has a non-empty value and a position and size.
void appendTextParagraph(const AXElement& element, std::vector<ArticleParagraph>& paragraphs);

// The paragraphs `keep` accepts, ordered top to bottom (equal tops keep their order) and numbered
// from 0; none when nothing is left.
std::shared_ptr<DocumentSession> session(std::string title, const AXElement& window,
                                         std::vector<ArticleParagraph> paragraphs,
                                         const std::function<bool(const ArticleParagraph&)>& keep);

} // namespace PDFViewerSource
} // namespace lorvantine
