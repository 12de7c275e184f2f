#pragma once

#include "Platform/PasteboardPort.h"

#include <memory>

namespace lorvantine {

class RemoteDesktop;

// The desktop server's general pasteboard; any thread. Without an answer it is empty and
// refuses writes.
class RemotePasteboard : public PasteboardPort {
public:
    explicit RemotePasteboard(std::shared_ptr<RemoteDesktop> desktop);
    int64_t changeCount() override;
    std::vector<PasteboardItem> pasteboardItems() override;
    std::optional<std::string> stringForType(const std::string& type) override;
    int64_t clearContents() override;
    bool writeObjects(const std::vector<PasteboardItem>& items) override;
    bool setString(const std::string& string, const std::string& type) override;

private:
    const std::shared_ptr<RemoteDesktop> m_desktop;
};

} // namespace lorvantine
