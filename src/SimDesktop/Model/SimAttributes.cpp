#include "SimDesktop/Model/SimAttributes.h"

#include "SimDesktop/Model/SimGeometry.h"
#include "SimDesktop/Model/SimScrolling.h"
#include "SimDesktop/Text/SimTextAttributes.h"
#include "SimDesktop/Text/SimTextSelection.h"

#include <algorithm>
#include <cmath>

namespace lorvantine::SimAttributes {

namespace {

bool isSystemWide(const AXElement& e) { return e.pid == 0 && e.node == SimModel::systemWideNode; }

std::vector<std::string> computedNames(SimModel& model, SimNode& node)
{
    std::vector<std::string> names { "AXRole", "AXChildren" };
    switch (node.kind) {
    case SimNode::Kind::application: {
        names.insert(names.end(), { "AXTitle", "AXWindows", "AXFocusedWindow", "AXMainWindow", "AXFrontmost", "AXHidden",
                                    "AXFocusedUIElement" });
        if (const auto* app = model.application(node.pid); app && app->menuBar)
            names.push_back("AXMenuBar");
        break;
    }
    case SimNode::Kind::window:
        names.insert(names.end(), { "AXParent", "AXSubrole", "AXTitle", "AXPosition", "AXSize", "AXFrame", "AXMain",
                                    "AXMinimized", "AXFocused" });
        break;
    case SimNode::Kind::element:
        names.push_back("AXParent");
        if (SimGeometry::frame(model, node))
            names.insert(names.end(), { "AXPosition", "AXSize", "AXFrame" });
        if (node.window)
            names.insert(names.end(), { "AXWindow", "AXTopLevelUIElement" });
        names.push_back("AXFocused");
        if (node.role == "AXScrollArea")
            names.insert(names.end(), { "AXVerticalScrollBar", "AXContents" });
        if (node.isTextElement())
            names.insert(names.end(), SimTextAttributes::names().begin(), SimTextAttributes::names().end());
        if (node.exposesSelection())
            names.insert(names.end(), { "AXSelectedText", "AXSelectedTextRange" });
        break;
    }
    return names;
}

std::vector<AXElement> handles(SimModel& model, const std::vector<uint64_t>& ids)
{
    std::vector<AXElement> out;
    out.reserve(ids.size());
    for (uint64_t id : ids)
        if (const SimNode* n = model.node(id))
            out.push_back(model.handle(*n));
    return out;
}

std::vector<uint64_t> windowNodes(SimModel& model, ProcessID pid)
{
    std::vector<uint64_t> out;
    for (uint32_t number : model.accessibleWindows(pid))
        out.push_back(model.windows.at(number).node);
    return out;
}

AXError computedApplication(SimModel& model, SimNode& node, const std::string& name, AXValue& out)
{
    SimModel::Application* app = model.application(node.pid);
    if (!app)
        return AXError::cannotComplete;
    if (name == "AXTitle") {
        if (!app->info.localizedName)
            return AXError::noValue;
        out = *app->info.localizedName;
    } else if (name == "AXWindows") {
        out = handles(model, windowNodes(model, node.pid));
    } else if (name == "AXChildren") {
        std::vector<uint64_t> ids = windowNodes(model, node.pid);
        if (app->menuBar)
            ids.push_back(app->menuBar);
        out = handles(model, ids);
    } else if (name == "AXFocusedWindow" || name == "AXMainWindow") {
        const uint32_t main = model.mainWindow(node.pid);
        if (!main)
            return AXError::noValue;
        out = model.handle(model.windows.at(main).node);
    } else if (name == "AXMenuBar") {
        if (!app->menuBar)
            return AXError::attributeUnsupported;
        out = model.handle(app->menuBar);
    } else if (name == "AXFrontmost") {
        out = app->info.isActive;
    } else if (name == "AXHidden") {
        out = app->hidden;
    } else if (name == "AXFocusedUIElement") {
        if (!app->focusedElement || !model.node(app->focusedElement))
            return AXError::noValue;
        out = model.handle(app->focusedElement);
    } else {
        return AXError::attributeUnsupported;
    }
    return AXError::success;
}

AXError computedWindow(SimModel& model, SimNode& node, const std::string& name, AXValue& out)
{
    const SimModel::Window* w = model.window(node.window);
    if (!w)
        return AXError::invalidUIElement;
    if (name == "AXSubrole")
        out = w->subrole;
    else if (name == "AXTitle")
        out = w->title;
    else if (name == "AXPosition")
        out = w->frame.origin;
    else if (name == "AXSize")
        out = w->frame.size;
    else if (name == "AXFrame")
        out = w->frame;
    else if (name == "AXMain")
        out = model.mainWindow(w->pid) == w->number;
    else if (name == "AXMinimized")
        out = w->minimized;
    else if (name == "AXFocused") {
        const auto* app = model.application(w->pid);
        out = app && app->info.isActive && model.mainWindow(w->pid) == w->number;
    } else
        return AXError::attributeUnsupported;
    return AXError::success;
}

AXError computed(SimModel& model, SimNode& node, const std::string& name, AXValue& out)
{
    if (name == "AXRole") {
        out = node.role;
        return AXError::success;
    }
    if (name == "AXParent" && node.kind != SimNode::Kind::application) {
        const SimNode* parent = model.node(node.parent);
        if (!parent)
            return AXError::noValue;
        out = model.handle(*parent);
        return AXError::success;
    }
    if (node.kind == SimNode::Kind::application)
        return computedApplication(model, node, name, out);
    if (name == "AXChildren") {
        out = node.imageOnly ? std::vector<AXElement> {} : handles(model, node.children);
        return AXError::success;
    }
    if (node.kind == SimNode::Kind::window)
        return computedWindow(model, node, name, out);

    if (name == "AXPosition" || name == "AXSize" || name == "AXFrame") {
        auto f = SimGeometry::frame(model, node);
        if (!f)
            return AXError::attributeUnsupported;
        if (name == "AXPosition")
            out = f->origin;
        else if (name == "AXSize")
            out = f->size;
        else
            out = *f;
        return AXError::success;
    }
    if ((name == "AXWindow" || name == "AXTopLevelUIElement") && node.window) {
        const SimModel::Window* w = model.window(node.window);
        if (!w)
            return AXError::noValue;
        out = model.handle(w->node);
        return AXError::success;
    }
    if (name == "AXFocused") {
        const auto* app = model.application(node.pid);
        out = app && app->focusedElement == node.id;
        return AXError::success;
    }
    if (name == "AXSelectedText" || name == "AXSelectedTextRange") {
        if (!node.exposesSelection())
            return AXError::attributeUnsupported;
        if (name == "AXSelectedText")
            out = SimTextSelection::selectedText(model, node);
        else if (node.selectionDrift == 0)
            out = SimTextSelection::current(node);
        else {
            // An editor that reports its selection a few units off where it is.
            AXRange range = SimTextSelection::current(node);
            range.location = std::clamp<int64_t>(range.location + node.selectionDrift, 0, node.utf16Length - range.length);
            out = range;
        }
        return AXError::success;
    }
    if (node.role == "AXScrollArea" && name == "AXVerticalScrollBar") {
        SimNode* bar = SimScrolling::verticalBar(model, node);
        if (!bar)
            return AXError::noValue;
        out = model.handle(*bar);
        return AXError::success;
    }
    if (node.role == "AXScrollArea" && name == "AXContents") {
        std::vector<AXElement> list;
        for (SimNode* child : SimScrolling::contents(model, node))
            list.push_back(model.handle(*child));
        out = std::move(list);
        return AXError::success;
    }
    if (node.isTextElement())
        return SimTextAttributes::copy(model, node, name, out);
    return AXError::attributeUnsupported;
}

AXError systemWide(SimModel& model, const std::string& name, AXValue& out)
{
    SimModel::Application* front = model.frontmost();
    if (name == "AXRole") {
        out = std::string("AXSystemWide");
    } else if (name == "AXFocusedApplication") {
        if (!front)
            return AXError::noValue;
        out = AXElement { front->info.pid, 0 };
    } else if (name == "AXFocusedUIElement") {
        if (!front || !front->focusedElement || !model.node(front->focusedElement))
            return AXError::noValue;
        out = model.handle(front->focusedElement);
    } else {
        return AXError::attributeUnsupported;
    }
    return AXError::success;
}

bool contains(const std::vector<std::string>& list, const std::string& name)
{
    return std::find(list.begin(), list.end(), name) != list.end();
}

} // namespace

AXError missing(const AXElement& element)
{
    if (element.isNull())
        return AXError::illegalArgument;
    return element.node == 0 ? AXError::cannotComplete : AXError::invalidUIElement;
}

AXError copy(SimModel& model, const AXElement& element, const std::string& attribute, AXValue& out)
{
    if (isSystemWide(element))
        return systemWide(model, attribute, out);
    SimNode* node = model.node(element);
    if (!node)
        return missing(element);
    if (const AXError* error = node->error(attribute))
        return *error;
    if (auto failing = node->failingReads.find(attribute); failing != node->failingReads.end() && failing->second > 0) {
        --failing->second;
        return AXError::cannotComplete;
    }
    if (SimTextAttributes::isParameterized(attribute))
        return AXError::attributeUnsupported;
    if (auto it = node->attributes.find(attribute); it != node->attributes.end()) {
        out = it->second;
        return AXError::success;
    }
    return computed(model, *node, attribute, out);
}

AXError names(SimModel& model, const AXElement& element, std::vector<std::string>& out)
{
    if (isSystemWide(element)) {
        out = { "AXRole", "AXFocusedApplication", "AXFocusedUIElement" };
        return AXError::success;
    }
    SimNode* node = model.node(element);
    if (!node)
        return missing(element);
    std::vector<std::string> all = computedNames(model, *node);
    for (const auto& [name, value] : node->attributes)
        if (!contains(all, name) && !SimTextAttributes::isParameterized(name))
            all.push_back(name);
    out.clear();
    for (const auto& name : all) {
        const AXError* error = node->error(name);
        if (!error || *error != AXError::attributeUnsupported)
            out.push_back(name);
    }
    return AXError::success;
}

AXError copyParameterized(SimModel& model, const AXElement& element, const std::string& attribute,
                          const AXValue& parameter, AXValue& out)
{
    if (isSystemWide(element))
        return AXError::parameterizedAttributeUnsupported;
    SimNode* node = model.node(element);
    if (!node)
        return missing(element);
    if (const AXError* error = node->error(attribute))
        return *error;
    if (SimTextAttributes::isParameterized(attribute)) {
        if (auto it = node->attributes.find(attribute); it != node->attributes.end()) {
            out = it->second;
            return AXError::success;
        }
    }
    if (!node->answersTextRanges() || !SimTextAttributes::isParameterized(attribute))
        return AXError::parameterizedAttributeUnsupported;
    return SimTextAttributes::copyParameterized(model, *node, attribute, parameter, out);
}

AXError parameterizedNames(SimModel& model, const AXElement& element, std::vector<std::string>& out)
{
    out.clear();
    if (isSystemWide(element))
        return AXError::success;
    SimNode* node = model.node(element);
    if (!node)
        return missing(element);
    for (const auto& name : SimTextAttributes::parameterizedNames()) {
        const bool present = node->answersTextRanges() || node->attributes.count(name);
        const AXError* error = node->error(name);
        if (present && (!error || *error != AXError::parameterizedAttributeUnsupported))
            out.push_back(name);
    }
    return AXError::success;
}

AXError isSettable(SimModel& model, const AXElement& element, const std::string& attribute, bool& out)
{
    if (isSystemWide(element)) {
        out = false;
        return AXError::success;
    }
    SimNode* node = model.node(element);
    if (!node)
        return missing(element);
    if (const AXError* error = node->error(attribute))
        return *error;
    if (node->settable.count(attribute) || (attribute == "AXSelectedTextRange" && node->exposesSelection())) {
        out = true;
        return AXError::success;
    }
    std::vector<std::string> all;
    names(model, element, all);
    if (!contains(all, attribute))
        return AXError::attributeUnsupported;
    out = false;
    return AXError::success;
}

AXError set(SimModel& model, const AXElement& element, const std::string& attribute, const AXValue& value)
{
    if (isSystemWide(element))
        return AXError::attributeUnsupported;
    SimNode* node = model.node(element);
    if (!node)
        return missing(element);
    if (const AXError* error = node->error(attribute))
        return *error;
    if (attribute == "AXSelectedTextRange" && node->exposesSelection() && !node->attributes.count(attribute)) {
        const AXRange* range = axGet<AXRange>(value);
        if (!range || !SimTextSelection::select(model, *node, *range))
            return AXError::illegalArgument;
        return AXError::success;
    }
    if (!node->settable.count(attribute))
        return AXError::attributeUnsupported;

    if (node->kind == SimNode::Kind::window) {
        const uint32_t number = node->window;
        const SimModel::Window* w = model.window(number);
        if (!w)
            return AXError::invalidUIElement;
        if (attribute == "AXPosition") {
            const Point* p = axGet<Point>(value);
            if (!p)
                return AXError::illegalArgument;
            model.moveWindow(number, *p);
        } else if (attribute == "AXSize") {
            const Size* s = axGet<Size>(value);
            if (!s)
                return AXError::illegalArgument;
            model.resizeWindow(number, *s);
        } else if (attribute == "AXMinimized") {
            const bool* b = axGet<bool>(value);
            if (!b)
                return AXError::illegalArgument;
            model.setMinimized(number, *b);
        } else if (attribute == "AXMain" || attribute == "AXFocused") {
            const bool* b = axGet<bool>(value);
            if (!b)
                return AXError::illegalArgument;
            if (*b)
                model.raiseWindow(number);
        } else {
            node->attributes[attribute] = value;
        }
        return AXError::success;
    }

    if (attribute == "AXFocused") {
        const bool* b = axGet<bool>(value);
        if (!b)
            return AXError::illegalArgument;
        if (auto* app = model.application(node->pid)) {
            if (*b)
                app->focusedElement = node->id;
            else if (app->focusedElement == node->id)
                app->focusedElement = 0;
        }
        return AXError::success;
    }
    if (SimNode* area = model.node(node->parent);
        attribute == "AXValue" && area && area->role == "AXScrollArea" && SimScrolling::verticalBar(model, *area) == node) {
        // A scroll bar takes a position of 0...1 and moves its area's content there.
        const double* v = axGet<double>(value);
        if (!v || !std::isfinite(*v))
            return AXError::illegalArgument;
        SimScrolling::scrollToFraction(model, *area, *v);
        return AXError::success;
    }
    if (attribute == "AXValue" && node->isTextElement() && node->textOwner == 0) {
        const std::string* s = axGet<std::string>(value);
        if (!s)
            return AXError::illegalArgument;
        node->text = *s;
        node->utf16Length = SimTextLayout::utf16Length(*s);
        node->layout.reset();
        model.invalidateGeometry();
        return AXError::success;
    }
    node->attributes[attribute] = value;
    return AXError::success;
}

AXError actionNames(SimModel& model, const AXElement& element, std::vector<std::string>& out)
{
    out.clear();
    if (isSystemWide(element))
        return AXError::success;
    SimNode* node = model.node(element);
    if (!node)
        return missing(element);
    for (const auto& action : node->actions) {
        const AXError* error = node->error(action);
        if (!error || *error != AXError::actionUnsupported)
            out.push_back(action);
    }
    return AXError::success;
}

AXError perform(SimModel& model, const AXElement& element, const std::string& action)
{
    if (isSystemWide(element))
        return AXError::actionUnsupported;
    SimNode* node = model.node(element);
    if (!node)
        return missing(element);
    if (const AXError* error = node->error(action))
        return *error;
    if (!contains(node->actions, action))
        return AXError::actionUnsupported;
    if (node->kind == SimNode::Kind::window && action == "AXRaise")
        model.raiseWindow(node->window);
    return AXError::success;
}

} // namespace lorvantine::SimAttributes
