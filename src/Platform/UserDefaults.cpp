#include "Platform/UserDefaults.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

namespace lorvantine {

namespace {

std::string_view skipLeadingSpace(std::string_view text)
{
    size_t start = 0;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\t' || text[start] == '\n' || text[start] == '\r'))
        ++start;
    return text.substr(start);
}

// A numeric string reads as its leading number ("2.5x" is 2.5, "abc" is 0), independent of the
// C locale.
double leadingDouble(std::string_view text)
{
    text = skipLeadingSpace(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    double value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    (void)end;
    if (error != std::errc())
        return 0;
    return value;
}

int64_t saturatingInteger(double value)
{
    if (std::isnan(value))
        return 0;
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    constexpr double limit = 9223372036854775808.0;
    if (value >= limit)
        return std::numeric_limits<int64_t>::max();
    if (value < -limit)
        return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(value);
}

int64_t leadingInteger(std::string_view text)
{
    text = skipLeadingSpace(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        int digit = c - '0';
        if (value > (std::numeric_limits<int64_t>::max() - digit) / 10)
            return negative ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        if (x != b[i])
            return false;
    }
    return true;
}

template<typename... Handlers> struct Overloaded : Handlers... {
    using Handlers::operator()...;
};
template<typename... Handlers> Overloaded(Handlers...) -> Overloaded<Handlers...>;

} // namespace

double UserDefaults::doubleForKey(const std::string& key) const
{
    std::optional<Value> stored = object(key);
    if (!stored)
        return 0;
    return std::visit(Overloaded {
        [](bool value) { return value ? 1.0 : 0.0; },
        [](int64_t value) { return static_cast<double>(value); },
        [](double value) { return value; },
        [](const std::string& value) { return leadingDouble(value); },
    }, *stored);
}

float UserDefaults::floatForKey(const std::string& key) const
{
    return static_cast<float>(doubleForKey(key));
}

int64_t UserDefaults::integerForKey(const std::string& key) const
{
    std::optional<Value> stored = object(key);
    if (!stored)
        return 0;
    return std::visit(Overloaded {
        [](bool value) -> int64_t { return value ? 1 : 0; },
        [](int64_t value) { return value; },
        [](double value) { return saturatingInteger(value); },
        [](const std::string& value) { return leadingInteger(value); },
    }, *stored);
}

bool UserDefaults::boolForKey(const std::string& key) const
{
    std::optional<Value> stored = object(key);
    if (!stored)
        return false;
    return std::visit(Overloaded {
        [](bool value) { return value; },
        [](int64_t value) { return value != 0; },
        [](double value) { return value != 0; },
        [](const std::string& value) {
            std::string_view text = skipLeadingSpace(value);
            if (equalsIgnoringCase(text, "yes") || equalsIgnoringCase(text, "true"))
                return true;
            return leadingInteger(text) != 0;
        },
    }, *stored);
}

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) const
{
    std::optional<Value> stored = object(key);
    if (!stored)
        return std::nullopt;
    if (const std::string* text = std::get_if<std::string>(&*stored))
        return *text;
    return std::nullopt;
}

} // namespace lorvantine
