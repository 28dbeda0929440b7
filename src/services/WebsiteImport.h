#pragma once

#include <QByteArrayView>
#include <QStringList>

// Website entries read from a file people publish block lists in: a plain
// list (one name a line) or a hosts file ("0.0.0.0 name" or "127.0.0.1
// name" lines). Comments, blank lines and Tarnhollow's own section are
// passed over; anything that is not a web address is counted as skipped.
struct WebsiteImport {
    QStringList entries; // as read, in file order, duplicates included
    int skipped = 0;

    static WebsiteImport parse(QByteArrayView bytes);
};
