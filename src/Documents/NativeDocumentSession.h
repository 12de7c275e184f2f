#pragma once

#include "Accessibility/NativeDocumentParser.h"
#include "Documents/DocumentSession.h"

#include <string>
#include <vector>

namespace lorvantine {

// The session of documents read natively from their accessibility text (Notes, Pages): each
// paragraph keeps its element and its offset in the element's text, so the reading can ask for
// the bounds of any range of it. Created once by a source on its worker thread, then only read.
class NativeDocumentSession final : public DocumentSession {
public:
    // Reads the window's title now, to tell later whether another document took its place.
    NativeDocumentSession(std::string title, AXElement window,
                          const std::vector<NativeDocumentParser::MergedParagraph>& merged);
    // The same, taking the paragraphs' texts over (a long document's lines are not copied twice).
    NativeDocumentSession(std::string title, AXElement window, std::vector<NativeDocumentParser::MergedParagraph>&& merged);

    std::string title() const override { return m_title; }
    std::vector<ReadableParagraph> paragraphs() const override { return m_paragraphs; }
    AXElement windowElement() const override { return m_windowElement; }

    // Each paragraph's line map, at its paragraph's index.
    const std::vector<std::vector<NativeDocumentParser::LineMapping>>& lineMaps() const { return m_lineMaps; }
    // The window's "AXTitle" at creation; empty when it could not be read.
    const std::string& initialWindowTitle() const { return m_initialWindowTitle; }

private:
    std::string m_title;
    AXElement m_windowElement;
    std::vector<ReadableParagraph> m_paragraphs;
    std::vector<std::vector<NativeDocumentParser::LineMapping>> m_lineMaps;
    std::string m_initialWindowTitle;
};

} // namespace lorvantine
