#include "Platform/Backends/RemotePasteboard.h"

#include "Platform/Backends/DesktopWire.h"
#include "Platform/Backends/RemoteDesktop.h"

namespace lorvantine {

namespace Wire = DesktopWire;

namespace {
int64_t pasteboardCount(const std::optional<nlohmann::json>& answer)
{
    return answer && answer->is_number_integer() ? answer->get<int64_t>() : 0;
}
bool pasteboardDone(const std::optional<nlohmann::json>& answer)
{
    return answer && answer->is_boolean() && answer->get<bool>();
}
} // namespace

RemotePasteboard::RemotePasteboard(std::shared_ptr<RemoteDesktop> desktop)
    : m_desktop(std::move(desktop))
{
}

int64_t RemotePasteboard::changeCount() { return pasteboardCount(m_desktop->call({ { "op", "pb.changeCount" } })); }

std::vector<PasteboardItem> RemotePasteboard::pasteboardItems()
{
    return Wire::readItems(m_desktop->call({ { "op", "pb.items" } }), Wire::readPasteboardItem)
        .value_or(std::vector<PasteboardItem> {});
}

std::optional<std::string> RemotePasteboard::stringForType(const std::string& type)
{
    auto answer = m_desktop->call({ { "op", "pb.string" }, { "type", type } });
    if (answer && answer->is_string())
        return answer->get<std::string>();
    return std::nullopt;
}

int64_t RemotePasteboard::clearContents() { return pasteboardCount(m_desktop->call({ { "op", "pb.clear" } })); }

bool RemotePasteboard::writeObjects(const std::vector<PasteboardItem>& items)
{
    nlohmann::json list = nlohmann::json::array();
    for (const auto& item : items)
        list.push_back(Wire::pasteboardItem(item));
    return pasteboardDone(m_desktop->call({ { "op", "pb.write" }, { "items", std::move(list) } }));
}

bool RemotePasteboard::setString(const std::string& string, const std::string& type)
{
    return pasteboardDone(m_desktop->call({ { "op", "pb.setString" }, { "string", string }, { "type", type } }));
}

} // namespace lorvantine
