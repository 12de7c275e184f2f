#pragma once

#include "Accessibility/ArticleParagraph.h"
#include "Core/SubHighlightUnit.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace lorvantine {

// The screen rectangles of every highlight unit of a segment, computed at once, ahead of the
// ticks that show them: from the paragraph's recognised word boxes, or by measuring the units in
// the paragraph's accessibility element. Stateless; the computation blocks on the other
// application, so it runs on a global queue, and its one result goes back to the main thread.
namespace SubRectPrecomputation {

// Everything one computation reads, copied on the main thread when the units are rebuilt, so
// that a new page or a new segment there cannot change what a running computation sees.
struct Request {
    int paraIdx = 0;
    // The paragraph at `paraIdx`; none when the index lay outside the session's list.
    std::optional<ArticleParagraph> paragraph;
    std::vector<SubHighlightUnit> units;
    // `SubHighlightState::unitsGeneration` of the units; handed back with the result.
    uint64_t generation = 0;
};

struct Publication {
    enum class Form {
        // The paragraph was skipped: no sub-highlight for it.
        empty,
        // From recognised word boxes; the overlay's sub-highlight delta is left alone.
        recognisedWords,
        // Measured through accessibility; the overlay's sub-highlight delta goes back to (0, 0).
        accessibility,
    };
    Form form = Form::empty;
    SubRectTable table;
    uint64_t generation = 0;
};

// Computes the table for the request's units, writing its diagnostic lines. None when nothing
// is to be published (the element's position or size could not be read). Any thread; every
// measurement is a synchronous call into the other application, so the session keeps it off
// the main thread (`schedule`).
std::optional<Publication> precomputeSubRects(const Request& request);

// Runs `precomputeSubRects` on a global queue of user-initiated quality of service and hands its
// result to `onPublish` on the main queue (nothing is posted when there is no result). The
// callback decides whether the result still applies (`SubHighlightMapper::acceptPublication`);
// it should hold its owner weakly.
void schedule(Request request, std::function<void(Publication)> onPublish);

} // namespace SubRectPrecomputation
} // namespace lorvantine
