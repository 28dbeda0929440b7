#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

// The browsers' share of a block: Chromium-family browsers ask DNS over
// HTTPS on their own and keep a host cache, so they get the list as a
// managed URL blocklist too. Only `managed/tarnhollow.json` in each
// installed browser's policies folder is ever written or removed; the
// folders are made when missing.
class BrowserPolicy {
public:
    // Non-empty `names`: writes them as the blocklist of every browser whose
    // own folder under /etc exists. Empty: removes our file from each. Returns
    // the notices for the user, one for each browser left alone. `root` is
    // for tests; the helper always uses "/". `madeDocument`, when given,
    // keeps the document once made, or is used as it is when not empty.
    static QStringList sync(const QStringList& names, const QString& root = QStringLiteral("/"),
                            QByteArray* madeDocument = nullptr);

    // {"URLBlocklist": [names]}, nothing else.
    static QByteArray document(const QStringList& names);

    // Whether a policy file sets a URL blocklist (under its old name too).
    static bool setsBlocklist(QByteArrayView json);
};
