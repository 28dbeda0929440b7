#pragma once

#include <QString>

// The error of website blocking. Its description is its only user-facing text.
class HostBlockerError {
public:
    enum class Case { CommandFailed, NotAuthorized };

    static HostBlockerError commandFailed(QString detail);
    static HostBlockerError notAuthorized();

    Case kind() const { return m_case; }
    // The runner's output for CommandFailed; empty otherwise.
    const QString& detail() const { return m_detail; }
    QString errorDescription() const;

    bool operator==(const HostBlockerError&) const = default;

private:
    HostBlockerError(Case c, QString detail) : m_case(c), m_detail(std::move(detail)) {}
    Case m_case;
    QString m_detail;
};
