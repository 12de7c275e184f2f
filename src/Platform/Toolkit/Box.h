#pragma once

#include "Platform/Toolkit/View.h"

namespace lorvantine {

// A box that groups or divides: the platform's box. Only the separator type is built, a line of
// the separator colour along the box's longer side (1 point across). Not an accessibility
// element. Main thread only.
class Box : public View {
public:
    // With the platform's values.
    enum class BoxType { primary = 0, separator = 2 };

    explicit Box(const Rect& frame = {}, BoxType type = BoxType::separator);

    BoxType boxType() const { return m_type; }
    void setBoxType(BoxType type);

    // The separator colour of the appearance in effect.
    Color separatorColor() const;

    void draw(Painter& painter, const Rect& dirtyRect) override;

private:
    BoxType m_type;
};

} // namespace lorvantine
