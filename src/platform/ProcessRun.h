#pragma once

#include "platform/PrivilegedRunner.h"

#include <QObject>
#include <QString>
#include <QStringList>

// Holds running processes. When it goes, they are killed without a word:
// nobody is left to hear how they ended.
class ProcessOwner : public QObject {
public:
    ~ProcessOwner() override;
};

// Starts `program` directly (no shell in between) with standard output and
// standard error merged and `input` on its standard input, and returns at
// once. `done` runs from the event loop when it has exited (a crash counts
// as a non-zero exit), or with the platform's error when it cannot start.
// The process belongs to `owner`: if the owner goes first, `done` never runs.
void runProcess(ProcessOwner* owner, const QString& program, const QStringList& arguments,
                const QByteArray& input, PrivilegedRunner::Done done);
