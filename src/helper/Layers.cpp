#include "helper/Layers.h"

#include "helper/BrowserPolicy.h"
#include "helper/NftBlock.h"

namespace Layers {

QString kernelMissing() {
    return NftBlock::missing();
}

QString prepareKernel(uid_t owner) {
    return NftBlock::prepare(owner);
}

QString fillKernel(uid_t owner, const std::vector<ConnectionCloser::Address>& addresses,
                   Waiter::Millis left) {
    return NftBlock::add(owner, addresses, left);
}

void endKernel(uid_t owner) {
    NftBlock::remove(owner);
}

QStringList syncBrowsers(const QList<NameLines>& names, bool again) {
    return BrowserPolicy::sync(names, QStringLiteral("/"), again);
}

} // namespace Layers
