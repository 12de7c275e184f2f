#include "Platform/Toolkit/WindowCloseButton.h"

#include "Platform/Toolkit/Painter.h"
#include "Platform/Toolkit/Window.h"

namespace lorvantine {

WindowCloseButton::WindowCloseButton() : Button(Rect(0, 0, diameter, diameter))
{
    setBordered(false);
}

void WindowCloseButton::draw(Painter& painter, const Rect&)
{
    const Window* owner = window();
    const bool active = owner && owner->isKeyWindow();
    Color disc = active ? Color::rgb(1.0, 0.373, 0.341) : Color::rgb(0.8, 0.8, 0.8);
    if (isHighlighted())
        disc = active ? Color::rgb(0.75, 0.25, 0.23) : Color::rgb(0.6, 0.6, 0.6);
    const Rect box = bounds();
    painter.fill(Path::roundedRect(box, box.width() / 2), disc);
    painter.stroke(Path::roundedRect(box.insetBy(0.25, 0.25), box.width() / 2), Color::black(0.15), 0.5);
}

} // namespace lorvantine
