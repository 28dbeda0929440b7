#pragma once

#include <QString>

// The root helper's benches run in private mount, network and pid
// namespaces with a private /run and a copy of /etc mounted over it, so the
// machine's own hosts file, firewall and waiters are never touched.
namespace BenchNamespace {

// Outside: re-runs this program inside the namespaces and returns only when
// that failed. Inside: returns at once. Either way, true means go on.
bool enter(int argc, char** argv, const char* name);

// Mounts the private /run and /etc (a copy under the folder returned, which
// lives in that /run, so nothing is left behind in the machine's /tmp);
// loopback is up. Empty when that failed.
QString privateSystem();

// Until no `helper block` runs any more (the connection closing a block
// leaves behind), for at most `limitMs`; polls every `pollMs`.
void awaitHelperBlocks(const QString& helper, int limitMs, int pollMs);

} // namespace BenchNamespace
