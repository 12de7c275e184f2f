#include "SimDesktop/Toolkit/SimMirroring.h"

#include "SimDesktop/Model/SimModel.h"

namespace lorvantine::SimMirroring {

std::map<std::string, AXValue> attributes(const SimMirroredElement& e)
{
    std::map<std::string, AXValue> attributes;
    attributes["AXTitle"] = e.title;
    attributes["AXEnabled"] = e.enabled;
    if (!e.subrole.empty())
        attributes["AXSubrole"] = e.subrole;
    if (!e.description.empty())
        attributes["AXDescription"] = e.description;
    if (e.value)
        attributes["AXValue"] = *e.value;
    return attributes;
}

SimElement modelElement(const SimMirroredElement& e, Point position)
{
    SimElement element(e.role);
    element.position = position;
    element.width = e.frame.width();
    element.height = e.frame.height();
    element.attributes = attributes(e);
    element.actions = e.actions;
    if (e.valueSettable)
        element.settable = { "AXValue" };
    return element;
}

void update(SimModel& m, uint64_t id, const SimMirroredElement& e, const SimMirroredElement& old, Point position, bool valueSet)
{
    SimNode* node = m.node(id);
    if (!node)
        return;
    node->attributes = attributes(e);
    node->actions = e.actions;
    node->settable.clear();
    if (e.valueSettable)
        node->settable.insert("AXValue");
    node->position = position;
    node->width = e.frame.width();
    node->height = e.frame.height();
    m.invalidateGeometry();
    if (e.title != old.title)
        m.post(id, "AXTitleChanged");
    if (e.value != old.value || valueSet)
        m.post(id, "AXValueChanged");
    if (e.frame.origin != old.frame.origin)
        m.post(id, "AXMoved");
    if (e.frame.size != old.frame.size)
        m.post(id, "AXResized");
}

} // namespace lorvantine::SimMirroring
