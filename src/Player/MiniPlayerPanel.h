#pragma once

#include "Platform/Toolkit/Panel.h"

namespace lorvantine {

// The mini player's panel: it may become key, so its controls take clicks, but never main.
class MiniPlayerPanel final : public Panel {
public:
    using Panel::Panel;
    bool canBecomeKey() const override { return true; }
    bool canBecomeMain() const override { return false; }
};

} // namespace lorvantine
