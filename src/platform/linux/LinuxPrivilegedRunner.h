#pragma once
#include "platform/PrivilegedRunner.h"
// Runs /bin/sh -c CMD directly when already root, else through pkexec.
class LinuxPrivilegedRunner : public PrivilegedRunner {
public:
    Result<RunnerOutcome, PlatformError> run(const QString& commandLine) override;
};
