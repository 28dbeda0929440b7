#pragma once

#include <cstdlib>
#include <utility>

// An xcb reply, freed with the scope that asked for it.
template <typename Reply> struct Freed {
    explicit Freed(Reply* r = nullptr) : reply(r) {}
    Freed(Freed&& other) noexcept : reply(std::exchange(other.reply, nullptr)) {}
    ~Freed() { std::free(reply); }
    // A copy would free the reply twice.
    Freed(const Freed&) = delete;
    Freed& operator=(const Freed&) = delete;
    Reply* operator->() const { return reply; }
    explicit operator bool() const { return reply != nullptr; }

    Reply* reply;
};
