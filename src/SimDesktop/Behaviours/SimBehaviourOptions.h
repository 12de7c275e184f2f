#pragma once

#include "Platform/Dispatch/Clock.h"
#include "SimDesktop/Model/SimKeyScrolling.h"
#include "SimDesktop/Model/SimPaging.h"

#include <optional>

namespace lorvantine {

// Which of the shared reactions an application of the desktop has, and how each is set up
// (the fixture's "behaviours"). A plain record.
struct SimBehaviourOptions {
    // Clicks, double and triple clicks and drags in its windows bring it to the front, focus the
    // text under the pointer and select in it.
    bool selectsText = false;

    // Keys typed while it has the keys put their text in its focused text.
    bool typesText = false;

    // Command+C: clear the pasteboard and write the focused text's selection to it.
    struct Copy {
        enum class Content { selection, image };
        Duration delay {};          // from the key press to the clear, on the installed clock
        Duration pause {};          // from the clear to the write
        bool ignoresShortcut = false;
        Content content = Content::selection; // `image`: something that is not text
        friend bool operator==(const Copy&, const Copy&) = default;
    };
    std::optional<Copy> copy;

    // A paged reader (Kindle, Books): how its pages turn.
    std::optional<SimPaging> paging;

    // A document that Page Down scrolls (a word processor).
    std::optional<SimKeyScrolling> scrolling;

    friend bool operator==(const SimBehaviourOptions&, const SimBehaviourOptions&) = default;
};

} // namespace lorvantine
