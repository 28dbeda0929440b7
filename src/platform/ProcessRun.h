#pragma once

#include "platform/PrivilegedRunner.h"

#include <QString>
#include <QStringList>

// Starts `program` directly (no shell in between) with standard output and
// standard error merged, waits for it without a time limit while draining its
// output, and reports how it ended. A crash counts as a non-zero exit. Fails
// only when the program cannot be started.
Result<RunnerOutcome, PlatformError> runToExit(const QString& program,
                                               const QStringList& arguments);
