#include "Platform/Backends/InMemoryUserDefaults.h"

namespace lorvantine {

std::optional<UserDefaults::Value> InMemoryUserDefaults::object(const std::string& key) const
{
    std::lock_guard lock(m_mutex);
    auto found = m_values.find(key);
    if (found == m_values.end())
        return std::nullopt;
    return found->second;
}

void InMemoryUserDefaults::setObject(const std::string& key, Value value)
{
    std::lock_guard lock(m_mutex);
    m_values[key] = std::move(value);
}

void InMemoryUserDefaults::removeObject(const std::string& key)
{
    std::lock_guard lock(m_mutex);
    m_values.erase(key);
}

} // namespace lorvantine
