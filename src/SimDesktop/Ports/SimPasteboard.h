#pragma once

#include "Platform/PasteboardPort.h"

#include <memory>

namespace lorvantine {

class SimDesktop;

class SimPasteboard final : public PasteboardPort {
public:
    explicit SimPasteboard(std::shared_ptr<SimDesktop> desktop) : m_desktop(std::move(desktop)) {}

    int64_t changeCount() override;
    std::vector<PasteboardItem> pasteboardItems() override;
    std::optional<std::string> stringForType(const std::string& type) override;
    int64_t clearContents() override;
    bool writeObjects(const std::vector<PasteboardItem>& items) override;
    bool setString(const std::string& string, const std::string& type) override;

private:
    std::shared_ptr<SimDesktop> m_desktop;
};

} // namespace lorvantine
