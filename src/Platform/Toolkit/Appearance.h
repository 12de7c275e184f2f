#pragma once

namespace lorvantine {

// The look of windows and controls: light (aqua) or dark (dark aqua). Controls pick their
// default colours from it (text, tint, spinner).
enum class Appearance { aqua, darkAqua };

} // namespace lorvantine
