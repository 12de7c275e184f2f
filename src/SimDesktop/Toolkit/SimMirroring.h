#pragma once

#include "Platform/AXTypes.h"
#include "SimDesktop/Model/SimElement.h"
#include "SimDesktop/Toolkit/SimMirroredElement.h"

#include <cstdint>
#include <map>
#include <string>

namespace lorvantine {

class SimModel;

// The model's elements that stand for a toolkit window's views, whichever process draws the
// window: the program's own (SimWindowHost) or a client of the desktop server (ClientWindows).
namespace SimMirroring {

// The attributes such an element answers: its title and whether it is enabled always, the rest
// only when the view has them.
std::map<std::string, AXValue> attributes(const SimMirroredElement& element);
// The model element standing for `element`, `position` from its parent's origin.
SimElement modelElement(const SimMirroredElement& element, Point position);
// Gives the live `node` what `now` shows, with the notifications of what changed since `before`.
// `valueSet`: another process set the node's value meanwhile, so its value is told as changed.
// Nothing when the node is gone.
void update(SimModel& model, uint64_t node, const SimMirroredElement& now, const SimMirroredElement& before, Point position,
            bool valueSet);

} // namespace SimMirroring
} // namespace lorvantine
