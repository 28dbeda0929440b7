#pragma once

#include <QString>

// A file that could not be read or written: the system's reason and the path.
struct FileError {
    QString path;
    QString reason;

    QString message() const { return QStringLiteral("%1 (%2)").arg(reason, path); }
};
