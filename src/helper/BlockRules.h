#pragma once

#include "hosts/HostsText.h"
#include "hosts/NameLines.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>
#include <sys/types.h>

// The root helper's decisions, as plain functions of the hosts file's text,
// the caller and the time: who may remove what, when a block ends.
namespace BlockRules {

// The user pkexec acted for; root when run as root directly. A value that is
// not a plain number is nobody, never root.
uid_t callerUid(uid_t realUid, const char* pkexecUid);

struct Split {
    QList<HostsText::Section> removable;
    QList<HostsText::Section> kept;
};
// The file's sections: those `caller` may remove at `now`, and the others.
Split split(QByteArrayView text, uid_t caller, const QDateTime& now);

// The kept section that stops a new block, if any: another user's running
// session, or a section that names no owner. A lone marker blocks nothing,
// so it stays where it is and stops nothing.
std::optional<HostsText::Section> blockingSection(const Split& split);

// Sections that name no owner and lone markers: what an administrator's
// authenticated run removes.
QList<HostsText::Section> unowned(QByteArrayView text);

// Sections whose end has passed, and the owned ones still running.
Split byEnd(QByteArrayView text, const QDateTime& now);

// The end written into a new section: `length` after `now`, rounded up to
// the next whole second.
QDateTime endOf(const QDateTime& now, std::chrono::seconds length);

// Why a block or unblock is refused because of `section`.
QString refusalText(const HostsText::Section& section);

// The host names the given sections block, without the www. forms of names
// that are there themselves.
NameLines namesIn(QByteArrayView text, const QList<HostsText::Section>& sections);

} // namespace BlockRules
