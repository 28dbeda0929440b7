#pragma once

#include "helper/ConnectionCloser.h"
#include "helper/Waiter.h"
#include "hosts/NameLines.h"

#include <QString>
#include <QStringList>

#include <sys/types.h>
#include <vector>

// What a block holds besides the hosts file: the kernel's address sets,
// which bite open connections and browsers' own DNS, and the Chromium
// family's managed website list, which bites subdomains. Each follows the
// hosts file's sections and ends with them.
namespace Layers {

// Why the kernel's layer is missing here, at a glance; or nothing.
QString kernelMissing();
// Makes ready the owner's rules; why that is not possible here, or nothing.
QString prepareKernel(uid_t owner);
// Adds the addresses, each timing out after `left` should nothing remove it.
// The caller holds the lock, and has seen that the block still stands.
QString fillKernel(uid_t owner, const std::vector<ConnectionCloser::Address>& addresses,
                   Waiter::Millis left);
void endKernel(uid_t owner);

// The browsers' lists become `names`, the lists one after another, or go
// when they are empty. Returns quiet notices (a browser whose administrator
// keeps a list of their own). `again`: the same names as the sync before.
QStringList syncBrowsers(const QList<NameLines>& names, bool again = false);

} // namespace Layers
