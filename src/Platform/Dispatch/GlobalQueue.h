#pragma once

#include "Platform/Dispatch/Dispatch.h"

namespace lorvantine {

// A concurrent queue over the shared pool; the quality of service is only a label.
class GlobalQueue final : public DispatchQueue {
public:
    explicit GlobalQueue(std::string label)
        : m_label(std::move(label))
    {
    }

    void async(std::function<void()> work) override;
    bool isCurrent() const override;
    const std::string& label() const override { return m_label; }

private:
    std::string m_label;
};

} // namespace lorvantine
