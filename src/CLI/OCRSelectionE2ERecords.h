#pragma once

#include "Platform/Geometry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine::OCRSelectionE2ERunner {

// What the recognition end-to-end runner finds and records: plain values.

// One numbered segment: where its START and END words lie on screen (top-left origin).
struct Sentinel {
    int64_t n = 0;
    Rect startRect;
    Rect endRect;
    friend bool operator==(const Sentinel&, const Sentinel&) = default;
};

// One sentinel word read on its own.
struct SentinelWord {
    enum class Kind { start, end };
    Kind kind = Kind::start;
    int64_t n = 0;
    friend bool operator==(const SentinelWord&, const SentinelWord&) = default;
};

// "drag", "bubble_shown", "bubble_press" or "overlay_shown".
struct Step {
    std::string name;
    bool pass = false;
    std::optional<std::string> reason;
};

struct Result {
    std::string app; // the editor's bundle identifier
    int64_t segment = 0;
    std::vector<Step> steps; // in running order; none after the first failure
    int64_t charsInClip = 0; // 0 when the log had no count
    std::optional<int64_t> firstPlayingMs; // bubble click to overlay; none without an overlay

    bool passed() const;
    // Whether the segment got as far as clicking the program's bubble.
    bool pressedBubble() const;
};

} // namespace lorvantine::OCRSelectionE2ERunner
