#pragma once

#include "platform/PrivilegedRunner.h"

#include <QString>

#include <optional>

// Runs `/bin/sh -c CMD` directly when already root, else through pkexec,
// which shows the desktop's authentication dialog.
class LinuxPrivilegedRunner : public PrivilegedRunner {
public:
    // `asRoot` empty means: look at the effective user id at each run.
    explicit LinuxPrivilegedRunner(QString shell = QStringLiteral("/bin/sh"),
                                   QString pkexec = QStringLiteral("/usr/bin/pkexec"),
                                   std::optional<bool> asRoot = std::nullopt);

    Result<RunnerOutcome, PlatformError> run(const QString& commandLine) override;

private:
    QString m_shell;
    QString m_pkexec;
    std::optional<bool> m_asRoot;
};
