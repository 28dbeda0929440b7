#pragma once

#include <cstdlib>
#include <utility>

// An xcb reply, freed with the scope that asked for it. Move-only: a copy
// would free the reply twice.
template <typename Reply> class Freed {
public:
    explicit Freed(Reply* reply = nullptr) : m_reply(reply) {}
    ~Freed() { std::free(m_reply); }
    Freed(Freed&& other) noexcept : m_reply(std::exchange(other.m_reply, nullptr)) {}
    Freed& operator=(Freed&& other) noexcept {
        std::swap(m_reply, other.m_reply);
        return *this;
    }
    Freed(const Freed&) = delete;
    Freed& operator=(const Freed&) = delete;

    Reply* get() const { return m_reply; }
    Reply* operator->() const { return m_reply; }
    explicit operator bool() const { return m_reply != nullptr; }

private:
    Reply* m_reply;
};
