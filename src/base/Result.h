#pragma once

#include <type_traits>
#include <optional>
#include <utility>
#include <variant>

// A value or the error that prevented it. Errors are values here: nothing that
// can fail throws, so nothing unwinds through Qt's event loop.
// <type_traits> rather than <concepts>: moc cannot read the latter.
template <typename T, typename E> class [[nodiscard]] Result {
public:
    Result(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Result(E error) : m_state(std::in_place_index<1>, std::move(error)) {}
    // Lets a more specific error (say, a platform error) stand for E.
    template <typename X>
        requires(std::is_constructible_v<E, X> && !std::is_constructible_v<T, X> &&
                 !std::is_same_v<std::remove_cvref_t<X>, E>)
    Result(X error) : m_state(std::in_place_index<1>, E(std::move(error))) {}

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    const T& value() const { return std::get<0>(m_state); }
    T& value() { return std::get<0>(m_state); }
    const E& error() const { return std::get<1>(m_state); }

private:
    std::variant<T, E> m_state;
};

template <typename E> class [[nodiscard]] Result<void, E> {
public:
    Result() = default;
    Result(E error) : m_error(std::move(error)) {}
    template <typename X>
        requires(std::is_constructible_v<E, X> && !std::is_same_v<std::remove_cvref_t<X>, E>)
    Result(X error) : m_error(E(std::move(error))) {}
    static Result success() { return Result(); }

    bool ok() const { return !m_error.has_value(); }
    explicit operator bool() const { return ok(); }
    const E& error() const { return *m_error; }

private:
    std::optional<E> m_error;
};
