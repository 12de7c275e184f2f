#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace lorvantine::test {

// Sets (or, with none, removes) an environment variable for its lifetime.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::string name, const std::optional<std::string>& value) : m_name(std::move(name))
    {
        if (const char* old = std::getenv(m_name.c_str()))
            m_previous = old;
        apply(value);
    }
    ~ScopedEnvironment() { apply(m_previous); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    void apply(const std::optional<std::string>& value)
    {
        if (value)
            ::setenv(m_name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(m_name.c_str());
    }

    std::string m_name;
    std::optional<std::string> m_previous;
};

} // namespace lorvantine::test
