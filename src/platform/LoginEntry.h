#pragma once

#include "base/FileError.h"
#include "base/Result.h"

#include <QString>

// The autostart entry that brings the app back at login while a session
// runs, so that it ends the session on time.
class LoginEntry {
public:
    // An empty path means the platform has no autostart folder; `program` is
    // what the entry runs, with --resume-session.
    LoginEntry(QString path, QString program);

    const QString& path() const { return m_path; }

    // Refuses a program path that an entry cannot hold (a line feed).
    Result<void, FileError> write() const;
    void remove() const;

private:
    QString m_path;
    QString m_program;
};
