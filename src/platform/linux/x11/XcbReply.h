#pragma once

#include <cstdlib>

// An xcb reply, freed with the scope that asked for it.
template <typename Reply> struct Freed {
    Reply* reply;
    ~Freed() { std::free(reply); }
    Reply* operator->() const { return reply; }
    explicit operator bool() const { return reply != nullptr; }
};
