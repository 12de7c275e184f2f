#include "SimDesktop/Toolkit/SimToolkitRouter.h"

#include "Platform/Dispatch/Dispatch.h"
#include "SimDesktop/Model/SimGeometry.h"
#include "SimDesktop/Model/SimInputRouting.h"
#include "SimDesktop/Model/SimJournalEntry.h"
#include "SimDesktop/Model/SimModel.h"

namespace lorvantine {

namespace {

bool isMouse(InputEventType type)
{
    switch (type) {
    case InputEventType::mouseMoved:
    case InputEventType::leftMouseDown:
    case InputEventType::leftMouseDragged:
    case InputEventType::leftMouseUp:
    case InputEventType::rightMouseDown:
    case InputEventType::rightMouseDragged:
    case InputEventType::rightMouseUp:
        return true;
    default:
        return false;
    }
}

} // namespace

void SimToolkitRouter::setActivatesOnClick(uint32_t windowNumber, bool activates)
{
    std::lock_guard lock(m_mutex);
    if (activates)
        m_activating.insert(windowNumber);
    else
        m_activating.erase(windowNumber);
}

void SimToolkitRouter::onJournalEntry(SimModel& model, const SimJournalEntry& entry)
{
    if (entry.kind == SimJournalEntry::Kind::action) {
        if (entry.result != AXError::success || entry.element.pid != m_pid)
            return;
        DispatchQueue::main().async([to = m_destination, element = entry.element, action = entry.name] {
            if (to->onAction)
                to->onAction(element, action);
        });
        return;
    }
    if (entry.kind == SimJournalEntry::Kind::setAttribute) {
        if (entry.name != "AXValue" || entry.result != AXError::success || entry.element.pid != m_pid)
            return;
        DispatchQueue::main().async([to = m_destination, element = entry.element, value = entry.value] {
            if (to->onSetValue)
                to->onSetValue(element, value);
        });
        return;
    }
    if (entry.kind == SimJournalEntry::Kind::event && entry.event && entry.event->isKeyboard()) {
        if (!SimInputRouting::keyReaches(model, entry, m_pid))
            return;
        DispatchQueue::main().async([to = m_destination, event = *entry.event] {
            if (to->onKey)
                to->onKey(event);
        });
        return;
    }
    if (entry.kind != SimJournalEntry::Kind::event || !entry.event || !isMouse(entry.event->type))
        return;
    const bool toUs = !entry.tap && entry.pid == m_pid;
    if (!entry.tap && !toUs)
        return;
    const InputEvent event = *entry.event;
    const bool press = event.type == InputEventType::leftMouseDown || event.type == InputEventType::rightMouseDown;
    const bool release = event.type == InputEventType::leftMouseUp || event.type == InputEventType::rightMouseUp;
    const bool drag = event.type == InputEventType::leftMouseDragged || event.type == InputEventType::rightMouseDragged;
    std::optional<uint32_t> ours;
    bool activates = false;
    {
        std::lock_guard lock(m_mutex);
        if (m_pressed && (drag || release)) {
            ours = m_pressedWindow;
        } else {
            const SimModel::Window* hit = SimGeometry::windowAt(model, toUs ? m_pid : 0, event.location);
            if (hit && hit->pid == m_pid)
                ours = hit->number;
        }
        if (press) {
            m_pressed = true;
            m_pressedWindow = ours;
            activates = ours && m_activating.count(*ours);
        } else if (release) {
            m_pressed = false;
            m_pressedWindow.reset();
        }
    }
    if (activates)
        model.setFrontmost(m_pid);
    DispatchQueue::main().async([to = m_destination, ours, event] {
        if (to->onMouse)
            to->onMouse(ours, event);
    });
}

} // namespace lorvantine
