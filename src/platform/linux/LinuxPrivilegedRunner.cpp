#include "platform/linux/LinuxPrivilegedRunner.h"
// Placeholder: implemented with the website-blocking work.
Result<RunnerOutcome, PlatformError> LinuxPrivilegedRunner::run(const QString&) { return PlatformError{}; }
