#pragma once

#include "base/FileError.h"
#include "base/Result.h"
#include "platform/LoginEntry.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

// A running session as it outlives the window: when it ends and what it
// blocks.
struct SessionRecord {
    QDateTime end; // UTC
    QStringList websites;
    QStringList appBundleIds;
};

// Keeps the record of the running session, and while one exists, an
// autostart entry that brings the app back at login to end it on time.
class SessionRecordStore {
public:
    // An empty autostart path means the platform has no such folder; the
    // launch command is what that entry runs.
    SessionRecordStore(QString path, QString autostartEntryPath, QString launchCommand);

    const QString& path() const { return m_path; }
    const QString& autostartEntryPath() const { return m_loginEntry.path(); }

    // Nothing when there is no record, it cannot be read, or it ends more
    // than an hour after `now`: no session lasts that long.
    std::optional<SessionRecord> load(const QDateTime& now) const;
    bool exists() const;
    Result<void, FileError> save(const SessionRecord& record) const;
    void remove() const;

    // $XDG_STATE_HOME (or ~/.local/state)/Tarnhollow/session.json.
    static QString defaultPath();

private:
    QString m_path;
    LoginEntry m_loginEntry;
};
