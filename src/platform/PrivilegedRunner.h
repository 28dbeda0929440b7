#pragma once

#include "platform/PlatformError.h"
#include "base/Result.h"

#include <QByteArray>
#include <QString>

// How a privileged command ended. The exit status alone decides success.
struct RunnerOutcome {
    int exitStatus = 0;
    // Standard output and standard error, merged, as the runner wrote them.
    QByteArray output;
    // The user refused or cancelled the system's authentication prompt.
    bool authorizationRefused = false;
};

// Runs one shell command line with administrator rights, after the system's
// own authentication prompt where one is needed. Blocks until it has exited.
class PrivilegedRunner {
public:
    virtual ~PrivilegedRunner() = default;
    // Fails only when the runner cannot be started at all.
    virtual Result<RunnerOutcome, PlatformError> run(const QString& commandLine) = 0;
};
