#pragma once

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

namespace lorvantine {

// The error side of an Expected, so that `return Unexpected(FileError{...});` reads as a failure
// even when the value and error types could convert into each other.
template<typename E>
struct Unexpected {
    E error;
    explicit Unexpected(E value)
        : error(std::move(value))
    {
    }
};

namespace ExpectedDetail {
[[noreturn]] inline void badAccess(const char* what)
{
    std::fprintf(stderr, "Expected: %s\n", what);
    std::abort();
}
} // namespace ExpectedDetail

// A value or an error. Reading the side that is not there is a programming error and aborts.
template<typename T, typename E>
class Expected {
public:
    using ValueType = T;
    using ErrorType = E;

    template<typename U = T>
        requires std::is_constructible_v<T, U&&> && (!std::is_same_v<std::remove_cvref_t<U>, Expected>)
        && (!std::is_same_v<std::remove_cvref_t<U>, Unexpected<E>>)
    Expected(U&& value)
        : m_storage(std::in_place_index<0>, std::forward<U>(value))
    {
    }
    Expected(Unexpected<E> unexpected)
        : m_storage(std::in_place_index<1>, std::move(unexpected.error))
    {
    }

    bool hasValue() const { return m_storage.index() == 0; }
    explicit operator bool() const { return hasValue(); }

    T& value() &
    {
        if (!hasValue())
            ExpectedDetail::badAccess("value() of an error");
        return std::get<0>(m_storage);
    }
    const T& value() const&
    {
        if (!hasValue())
            ExpectedDetail::badAccess("value() of an error");
        return std::get<0>(m_storage);
    }
    T&& value() &&
    {
        if (!hasValue())
            ExpectedDetail::badAccess("value() of an error");
        return std::get<0>(std::move(m_storage));
    }
    const E& error() const&
    {
        if (hasValue())
            ExpectedDetail::badAccess("error() of a value");
        return std::get<1>(m_storage);
    }
    E&& error() &&
    {
        if (hasValue())
            ExpectedDetail::badAccess("error() of a value");
        return std::get<1>(std::move(m_storage));
    }

    template<typename U>
    T valueOr(U&& fallback) const&
    {
        return hasValue() ? std::get<0>(m_storage) : static_cast<T>(std::forward<U>(fallback));
    }

    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

private:
    std::variant<T, E> m_storage;
};

// Success without a value, or an error.
template<typename E>
class Expected<void, E> {
public:
    using ValueType = void;
    using ErrorType = E;

    Expected() = default;
    Expected(Unexpected<E> unexpected)
        : m_error(std::move(unexpected.error))
    {
    }

    bool hasValue() const { return !m_error.has_value(); }
    explicit operator bool() const { return hasValue(); }

    const E& error() const
    {
        if (hasValue())
            ExpectedDetail::badAccess("error() of a success");
        return *m_error;
    }

private:
    std::optional<E> m_error;
};

} // namespace lorvantine
