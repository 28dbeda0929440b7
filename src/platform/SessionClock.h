#pragma once

#include <chrono>
#include <ctime>

// Reads a POSIX clock, such as the one defaultSessionClockId() names.
inline std::chrono::milliseconds readClock(int clockId) {
    timespec now{};
    ::clock_gettime(clockid_t(clockId), &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::duration_cast<std::chrono::milliseconds>(
                                                  std::chrono::nanoseconds(now.tv_nsec));
}
