#pragma once

#include <QString>
#include <optional>
#include <utility>

namespace runel {

// Why an operation failed, in words for the user (the system's own where it has them).
struct Failure {
    QString message;
};

// What an operation that can fail gives back: its value, or the Failure that says why not. The
// one shape of an expected failure across the core; nothing here throws. (std::expected would
// do, but it needs C++23 and a compiler newer than some that build the core.)
template<typename T> class Expected {
public:
    Expected(T value)
        : m_value(std::move(value))
    { }
    Expected(Failure failure)
        : m_error(std::move(failure.message))
    { }

    bool has_value() const { return m_value.has_value(); }
    explicit operator bool() const { return has_value(); }

    // Only when has_value().
    T &value() & { return *m_value; }
    const T &value() const & { return *m_value; }
    T &&value() && { return std::move(*m_value); }
    T &operator*() & { return *m_value; }
    const T &operator*() const & { return *m_value; }
    T *operator->() { return &*m_value; }
    const T *operator->() const { return &*m_value; }

    T value_or(T fallback) const & { return m_value ? *m_value : std::move(fallback); }
    T value_or(T fallback) && { return m_value ? std::move(*m_value) : std::move(fallback); }

    // Empty when has_value().
    const QString &error() const { return m_error; }

private:
    std::optional<T> m_value;
    QString m_error;
};

// An operation that gives nothing back: success, or the Failure that says why not.
template<> class Expected<void> {
public:
    Expected() = default;
    Expected(Failure failure)
        : m_failed(true)
        , m_error(std::move(failure.message))
    { }

    bool has_value() const { return !m_failed; }
    explicit operator bool() const { return has_value(); }

    // Empty when has_value().
    const QString &error() const { return m_error; }

private:
    bool m_failed = false;
    QString m_error;
};

} // namespace runel
