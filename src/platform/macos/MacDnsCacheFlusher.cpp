#include "platform/macos/MacDnsCacheFlusher.h"
#include "platform/macos/OsascriptRunner.h"

MacDnsCacheFlusher::MacDnsCacheFlusher(QString program) : m_program(std::move(program)) {}

void MacDnsCacheFlusher::flush() {
    // Failure is ignored: the hosts file is already written.
    runProcess(&m_processes, m_program,
               {QStringLiteral("-e"),
                OsascriptRunner::script(QStringLiteral(
                    "/usr/sbin/killall -HUP mDNSResponder >/dev/null 2>&1 || true"))},
               {}, [](PrivilegedRunner::Outcome) {});
}
