#pragma once

#include "Accessibility/ArticleParagraph.h"
#include "Accessibility/ScrollPosition.h"

#include <optional>
#include <vector>

namespace lorvantine {

// How far a reading has come through a document that shows one screen at a time and is moved on
// by key presses (Word and Page Down): the lowest line handed out so far, and the paragraph the
// screen's foot may have cut off, held back until a screen shows how it goes on. Everything is
// kept in document points (y from the document's top, see ScrollPosition), so what is new on a
// screen is decided by where its lines stand, whatever the press moved and whatever the text says.
//
// A plain value, used by one thread at a time: the scrolling task works on its copy and hands it
// back with the screen it read.
class ScreenTrail {
public:
    // Whether a screen has been taken in.
    bool hasStarted() const { return m_contentTop.has_value(); }
    // Whether the document stands at `position` as it stood for the last screen (a press moved nothing).
    bool isAt(const ScrollPosition& position) const;
    bool isHolding() const { return m_held.has_value(); }

    // Takes in one screen: `screen` as read (screen points) with the document at `position`.
    // Answers in document points, in reading order, what it adds to what was handed out before:
    // - paragraphs whose lines were not handed out before, whole;
    // - the rest of a paragraph handed out in part (its lines below the last line handed out);
    // - the held paragraph: whole from this screen when the screen shows where it starts, else
    //   joined to the lines that go on from it, else as it was (it ended at the last screen's foot).
    // Then the lowest paragraph is held back instead when it reaches so near the foot of the
    // scroll area that a line of it may be hidden below. On the first screen every line is new.
    std::vector<ArticleParagraph> advance(const std::vector<ArticleParagraph>& screen, const ScrollPosition& position);
    // The held paragraph (document points), given up: the document ends, nothing more of it shows.
    std::optional<ArticleParagraph> release();
    // How many paragraphs of the last screen taken in had been handed out before.
    int lastRepeats() const { return m_lastRepeats; }

    // `paragraphs` (document points) where they stand on screen with the document at `position`.
    // A paragraph wholly outside the scroll area has no place (see `withoutPlace`), its empty
    // frame standing at the edge of the area it left by, so that it still tells the screen; the words of
    // one partly outside keep their boxes only where they are in it (the others shrink to no
    // height), and its frame is the union of those.
    static std::vector<ArticleParagraph> placed(std::vector<ArticleParagraph> paragraphs, const ScrollPosition& position);
    // A paragraph whose place on screen is not known: an empty frame and no word boxes, so that it
    // gets no mark rather than one over other text.
    static ArticleParagraph withoutPlace(ArticleParagraph paragraph);

private:
    std::optional<double> m_contentTop;
    std::optional<double> m_handedBottom;
    std::optional<ArticleParagraph> m_held;
    int m_lastRepeats = 0;
};

} // namespace lorvantine
