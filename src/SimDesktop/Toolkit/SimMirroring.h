#pragma once

#include "Platform/AXTypes.h"

#include <map>
#include <optional>
#include <string>

namespace lorvantine {

// Elements of the model that stand for a toolkit window's views, whichever process draws the
// window: the program's own (SimWindowHost) or a client of the desktop server (ClientWindows).
namespace SimMirroring {

// The attributes such an element answers: its title and whether it is enabled always, the rest
// only when the view has them.
std::map<std::string, AXValue> attributes(const std::string& subrole, const std::string& title, const std::string& description,
                                          const std::optional<AXValue>& value, bool enabled);

} // namespace SimMirroring
} // namespace lorvantine
