#pragma once

#include "Platform/Backends/DesktopTruthRecognizer.h"
#include "Platform/Geometry.h"
#include "Platform/Image.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace lorvantine {

class SimDesktop;

// Pictures of the simulated desktop, drawn with Cairo from the model that answers the
// accessibility queries: every text is drawn from the layout behind its AXBoundsForRange.
//
// Each picture drawn through a desktop is remembered in its SimRecognitionTruth with the text it
// shows, so that the desktop-truth recogniser can read it (or any crop of it) back.
namespace SimRenderer {

struct Picture {
    Image image;      // opaque for a screen; `sourceDigest` is its own digest
    Rect area;        // the global points it shows
    double scale = 1; // pixels per point
    // Every line of text drawn and not covered, left to right word by word, boxes in pixels of
    // `image` (top-left origin); in the order a line-oriented engine reports them, top to bottom
    // across the whole picture, lines that stand level left to right.
    std::vector<DesktopTruthRecognizer::Line> lines;
};

// Pictures larger than this on either side are not drawn.
inline constexpr int maximumPixels = 16384;

// The screen `screenIndex` (0: the primary one) as it looks: desktop picture, the windows on
// screen back to front with their shadows, the menu bar and the external layers by level. At the
// screen's backing scale unless `scale` is given. None when there is no such screen.
std::optional<Picture> renderScreen(SimDesktop& desktop, size_t screenIndex = 0, std::optional<double> scale = {});

// One window alone, as the capture tool takes it without shadow: only its own pixels, clear
// outside its rounded corners, whatever covers it on screen, opaque whatever its alpha. At the
// backing scale of the screen it is on unless `scale` is given. None for an unknown window, a
// minimized one, one of a hidden application, or one too large to draw.
std::optional<Picture> renderWindow(SimDesktop& desktop, uint32_t number, std::optional<double> scale = {});

} // namespace SimRenderer
} // namespace lorvantine
