#pragma once

namespace lorvantine {

// Whether the simulated screen-capture tool can be started at all (a missing or blocked tool
// makes every capture fail before it produces an exit status).
enum class SimCaptureTool { available, cannotStart };

} // namespace lorvantine
