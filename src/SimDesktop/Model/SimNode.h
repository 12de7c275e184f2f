#pragma once

#include "Platform/AXTypes.h"
#include "SimDesktop/Model/SimRules.h"
#include "SimDesktop/Text/SimFont.h"
#include "SimDesktop/Text/SimPagedDocument.h"
#include "SimDesktop/Text/SimTextLayout.h"

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace lorvantine {

// One live element of the desktop model: an application, a window or an element below them.
// Owned by SimModel and only touched with the desktop locked.
struct SimNode {
    enum class Kind { application, window, element };

    uint64_t id = 0;
    Kind kind = Kind::element;
    ProcessID pid = 0;
    uint32_t window = 0; // the window holding it (a window node holds itself); 0 outside windows
    uint64_t parent = 0;
    std::vector<uint64_t> children;
    std::string role;
    std::string name;
    bool focused = false;

    std::optional<Point> position;
    std::optional<double> width;
    std::optional<double> height;
    double padding = 0;
    double spacing = 0;
    Point scroll;
    double scrollLine = 10; // points one wheel line scrolls a scroll area

    std::optional<std::string> text;
    SimFont font;
    bool exposesText = false; // false for an element that only lays out its runs
    bool imageOnly = false;   // drawn; accessibility sees no text and no children below it
    std::optional<uint32_t> colour;
    std::optional<uint32_t> background;
    std::optional<SimRules> rules; // drawn around its rows and their cells
    uint64_t textOwner = 0;   // a run: part of this node's layout
    AXRange textSlice;
    int64_t utf16Length = 0;
    // Of a paragraph laid out from runs: where its line breaks sit in the layout. Web views give
    // a line break no character, so the paragraph's ranges step over them.
    std::vector<int64_t> hiddenBreaks;
    // The live selection of a laid-out text (a caret when empty), in UTF-16 units; and whether
    // accessibility is kept from it (an editor that only draws its text).
    AXRange selection;
    bool selectionHidden = false;
    bool cjkBoundsEmpty = false; // see SimElement
    int64_t selectionDrift = 0;  // see SimElement

    // A page frame of a document laid out over several text areas: the whole text they share and
    // where this page's text (`text`) starts in it, in UTF-16 units.
    std::shared_ptr<SimPagedDocument> document;
    int64_t documentOffset = 0;

    std::map<std::string, AXValue> attributes;
    std::map<std::string, AXError> errors;
    // Reads of an attribute that fail for a while (a page still animating after a turn): the
    // next `count` reads answer cannotComplete.
    std::map<std::string, int> failingReads;
    std::vector<std::string> actions;
    std::set<std::string> settable;

    // Caches, each valid while its generation equals the model's geometry generation: the place
    // (origin, width, whether it has geometry) under `frameGeneration`, the height under
    // `heightGeneration`, and how many children are placed under `childrenGeneration`, with the
    // last stacked one (the next stacked one goes below it) and the top it stands at. Placed
    // lazily, in order: an element's place needs only its earlier siblings and its ancestors, so
    // reading a long page from the top costs each read about one element's layout.
    std::shared_ptr<const SimTextLayout> layout;
    Rect localFrame;
    bool hasGeometry = false;
    uint64_t frameGeneration = 0;
    uint64_t heightGeneration = 0;
    uint64_t childrenGeneration = 0;
    size_t childrenPlaced = 0;
    uint64_t stackedAbove = 0;
    double childCursor = 0;

    bool isTextElement() const { return text.has_value() && exposesText; }
    // A block laid out from its runs (a web paragraph with links) exposes no value of its own, but
    // answers character ranges over its whole text, as web views do.
    bool answersTextRanges() const { return text.has_value() && !imageOnly; }
    // A text that the user can select: its own layout (not a run of another's).
    bool isSelectable() const { return text.has_value() && textOwner == 0; }
    // Whether accessibility answers `AXSelectedText` and `AXSelectedTextRange`.
    bool exposesSelection() const { return isTextElement() && textOwner == 0 && !selectionHidden; }
    const AXError* error(const std::string& name) const
    {
        auto it = errors.find(name);
        return it == errors.end() ? nullptr : &it->second;
    }
};

} // namespace lorvantine
