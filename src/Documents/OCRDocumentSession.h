#pragma once

#include "Documents/DocumentSession.h"
#include "Platform/Geometry.h"

#include <string>
#include <vector>

namespace lorvantine {

// The session of a document read from a window picture (Word; Pages when its text is too
// thin). Besides the three session members it keeps the rectangle that was recognised and how
// the window stood when it was read.
class OCRDocumentSession final : public DocumentSession {
public:
    // Reads the window's position, size and title now; a position or size that cannot be read is
    // taken from `contentRect`, a missing title is the empty string.
    OCRDocumentSession(std::string title, AXElement window, std::vector<ReadableParagraph> paragraphs, Rect contentRect);

    std::string title() const override { return m_title; }
    std::vector<ReadableParagraph> paragraphs() const override { return m_paragraphs; }
    AXElement windowElement() const override { return m_windowElement; }

    const Rect& contentRect() const { return m_contentRect; }
    Point initialWindowOrigin() const { return m_initialWindowOrigin; }
    Size initialWindowSize() const { return m_initialWindowSize; }
    const std::string& initialWindowTitle() const { return m_initialWindowTitle; }

private:
    std::string m_title;
    AXElement m_windowElement;
    std::vector<ReadableParagraph> m_paragraphs;
    Rect m_contentRect;
    Point m_initialWindowOrigin;
    Size m_initialWindowSize;
    std::string m_initialWindowTitle;
};

} // namespace lorvantine
