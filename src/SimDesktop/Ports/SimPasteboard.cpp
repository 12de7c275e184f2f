#include "SimDesktop/Ports/SimPasteboard.h"

#include "SimDesktop/SimDesktop.h"

namespace lorvantine {

int64_t SimPasteboard::changeCount()
{
    return m_desktop->withModel([](SimModel& m) { return m.pasteboardChangeCount; });
}

std::vector<PasteboardItem> SimPasteboard::pasteboardItems()
{
    return m_desktop->withModel([](SimModel& m) { return m.pasteboard; });
}

std::optional<std::string> SimPasteboard::stringForType(const std::string& type)
{
    return m_desktop->withModel([&](SimModel& m) -> std::optional<std::string> {
        if (m.pasteboard.empty())
            return std::nullopt;
        if (const std::string* data = m.pasteboard.front().dataForType(type))
            return *data;
        return std::nullopt;
    });
}

int64_t SimPasteboard::clearContents()
{
    return m_desktop->withModel([](SimModel& m) {
        m.pasteboard.clear();
        return ++m.pasteboardChangeCount;
    });
}

bool SimPasteboard::writeObjects(const std::vector<PasteboardItem>& items)
{
    return m_desktop->withModel([&](SimModel& m) {
        m.pasteboard.insert(m.pasteboard.end(), items.begin(), items.end());
        return true;
    });
}

bool SimPasteboard::setString(const std::string& string, const std::string& type)
{
    return m_desktop->withModel([&](SimModel& m) {
        if (m.pasteboard.empty())
            m.pasteboard.emplace_back();
        auto& representations = m.pasteboard.front().representations;
        for (auto& [t, data] : representations) {
            if (t == type) {
                data = string;
                return true;
            }
        }
        representations.emplace_back(type, string);
        return true;
    });
}

} // namespace lorvantine
