#pragma once

#include "Platform/Geometry.h"

#include <vector>

namespace lorvantine {

// A vector path in the coordinates of whoever draws it (a view's own, y upward). A plain value:
// build it, then hand it to a `Painter`.
class Path {
public:
    struct Element {
        enum class Kind { moveTo, lineTo, curveTo, arc, close };
        Kind kind = Kind::moveTo;
        Point point;            // moveTo, lineTo, curveTo's end, arc's centre
        Point control1;         // curveTo
        Point control2;         // curveTo
        double radius = 0;      // arc
        double startAngle = 0;  // arc, radians
        double endAngle = 0;    // arc, radians
        bool clockwise = false; // arc: clockwise on screen (angles decreasing, y upward)
        friend bool operator==(const Element&, const Element&) = default;
    };

    void moveTo(Point p) { m_elements.push_back({ Element::Kind::moveTo, p }); }
    void lineTo(Point p) { m_elements.push_back({ Element::Kind::lineTo, p }); }
    void curveTo(Point end, Point control1, Point control2)
    {
        m_elements.push_back({ Element::Kind::curveTo, end, control1, control2 });
    }
    // An arc around `centre`, joined to the current point by a line when there is one.
    void addArc(Point centre, double radius, double startAngle, double endAngle, bool clockwise)
    {
        Element e { Element::Kind::arc, centre };
        e.radius = radius;
        e.startAngle = startAngle;
        e.endAngle = endAngle;
        e.clockwise = clockwise;
        m_elements.push_back(e);
    }
    void close() { m_elements.push_back({ Element::Kind::close }); }

    void addRect(const Rect& r);
    // Corner radius clamped to half the shorter side.
    void addRoundedRect(const Rect& r, double cornerRadius);
    void addEllipse(const Rect& r);

    static Path rect(const Rect& r) { Path p; p.addRect(r); return p; }
    static Path roundedRect(const Rect& r, double cornerRadius) { Path p; p.addRoundedRect(r, cornerRadius); return p; }

    const std::vector<Element>& elements() const { return m_elements; }
    bool isEmpty() const { return m_elements.empty(); }

    friend bool operator==(const Path&, const Path&) = default;

private:
    void makeRoom(size_t elements);

    std::vector<Element> m_elements;
};

} // namespace lorvantine
