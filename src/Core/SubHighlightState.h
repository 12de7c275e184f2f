#pragma once

#include "Core/SubHighlightUnit.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// What the reading session keeps between sub-highlight ticks. Owned and changed on the main
// thread only: the tick rebuilds it when the playing segment changes, a rectangle publication
// replaces `subRectCache`, and `reset` clears it when the reading stops.
struct SubHighlightState {
    // The units of the segment now playing.
    std::vector<SubHighlightUnit> currentSubUnits;
    // Unit position in `currentSubUnits` → its screen rectangles.
    SubRectTable subRectCache;
    // The key of the segment `currentSubUnits` was built for.
    std::optional<std::string> lastSubSegmentKey;
    // The reading generation that made that segment's audio. A voice change or a seek replays a
    // segment under the same key with audio, and word times, of its own.
    int lastSubSegmentGeneration = 0;
    // Advances with every rebuild and every reset. A rectangle computation carries the value it
    // was started under, so the result of a segment that is no longer playing is told apart
    // from the current one's even when both segments share a key.
    uint64_t unitsGeneration = 0;

    void reset()
    {
        currentSubUnits.clear();
        subRectCache.clear();
        lastSubSegmentKey.reset();
        ++unitsGeneration;
    }
};

} // namespace lorvantine
