#pragma once

#include "base/AtomicFileWriter.h"
#include "hosts/NameLines.h"

#include <QByteArray>
#include <QDateTime>

#include <vector>

// A block section's text (see HostsText::sectionText) made a part at a time
// as it is written: a section of 100,000 names, four lines' worth of bytes
// each, is never whole in memory.
class HostsSection : public AtomicFileWriter::Source {
public:
    // `names`: ASCII host names of at most 253 bytes, in any order and with
    // duplicates; the section holds them sorted, each once.
    HostsSection(NameLines names, const QDateTime& when, uint ownerUid, const QDateTime& until);

    void rewind() override;
    // `room` is at least kLeastRoom: a name's lines are never split.
    qsizetype read(char* into, qsizetype room) override;
    static constexpr qsizetype kLeastRoom = 4096;

    // All of it at once.
    QByteArray text();

private:
    NameLines m_names;
    std::vector<quint64> m_places; // empty when m_names are in order
    QByteArray m_head;
    NameLines::Iterator m_next;
    size_t m_placed = 0;
    bool m_headDone = false;
    bool m_tailDone = false;
};
