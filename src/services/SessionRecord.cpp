#include "services/SessionRecord.h"
#include "base/AtomicFileWriter.h"
#include "hosts/HostsText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

namespace {

QStringList stringList(const QJsonValue& value, bool* ok) {
    QStringList list;
    if (!value.isArray())
        *ok = false;
    for (const QJsonValue& element : value.toArray()) {
        if (!element.isString())
            *ok = false;
        list.append(element.toString());
    }
    return list;
}

} // namespace

SessionRecordStore::SessionRecordStore(QString path, QString autostartEntryPath,
                                       QString launchCommand)
    : m_path(std::move(path)),
      m_loginEntry(std::move(autostartEntryPath), std::move(launchCommand)) {}

// Qt has no state location of its own; resolved as the XDG rules say, and
// kept apart like Qt's own locations in test mode.
QString SessionRecordStore::defaultPath() {
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (QStandardPaths::isTestModeEnabled())
        base = QDir::homePath() + QStringLiteral("/.qttest/state");
    else if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/Tarnhollow/session.json");
}

std::optional<SessionRecord> SessionRecordStore::load(const QDateTime& now) const {
    QFile file(m_path);
    if (!QFileInfo(m_path).isFile() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonObject object = QJsonDocument::fromJson(file.read(1 << 20)).object();
    bool ok = true;
    SessionRecord record{
        QDateTime::fromString(object.value(QStringLiteral("end")).toString(), Qt::ISODate),
        stringList(object.value(QStringLiteral("websites")), &ok),
        stringList(object.value(QStringLiteral("appBundleIds")), &ok)};
    if (!ok || !record.end.isValid() || now.secsTo(record.end) > HostsText::kLongestSessionSecs)
        return std::nullopt;
    record.end = record.end.toUTC();
    return record;
}

bool SessionRecordStore::exists() const {
    return QFileInfo::exists(m_path);
}

Result<void, FileError> SessionRecordStore::save(const SessionRecord& record) const {
    QDir().mkpath(QFileInfo(m_path).path());
    const QJsonObject object{
        {QStringLiteral("end"), record.end.toUTC().toString(Qt::ISODate)},
        {QStringLiteral("websites"), QJsonArray::fromStringList(record.websites)},
        {QStringLiteral("appBundleIds"), QJsonArray::fromStringList(record.appBundleIds)}};
    const AtomicFileWriter writer;
    if (auto written = writer.write(m_path, QJsonDocument(object).toJson()); !written)
        return written;
    return m_loginEntry.write();
}

void SessionRecordStore::remove() const {
    QFile::remove(m_path);
    m_loginEntry.remove();
}
