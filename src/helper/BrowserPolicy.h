#pragma once

#include "hosts/NameLines.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

// The browsers' share of a block: Chromium-family browsers ask DNS over
// HTTPS on their own and keep a host cache, so they get the list as a
// managed URL blocklist too. Only `managed/tarnhollow.json` in each
// installed browser's policies folder is ever written or removed; the
// folders are made when missing.
class BrowserPolicy {
public:
    // Any `names`: writes them, the lists one after another, as the
    // blocklist of every browser whose own folder under /etc exists. None:
    // removes our file from each. Returns the notices for the user, one for
    // each browser left alone. `root` is for tests; the helper always uses
    // "/". The list is made anew for each file as it is written; `again`
    // (the same names as a sync just before) copies our file where it still
    // stands instead.
    static QStringList sync(const QList<NameLines>& names,
                            const QString& root = QStringLiteral("/"), bool again = false);

    // {"URLBlocklist": [names]}, nothing else, made whole.
    static QByteArray document(const QList<NameLines>& names);

    // Whether a policy file sets a URL blocklist (under its old name too).
    static bool setsBlocklist(QByteArrayView json);
};
