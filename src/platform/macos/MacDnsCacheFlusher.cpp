#include "platform/macos/MacDnsCacheFlusher.h"
#include "platform/PrivilegedRunner.h"
void MacDnsCacheFlusher::flush(PrivilegedRunner& runner) {
    // Failure is ignored: the hosts file is already written.
    (void)runner.run(QStringLiteral("/usr/sbin/killall -HUP mDNSResponder >/dev/null 2>&1 || true"));
}
