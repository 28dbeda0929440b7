#pragma once

#include "base/ScopedFd.h"

#include <QString>

#include <chrono>
#include <ctime>
#include <optional>
#include <sys/types.h>

// One detached root process per owner that removes the owner's block section
// at its end, so the block ends on time when no app is left to end it. The
// hosts lock lives in a compiled-in folder only root enters.
//
// Two clocks: the section's `until` is wall-clock time, the record that
// survives a reboot; the waiter sleeps on CLOCK_BOOTTIME, which counts
// through suspend and never jumps when the wall clock is set.
namespace Waiter {

using Millis = std::chrono::milliseconds;

struct Wait {
    uid_t owner = 0;
    // The section this waiter is for, as its owner line gives it.
    std::time_t until = 0;
    // When to remove it, on CLOCK_BOOTTIME, at the earliest.
    Millis deadline{0};
    // Also not before this long after the helper that started the waiter has
    // exited, which the app's countdown starts after. Zero: no such helper.
    Millis afterExit{0};
};

// What this process waits for, when it was started as a waiter.
std::optional<Wait> fromArguments(int argc, char** argv);

// CLOCK_BOOTTIME now.
Millis bootNow();

// The deadline of a section's `until` on the boot clock; now when passed.
Millis deadlineOf(Millis untilWall, Millis nowWall, Millis nowBoot);
// When a waiter whose starter exited at `exited` removes its section.
Millis removalTime(const Wait& wait, Millis exited);

void sleepUntil(Millis deadline);

// In a waiter: returns once the helper that started it has exited.
void awaitStarterExit();

// Ends the owner's waiters, then starts one for `wait`. Returns why that
// failed, or nothing.
QString replace(const Wait& wait);

// Ends every waiter of the owner, an older installation's included.
void end(uid_t owner);

// Orders every change of the hosts file by the helper and the waiters; held
// until destroyed. Without the folder there is nothing to lock.
class Lock {
public:
    Lock();
    // Lets go early. A forked child calls it for its copy, which would
    // otherwise hold the lock on after the parent is done.
    void release() { m_fd.reset(-1); }

private:
    ScopedFd m_fd;
};

} // namespace Waiter
