#pragma once

#include "services/BlockError.h"
#include "base/Result.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class PrivilegedRunner;
class DnsCacheFlusher;

// What HostBlocker touches; every field defaults to the real system's value.
struct HostBlockerOptions {
    QString hostsPath = QStringLiteral("/etc/hosts");
    // Where the staging copy "tarnhollow-hosts" is written; empty means the
    // platform's per-user private directory.
    QString temporaryDirectory;
    std::function<QDateTime()> clock = [] { return QDateTime::currentDateTimeUtc(); };
};

// Blocks websites system-wide through a marked section at the end of the
// hosts file, written with administrator rights.
class HostBlocker {
public:
    using Clock = std::function<QDateTime()>;
    using VoidResult = Result<void, BlockError>;

    using Options = HostBlockerOptions;

    // Null runner or flusher means the platform's own.
    explicit HostBlocker(Options options = Options(),
                         std::unique_ptr<PrivilegedRunner> runner = nullptr,
                         std::unique_ptr<DnsCacheFlusher> flusher = nullptr);
    ~HostBlocker();
    HostBlocker(const HostBlocker&) = delete;
    HostBlocker& operator=(const HostBlocker&) = delete;

    const QString hostsPath;
    const QString markerStart = QStringLiteral("# Tarnhollow:BEGIN");
    const QString markerEnd = QStringLiteral("# Tarnhollow:END");

    // Replaces any block section with one for `domainList`, then flushes DNS.
    VoidResult apply(const QStringList& domainList);
    // Removes every block section.
    VoidResult clear();

    // The UTF-8 texts apply() and clear() hand to the privileged writer,
    // built from the hosts file as it is now. Nothing is written or run.
    Result<QByteArray, BlockError> buildAppliedText(const QStringList& domainList) const;
    Result<QByteArray, BlockError> buildClearedText() const;

    // Where the staging copy goes; empty when no private directory exists.
    QString temporaryFilePath() const;

private:
    // The privileged command that copies the staging file over the hosts file.
    QString copyCommand(const QString& stagingPath) const;
    // The whole hosts file, checked to be valid UTF-8.
    Result<QByteArray, BlockError> readText() const;
    VoidResult writeHosts(const QByteArray& utf8Text);
    VoidResult runAsRoot(const QString& command);

    QString m_temporaryDirectory;
    Clock m_clock;
    std::unique_ptr<PrivilegedRunner> m_runner;
    std::unique_ptr<DnsCacheFlusher> m_flusher;
};
