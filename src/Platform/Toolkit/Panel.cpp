#include "Platform/Toolkit/Panel.h"

namespace lorvantine {

Panel::Panel(const Rect& contentRect, uint32_t styleMask) : Window(contentRect, styleMask) { setHidesOnDeactivate(true); }

} // namespace lorvantine
