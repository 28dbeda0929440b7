#pragma once

#include "hosts/HostsText.h"

#include <QStringList>
#include <QStringView>

// Website entries read, a line at a time, from a file people publish block
// lists in: a plain list (one name a line) or a hosts file ("0.0.0.0 name"
// or "127.0.0.1 name" lines). Comments, blank lines and Tarnhollow's own
// section are passed over; a word that names no host a block can hold is
// counted as skipped.
class WebsiteImport {
public:
    // A word to take: the entry as read and the host name it blocks.
    struct Word {
        QString entry;
        QString name;
    };

    // The line's entries; `skipped` counts the words that are none.
    QList<Word> line(QStringView text);
    int skipped() const { return m_skipped; }

private:
    void take(QStringView word, QList<Word>& into);

    bool m_inOwnSection = false;
    int m_skipped = 0;
};
