#pragma once

#include "Platform/Toolkit/Color.h"
#include "Platform/Toolkit/TextLayout.h"

#include <pango/pangocairo.h>

#include <memory>
#include <mutex>
#include <optional>

namespace lorvantine {

// A text laid out by Pango in PangoTextMeasurer's context, kept for drawing again: Pango keeps its
// lines shaped until the layout goes. Made, drawn and released holding
// `PangoTextMeasurer::mutex()` (the context is shared); any thread.
class PangoTextLayout final : public TextLayout {
public:
    // With the mutex held.
    explicit PangoTextLayout(Parameters parameters);
    // Takes the mutex itself.
    ~PangoTextLayout() override;

    PangoLayout* layout() const { return m_layout; }
    // How far right the text starts in its rectangle: a clipping line is placed by its own width,
    // the others by Pango's alignment.
    double offsetX() const { return m_offsetX; }
    // Whether every drawn pixel lies within the width it was laid out for (no cut needed).
    bool fitsWidth() const { return m_fitsWidth; }
    // Where its glyphs draw, from the top left of its rectangle (y down).
    const Rect& inkRect() const { return m_ink; }
    // The text drawn in `color` from the top left of its rectangle (y down), as a recording to
    // paint where it goes: shaping and placing glyphs is done once per colour, not on every
    // redraw. The last colour asked for is kept. Takes the mutex itself.
    std::shared_ptr<cairo_surface_t> drawn(const Color& color) const;

private:
    PangoLayout* m_layout = nullptr;
    double m_offsetX = 0;
    bool m_fitsWidth = false;
    Rect m_ink;
    mutable std::mutex m_drawnMutex;
    mutable std::optional<Color> m_drawnColor;
    mutable std::shared_ptr<cairo_surface_t> m_drawn;
};

} // namespace lorvantine
