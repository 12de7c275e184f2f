#pragma once

#include "Platform/Toolkit/Button.h"

namespace lorvantine {

// A button of the mini player: a single click acts while another application is active.
class MiniPlayerButton final : public Button {
public:
    using Button::Button;
    bool acceptsFirstMouse(const MouseEvent&) const override { return true; }
};

} // namespace lorvantine
