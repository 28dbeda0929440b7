#pragma once

#include <QString>

// A failure reported by a platform service (file, process), with the
// platform's own text, passed on unchanged. The text may be empty.
struct PlatformError {
    QString message;
};
