#include "Platform/Toolkit/Animation.h"

namespace lorvantine {

namespace {

// The cubic Bézier timing curves of the platform: (0,0), (x1,y1), (x2,y2), (1,1).
double timingCurve(double t, double x1, double y1, double x2, double y2)
{
    auto curve = [](double s, double a, double b) {
        const double u = 1 - s;
        return 3 * u * u * s * a + 3 * u * s * s * b + s * s * s;
    };
    double lo = 0, hi = 1, s = t;
    for (int i = 0; i < 40; ++i) {
        s = (lo + hi) / 2;
        if (curve(s, x1, x2) < t)
            lo = s;
        else
            hi = s;
    }
    return curve(s, y1, y2);
}

} // namespace

double applyTiming(TimingFunction timing, double t)
{
    switch (timing) {
    case TimingFunction::linear: return t;
    case TimingFunction::easeIn: return timingCurve(t, 0.42, 0, 1, 1);
    case TimingFunction::easeOut: return timingCurve(t, 0, 0, 0.58, 1);
    case TimingFunction::easeInEaseOut: return timingCurve(t, 0.42, 0, 0.58, 1);
    }
    return t;
}

} // namespace lorvantine
