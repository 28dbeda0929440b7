#include "platform/linux/LinuxPrivilegedRunner.h"
#include "platform/ProcessRun.h"

#include <unistd.h>

namespace {
// pkexec's own exit statuses for a dismissed dialog and a denied request.
constexpr int kPkexecDismissed = 126;
constexpr int kPkexecNotAuthorized = 127;
} // namespace

LinuxPrivilegedRunner::LinuxPrivilegedRunner(QString shell, QString pkexec,
                                             std::optional<bool> asRoot)
    : m_shell(std::move(shell)), m_pkexec(std::move(pkexec)), m_asRoot(asRoot) {}

Result<RunnerOutcome, PlatformError> LinuxPrivilegedRunner::run(const QString& commandLine) {
    const bool root = m_asRoot.value_or(geteuid() == 0);
    if (root)
        return runToExit(m_shell, {QStringLiteral("-c"), commandLine});

    auto outcome = runToExit(m_pkexec, {m_shell, QStringLiteral("-c"), commandLine});
    if (outcome) {
        RunnerOutcome& o = outcome.value();
        o.authorizationRefused =
            o.exitStatus == kPkexecDismissed ||
            (o.exitStatus == kPkexecNotAuthorized && o.output.contains("Not authorized"));
    }
    return outcome;
}
