#include "SimDesktop/Model/SimDocuments.h"

#include "Support/Text.h"

#include <functional>

namespace lorvantine::SimDocuments {

namespace {

void fillDocument(SimElement& element, const SimDocumentTemplate& document, const std::string& text)
{
    if (element.name == document.textElement)
        element.text = text;
    const std::string& focus = document.focusElement.empty() ? document.textElement : document.focusElement;
    element.focused = element.name == focus;
    element.name.clear();
    for (SimElement& child : element.children)
        fillDocument(child, document, text);
}

std::optional<uint64_t> firstText(SimModel& model, uint64_t id)
{
    SimNode* n = model.node(id);
    if (!n)
        return std::nullopt;
    if (n->isSelectable())
        return id;
    for (uint64_t child : n->children)
        if (auto found = firstText(model, child))
            return found;
    return std::nullopt;
}

} // namespace

SimWindow window(const SimDocumentTemplate& document, const std::string& title, const std::string& text)
{
    SimWindow w = document.window;
    w.title = title;
    w.name.clear();
    w.main = true;
    for (SimElement& element : w.children)
        fillDocument(element, document, text);
    return w;
}

uint32_t open(SimModel& model, ProcessID pid, const SimDocumentTemplate& document, const std::string& title,
              const std::string& text)
{
    const uint32_t number = model.addWindow(pid, window(document, title, text));
    if (number != 0)
        model.raiseWindow(number);
    return number;
}

std::optional<std::string> contents(SimModel& model, uint32_t windowNumber)
{
    const SimModel::Window* w = model.window(windowNumber);
    if (!w)
        return std::nullopt;
    auto text = firstText(model, w->node);
    if (!text)
        return std::nullopt;
    return model.node(*text)->text;
}

bool paste(SimModel& model, ProcessID pid, const std::string& text)
{
    SimModel::Application* app = model.application(pid);
    SimNode* focused = app ? model.node(app->focusedElement) : nullptr;
    if (!focused || !focused->isSelectable())
        return false;
    const std::string current = *focused->text;
    const AXRange selection = focused->selection;
    const size_t begin = Text::byteOffsetFromUtf16Offset(current, static_cast<size_t>(selection.location));
    const size_t end = Text::byteOffsetFromUtf16Offset(current, static_cast<size_t>(selection.location + selection.length));
    const uint64_t id = focused->id;
    model.setText(id, current.substr(0, begin) + text + current.substr(end));
    if (SimNode* changed = model.node(id))
        changed->selection = AXRange { selection.location + static_cast<int64_t>(Text::utf16Count(text)), 0 };
    return true;
}

const SimInstalledApplication* installed(const SimModel& model, const std::string& bundleID)
{
    for (const SimInstalledApplication& app : model.installed)
        if (app.application.bundleIdentifier == bundleID)
            return &app;
    return nullptr;
}

const SimInstalledApplication* installedNamed(const SimModel& model, const std::string& nameOrPath)
{
    for (const SimInstalledApplication& app : model.installed)
        if (app.application.localizedName == nameOrPath || app.application.bundlePath == nameOrPath)
            return &app;
    return nullptr;
}

} // namespace lorvantine::SimDocuments
