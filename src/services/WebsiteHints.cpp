#include "services/WebsiteHints.h"

#include <QCoreApplication>

QString websiteHint(const QString& entry) {
    return websiteHint(HostsText::checkDomain(entry).fault);
}

QString websiteHint(HostsText::NameFault fault) {
    const auto tr = [](const char* text) {
        return QCoreApplication::translate("WebsiteHints", text);
    };
    switch (fault) {
    case HostsText::NameFault::None:
        return {};
    case HostsText::NameFault::NoDot:
        return tr("no dot: not a web address, try example.com");
    case HostsText::NameFault::Address:
        return tr("an IP address: only names can be blocked");
    case HostsText::NameFault::ThisMachine:
        return tr("this computer's own name: never blocked");
    case HostsText::NameFault::Characters:
        return tr("has characters no web address has");
    case HostsText::NameFault::Empty:
    case HostsText::NameFault::Shape:
        break;
    }
    return tr("not a web address");
}
