#pragma once

#include "Platform/AXTypes.h"
#include "SimDesktop/Model/SimRules.h"
#include "SimDesktop/Text/SimFont.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// The description of one accessibility element and its subtree, as a fixture or a test writes
// it. A plain record: the desktop copies it into its model when the element is added.
//
// Geometry. `position` is relative to the parent's content origin (the parent's top-left corner,
// moved by the parent's `scroll`). Without a position the element flows: it is placed below the
// previous sibling (`spacing` of the parent apart, `padding` of the parent in from its edges) and
// takes the parent's width less the padding. Without a height it is as tall as its content: its
// laid-out text, or its children. Elements outside any window have no geometry unless positioned.
//
// Text. An element with `text` is laid out once in `font` at its width; its `AXValue`,
// `AXNumberOfCharacters` and the parameterized text attributes answer from that layout. An element
// with `runs` lays its runs out as one paragraph and gets one child per run (an "AXStaticText",
// an "AXLink" holding one for a run with a link, or the inline element a run names holding its
// nested runs), each answering for its part of the layout; line breaks get no child.
//
// `attributes` add to or replace the computed ones (a value of the wrong type is allowed on
// purpose); `errors` make the named attribute, parameterized attribute, action or notification
// fail with that code.
struct SimElement {
    // A piece of a laid-out paragraph: text, a link around text, or an inline element (`role`,
    // such as inline code) or a link holding runs of its own; or a line break, which is laid out
    // but, as in web views, exposed as no element.
    struct Run {
        std::string text;
        std::optional<std::string> link; // the link's URL
        std::string role;                // of an inline element holding `runs`; empty for none
        std::vector<Run> runs;           // nested runs of a link or an inline element
        bool lineBreak = false;
        friend bool operator==(const Run&, const Run&) = default;
    };

    std::string role = "AXGroup";
    std::string name; // a handle for tests and fixture references; not an attribute

    std::optional<Point> position;
    std::optional<double> width;
    std::optional<double> height;
    double padding = 0;
    double spacing = 0;
    Point scroll;
    double scrollLine = 10; // points one wheel line scrolls a scroll area

    std::optional<std::string> text;
    std::vector<Run> runs;
    SimFont font;
    bool focused = false;
    // Drawn but kept from accessibility: the element answers with its role and geometry only (no
    // text, no children), like the page of an application that draws its text as a picture.
    bool imageOnly = false;
    // The selection of its text at the start (UTF-16 units), and whether accessibility is kept from
    // the selection (an editor that only draws its text).
    AXRange selection;
    bool selectionHidden = false;
    // A fault of some editors: the bounds of any range holding a CJK ideograph are an empty
    // rectangle at the range's origin.
    bool cjkBoundsEmpty = false;
    // Another: its selection reads back this many units after (or before) where it lies.
    int64_t selectionDrift = 0;
    std::optional<uint32_t> colour;     // 0xAARRGGBB of its text and its descendants'; black by default
    std::optional<uint32_t> background; // filled behind it
    std::optional<SimRules> rules;      // a table's: lines between its rows (its children) and cells
    // A page frame: its `text` is one page of the document of this name, whose text is the pages'
    // texts joined in the order they are added. See SimPageFrames.
    std::string document;

    // Attributes naming other elements of the desktop by `name`, resolved once those exist.
    struct Reference {
        std::vector<std::string> names;
        bool list = false; // an element list rather than one element
        friend bool operator==(const Reference&, const Reference&) = default;
    };

    std::map<std::string, AXValue> attributes;
    std::map<std::string, Reference> references;
    std::map<std::string, AXError> errors;
    std::vector<std::string> actions;
    std::vector<std::string> settable;
    std::vector<SimElement> children;

    SimElement() = default;
    explicit SimElement(std::string r) : role(std::move(r)) {}
    SimElement(std::string r, std::string t) : role(std::move(r)), text(std::move(t)) {}

    // Builder helpers for tests; each returns *this.
    SimElement& named(std::string n) { name = std::move(n); return *this; }
    SimElement& frame(Rect r) { position = r.origin; width = r.size.width; height = r.size.height; return *this; }
    SimElement& at(Point p) { position = p; return *this; }
    SimElement& sized(double w, std::optional<double> h = std::nullopt) { width = w; height = h; return *this; }
    SimElement& with(const std::string& attribute, AXValue value) { attributes[attribute] = std::move(value); return *this; }
    SimElement& failing(const std::string& attribute, AXError error) { errors[attribute] = error; return *this; }
    SimElement& child(SimElement c) { children.push_back(std::move(c)); return *this; }
    SimElement& fontSize(double s) { font.size = s; return *this; }
};

} // namespace lorvantine
