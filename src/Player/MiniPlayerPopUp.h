#pragma once

#include "Platform/Toolkit/PopUpButton.h"

namespace lorvantine {

// A pop-up of the mini player: a single click opens it while another application is active.
class MiniPlayerPopUp final : public PopUpButton {
public:
    using PopUpButton::PopUpButton;
    bool acceptsFirstMouse(const MouseEvent&) const override { return true; }
};

} // namespace lorvantine
