#pragma once

#include <memory> // before WorkspacePort.h, which uses it without including it

#include "Accessibility/AXNode.h"
#include "Platform/AXTypes.h"
#include "Platform/Geometry.h"
#include "Platform/WorkspacePort.h"

#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// Typed reads over the accessibility port. Every function is total: an error code, a missing
// value or a value of another type gives none or an empty list; nothing throws and nothing is
// logged. No state is held, so any thread may call; each call blocks while the other process
// answers. Geometry is in global screen points, top-left origin; character locations and
// lengths are UTF-16 code units.
namespace AXReader {

// A string attribute.
std::optional<std::string> attribute(const AXElement& element, const std::string& name);
// A number attribute: a finite double, or an integer; none for anything else.
std::optional<double> number(const AXElement& element, const std::string& name);
// An attribute holding a list of elements (empty when missing) / one element (none when missing
// or null).
std::vector<AXElement> elementList(const AXElement& element, const std::string& name);
std::optional<AXElement> elementAttribute(const AXElement& element, const std::string& name);

// "AXWindows" of an application element / "AXChildren" of any element.
std::vector<AXElement> windows(const AXElement& application);
std::vector<AXElement> rawChildren(const AXElement& element);

std::optional<AXElement> focusedWindow(const AXElement& application);
// The focused window, else the first of "AXWindows"; none without either.
std::optional<AXElement> frontWindow(const AXElement& application);

// A position or size with a coordinate that is not a finite number is no answer.
std::optional<Point> position(const AXElement& element);
std::optional<Size> size(const AXElement& element);
// "AXPosition" and "AXSize" as one rectangle (not "AXFrame"); none when either is missing.
std::optional<Rect> rect(const AXElement& element);

std::optional<int> numberOfCharacters(const AXElement& element);

std::optional<std::string> stringForRange(const AXElement& element, int location, int length);
// A rectangle below 1 point in both width and height, or not finite, is no answer; a caret-like
// rectangle of width 0 and some height is an answer.
std::optional<Rect> boundsForRange(const AXElement& element, int location, int length);

std::vector<std::string> parameterizedAttributeNames(const AXElement& element);

// The element itself or the nearest of its ancestors with `role`, looking at 30 elements at most.
std::optional<AXElement> findAncestor(const AXElement& element, const std::string& role);

// The first running application, in the workspace's order, whose bundle identifier is exactly
// `bundleID`.
std::optional<RunningApplication> findApp(const std::string& bundleID);
// The front window of that application; none without the application or a window.
std::optional<AXElement> frontWindowOf(const std::string& bundleID);

// Captures the tree below `element`, each element once (a child seen before is left out); nodes
// at `maxDepth` are captured without children.
AXNode walkTree(const AXElement& element, int maxDepth, int currentDepth = 0);

// One line per node, parent before children, two spaces per level of `indent`:
//   [AXRole] title="…" value="…" desc="…"
// with the title and description cut to 60 Characters and the value to 80; absent parts are left out.
void printTree(const AXNode& node, int indent = 0, std::ostream& out = std::cout);

struct MenuShortcutMatch {
    AXElement item;
    std::vector<std::string> path; // titles from the top menu down to the item
};

// Depth-first search of a menu tree (normally the menu bar, with depth 0 and an empty path)
// for the item bound to `virtualKey`. With `modifiers` none any modifier mask matches; otherwise
// the item's mask must equal it (an unreadable mask counts as 0). Depths beyond 8 are not searched.
std::optional<MenuShortcutMatch> searchMenuShortcut(const AXElement& element, int virtualKey,
                                                    std::optional<int> modifiers,
                                                    const std::vector<std::string>& path = {}, int depth = 0);

} // namespace AXReader
} // namespace lorvantine
