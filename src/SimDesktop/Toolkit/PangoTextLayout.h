#pragma once

#include "Platform/Toolkit/TextLayout.h"

#include <pango/pangocairo.h>

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

private:
    PangoLayout* m_layout = nullptr;
    double m_offsetX = 0;
};

} // namespace lorvantine
