#pragma once

#include "Platform/AXTypes.h"

#include <optional>

namespace lorvantine {

// The search for the scroll-bar value that shows the page holding one character of a Pages
// document: a first guess from the page number, then halving the interval by what each look at
// the view shows. A plain value; the caller moves the bar to `mid` and reports what it saw.
struct PagesBisection {
    // A visible range shorter than this is no page: a transition between two is on screen.
    static constexpr int64_t minimumVisibleLength = 3;

    double lo = 0;
    double hi = 1;
    double mid = 0;
    // Where the character lies in the document, 0...1: the guide while no page can be read.
    double fraction = 0;
    int nco = 0;

    // The first guess: the page number over the number of page steps, clamped to 0...1.
    static PagesBisection start(int nco, int charsPerPage, int total);
    // After a look: the visible range of the page in view, or none during a page transition.
    // Moves `mid` to the middle of the narrowed interval.
    void narrow(const std::optional<AXRange>& visible);
    // The interval is too narrow to move on.
    bool isSettled() const { return hi - lo < 0.005; }
};

} // namespace lorvantine
