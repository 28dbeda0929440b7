#pragma once

#include <chrono>
#include <functional>

// A session clock for tests that let real time pass.
inline std::function<std::chrono::milliseconds()> steadyClock() {
    return [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
    };
}
