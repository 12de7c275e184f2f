#pragma once

#include "Platform/Toolkit/View.h"

#include <memory>

namespace lorvantine {

class MiniPlayer;

// The dark pill of the mini player that holds its controls. A single click acts on it while
// another application is active.
class MiniPlayerView final : public View {
public:
    using View::View;

    std::weak_ptr<MiniPlayer> miniPlayer;

    bool acceptsFirstMouse(const MouseEvent&) const override { return true; }
};

} // namespace lorvantine
