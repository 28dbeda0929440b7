#pragma once

#include "base/ScopedFd.h"

#include <QString>

#include <ctime>
#include <optional>
#include <sys/types.h>

// One detached root process per owner that removes the owner's block section
// at its end, so the block ends on time when no app is left to end it. Its
// pid file and the hosts lock live in a compiled-in folder only root enters.
namespace Waiter {

struct Wait {
    uid_t owner = 0;
    std::time_t until = 0;
};

// What this process waits for, when it was started as a waiter.
std::optional<Wait> fromArguments(int argc, char** argv);

// Absolute on the wall clock, so it returns right after a resume that
// passed the end.
void sleepUntil(std::time_t until);

// Ends the owner's waiter, then starts one for `wait`. Returns why that
// failed, or nothing.
QString replace(const Wait& wait);

// Ends the owner's waiter, if one runs.
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
