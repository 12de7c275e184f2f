#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace lorvantine {

// The persistent settings store: typed accessors over keys, with the platform's "absent"
// meanings. Safe to use from any thread. Every write is stored at once.
class UserDefaults {
public:
    using Value = std::variant<bool, int64_t, double, std::string>;

    virtual ~UserDefaults() = default;

    virtual std::optional<Value> object(const std::string& key) const = 0;
    virtual void setObject(const std::string& key, Value value) = 0;
    virtual void removeObject(const std::string& key) = 0;

    // 0 when the key is absent or holds no number (a numeric string is read as its number).
    float floatForKey(const std::string& key) const;
    double doubleForKey(const std::string& key) const;
    int64_t integerForKey(const std::string& key) const;
    // false when absent; numbers are true when non-zero; strings "YES"/"true"/"1" are true.
    bool boolForKey(const std::string& key) const;
    // none when absent; numbers are not strings.
    std::optional<std::string> stringForKey(const std::string& key) const;

    void set(const std::string& key, float value) { setObject(key, static_cast<double>(value)); }
    void set(const std::string& key, double value) { setObject(key, value); }
    void set(const std::string& key, bool value) { setObject(key, value); }
    void set(const std::string& key, const std::string& value) { setObject(key, value); }
    void set(const std::string& key, const char* value) { setObject(key, std::string(value)); }
};

} // namespace lorvantine
