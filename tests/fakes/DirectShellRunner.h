#pragma once

#include "platform/PrivilegedRunner.h"

#include <QStringList>

#include <optional>

// Runs each command with /bin/sh unprivileged (enough for temporary hosts
// files), records it, and can be told to fail instead.
class DirectShellRunner : public PrivilegedRunner {
public:
    Result<RunnerOutcome, PlatformError> run(const QString& commandLine) override;

    const QStringList& commands() const { return m_commands; }
    void failWith(int status, QByteArray output = {}, bool refused = false) {
        succeed();
        m_outcome = RunnerOutcome{status, std::move(output), refused};
    }
    void failToStartWith(QString message) {
        succeed();
        m_startError = std::move(message);
    }
    void succeed() {
        m_outcome.reset();
        m_startError.reset();
    }

private:
    QStringList m_commands;
    std::optional<RunnerOutcome> m_outcome;
    std::optional<QString> m_startError;
};
