#pragma once

#include "Platform/Dispatch/Dispatch.h"

#include <deque>
#include <mutex>

namespace lorvantine {

// Runs its work one item at a time, in order, on pool threads. While it holds work, the pool job
// that drains it keeps it alive; released and empty, it leaves nothing behind.
class SerialQueue final : public DispatchQueue, public std::enable_shared_from_this<SerialQueue> {
public:
    explicit SerialQueue(std::string label)
        : m_label(std::move(label))
    {
    }

    void async(std::function<void()> work) override;
    bool isCurrent() const override;
    const std::string& label() const override { return m_label; }

private:
    void drain();

    std::mutex m_mutex;
    std::deque<std::function<void()>> m_items;
    bool m_draining = false;
    std::string m_label;
};

} // namespace lorvantine
