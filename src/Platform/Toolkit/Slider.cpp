#include "Platform/Toolkit/Slider.h"

#include "Platform/Toolkit/Painter.h"

#include <algorithm>
#include <cmath>

namespace lorvantine {

Slider::Slider(const Rect& frame, double minValue, double maxValue, double value)
    : View(frame)
    , m_min(std::min(minValue, maxValue))
    , m_max(std::max(minValue, maxValue))
    , m_value(std::clamp(value, m_min, m_max))
{
}

void Slider::setRange(double minValue, double maxValue)
{
    m_min = std::min(minValue, maxValue);
    m_max = std::max(minValue, maxValue);
    m_value = std::clamp(m_value, m_min, m_max);
    setNeedsDisplay();
}

void Slider::setDoubleValue(double value)
{
    if (!std::isfinite(value))
        return;
    value = std::clamp(value, m_min, m_max);
    if (value == m_value)
        return;
    m_value = value;
    setNeedsDisplay();
}

void Slider::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    m_tracking = false;
    setNeedsDisplay();
}

void Slider::userSet(double value)
{
    const double before = m_value;
    setDoubleValue(value);
    if (m_value == before)
        return;
    auto keep = weak_from_this().lock();
    if (onAction)
        onAction();
}

Rect Slider::knobRect() const
{
    const Rect box = bounds();
    const double span = m_max - m_min;
    const double fraction = span > 0 ? (m_value - m_min) / span : 0;
    const double travel = std::max(0.0, box.width() - knobDiameter);
    return Rect(box.minX() + travel * fraction, box.midY() - knobDiameter / 2, knobDiameter, knobDiameter);
}

double Slider::valueAt(const MouseEvent& event) const
{
    const Point p = convertFromView(event.locationInWindow, nullptr);
    const double travel = std::max(1.0, bounds().width() - knobDiameter);
    const double fraction = std::clamp((p.x - knobDiameter / 2) / travel, 0.0, 1.0);
    return m_min + (m_max - m_min) * fraction;
}

void Slider::mouseDown(const MouseEvent& event)
{
    if (!m_enabled)
        return;
    m_tracking = true;
    userSet(valueAt(event));
}

void Slider::mouseDragged(const MouseEvent& event)
{
    if (m_tracking)
        userSet(valueAt(event));
}

void Slider::mouseUp(const MouseEvent& event)
{
    if (!m_tracking)
        return;
    m_tracking = false;
    userSet(valueAt(event));
}

bool Slider::accessibilityPerformAction(const std::string& action)
{
    if (!m_enabled)
        return false;
    const double step = (m_max - m_min) / 20;
    if (action == "AXIncrement")
        userSet(m_value + step);
    else if (action == "AXDecrement")
        userSet(m_value - step);
    else
        return false;
    return true;
}

bool Slider::accessibilitySetValue(const AXValue& value)
{
    if (!m_enabled)
        return false;
    double number = 0;
    if (const double* d = axGet<double>(value))
        number = *d;
    else if (const int64_t* i = axGet<int64_t>(value))
        number = static_cast<double>(*i);
    else
        return false;
    if (!std::isfinite(number))
        return false;
    userSet(number);
    return true;
}

void Slider::draw(Painter& painter, const Rect&)
{
    const Rect box = bounds();
    const bool dark = effectiveAppearance() == Appearance::darkAqua;
    const Rect track(box.minX() + knobDiameter / 2 - 2, box.midY() - trackHeight / 2,
                     std::max(0.0, box.width() - knobDiameter + 4), trackHeight);
    painter.fillRoundedRect(track, trackHeight / 2, dark ? Color::white(0.2) : Color::black(0.12));
    const Rect knob = knobRect();
    const Rect filled(track.minX(), track.minY(), std::max(0.0, knob.midX() - track.minX()), trackHeight);
    const Color accent = Color::rgb(0.0, 0.48, 1.0, m_enabled ? 1 : 0.4);
    painter.fillRoundedRect(filled, trackHeight / 2, accent);
    painter.fillRoundedRect(knob.insetBy(0.5, 0.5), knobDiameter / 2, dark ? Color::rgb(0.8, 0.8, 0.8) : Color::white());
    painter.strokeRoundedRect(knob.insetBy(0.75, 0.75), knobDiameter / 2, Color::black(0.25), 0.5);
}

} // namespace lorvantine
