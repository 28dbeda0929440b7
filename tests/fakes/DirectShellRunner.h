#pragma once

#include "platform/portable/StagedCopyRunner.h"

#include <QStringList>

#include <optional>

// Copies the staged text with /bin/sh unprivileged (enough for temporary
// hosts files) and at once, records each command, and can be told to fail.
class DirectShellRunner : public StagedCopyRunner {
public:
    using StagedCopyRunner::StagedCopyRunner;

    const QStringList& commands() const { return m_commands; }
    // `times` runs fail, then the runner works again; -1: until told otherwise.
    void failWith(int status, QByteArray output = {}, bool refused = false, int times = -1) {
        succeed();
        m_outcome = RunnerOutcome{status, std::move(output), refused};
        m_failuresLeft = times;
    }
    void failToStartWith(QString message) {
        succeed();
        m_startError = std::move(message);
    }
    // Answers only after `ms`, from the event loop, like a password prompt.
    void answerAfter(int ms) { m_delayMs = ms; }
    void succeed() {
        m_outcome.reset();
        m_startError.reset();
    }

protected:
    void runAsRoot(const QString& commandLine, Done done) override;

private:
    QStringList m_commands;
    std::optional<RunnerOutcome> m_outcome;
    int m_failuresLeft = -1;
    int m_delayMs = -1;
    std::optional<QString> m_startError;
};
