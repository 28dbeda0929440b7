#include "platform/macos/OsascriptRunner.h"
// Placeholder: implemented with the website-blocking work.
OsascriptRunner::OsascriptRunner(QString program) : m_program(std::move(program)) {}
Result<RunnerOutcome, PlatformError> OsascriptRunner::run(const QString&) { return PlatformError{}; }
