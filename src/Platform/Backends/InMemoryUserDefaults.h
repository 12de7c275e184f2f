#pragma once

#include "Platform/UserDefaults.h"

#include <map>
#include <mutex>

namespace lorvantine {

// Settings that live only as long as the process: the store of tests and of a run that has no
// configuration directory to keep a settings file in.
class InMemoryUserDefaults final : public UserDefaults {
public:
    InMemoryUserDefaults() = default;
    explicit InMemoryUserDefaults(std::map<std::string, Value> values) : m_values(std::move(values)) {}

    std::optional<Value> object(const std::string& key) const override;
    void setObject(const std::string& key, Value value) override;
    void removeObject(const std::string& key) override;

private:
    mutable std::mutex m_mutex;
    std::map<std::string, Value> m_values;
};

} // namespace lorvantine
