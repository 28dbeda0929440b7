#include "services/FocusStore.h"
#include "base/AtomicFileWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QStandardPaths>

namespace {

const QString kWebsitesKey = QStringLiteral("websites");
const QString kAppBundleIdsKey = QStringLiteral("appBundleIds");

void appendHexEscape(QByteArray& out, char16_t unit) {
    static const char digits[] = "0123456789abcdef";
    out.append("\\u");
    for (int shift = 12; shift >= 0; shift -= 4)
        out.append(digits[(unit >> shift) & 0xf]);
}

void appendCodePointUtf8(QByteArray& out, char32_t cp) {
    if (cp < 0x80) {
        out.append(char(cp));
    } else if (cp < 0x800) {
        out.append(char(0xc0 | (cp >> 6)));
        out.append(char(0x80 | (cp & 0x3f)));
    } else if (cp < 0x10000) {
        out.append(char(0xe0 | (cp >> 12)));
        out.append(char(0x80 | ((cp >> 6) & 0x3f)));
        out.append(char(0x80 | (cp & 0x3f)));
    } else {
        out.append(char(0xf0 | (cp >> 18)));
        out.append(char(0x80 | ((cp >> 12) & 0x3f)));
        out.append(char(0x80 | ((cp >> 6) & 0x3f)));
        out.append(char(0x80 | (cp & 0x3f)));
    }
}

// A JSON string literal. The solidus is escaped as "\/"; other characters
// outside the control range are written as UTF-8. A lone surrogate cannot be
// UTF-8, so it is kept as its "\u" escape and comes back unchanged.
void appendJsonString(QByteArray& out, const QString& text) {
    out.append('"');
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = text.at(i).unicode();
        switch (unit) {
        case u'"':
            out.append("\\\"");
            continue;
        case u'\\':
            out.append("\\\\");
            continue;
        case u'/':
            out.append("\\/");
            continue;
        case u'\b':
            out.append("\\b");
            continue;
        case u'\f':
            out.append("\\f");
            continue;
        case u'\n':
            out.append("\\n");
            continue;
        case u'\r':
            out.append("\\r");
            continue;
        case u'\t':
            out.append("\\t");
            continue;
        default:
            break;
        }
        if (unit < 0x20) {
            appendHexEscape(out, unit);
        } else if (QChar::isHighSurrogate(unit) && i + 1 < size &&
                   QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            appendCodePointUtf8(out, QChar::surrogateToUcs4(unit, text.at(i + 1).unicode()));
            ++i;
        } else if (QChar::isSurrogate(unit)) {
            appendHexEscape(out, unit);
        } else {
            appendCodePointUtf8(out, unit);
        }
    }
    out.append('"');
}

void appendJsonArray(QByteArray& out, const QStringList& list) {
    out.append('[');
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (i > 0)
            out.append(',');
        appendJsonString(out, list.at(i));
    }
    out.append(']');
}

std::optional<QStringList> stringArray(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (!value.isArray())
        return std::nullopt;
    QStringList list;
    const QJsonArray array = value.toArray();
    list.reserve(array.size());
    for (const QJsonValue& element : array) {
        if (!element.isString())
            return std::nullopt;
        list.append(element.toString());
    }
    return list;
}

// Only a regular file can be read whole without blocking (a FIFO would
// wait for a writer, a device may never end).
std::optional<QByteArray> readRegularFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.isSequential())
        return std::nullopt;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

QString defaultLocation() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        return QDir::current().absoluteFilePath(QStringLiteral("TarnhollowConfig.json"));
    const QString directory = QDir(base).filePath(QStringLiteral("Tarnhollow"));
    // A failure shows later, as a save that reports it.
    QDir().mkpath(directory);
    return QDir(directory).filePath(QStringLiteral("focus-config.json"));
}

} // namespace

FocusStore::FocusStore(std::optional<QString> fileURL)
    : m_fileURL(fileURL ? *fileURL : defaultLocation()) {}

QString FocusStore::unreadableCopyPath() const {
    return m_fileURL + QStringLiteral(".unreadable");
}

// Written by hand, not with QJsonDocument: stored files and their readers
// expect these exact bytes (key order, the escaped solidus), which Qt's
// writer does not produce.
QByteArray FocusStore::encode(const FocusConfiguration& configuration) {
    QByteArray out;
    out.append("{\"websites\":");
    appendJsonArray(out, configuration.websites);
    out.append(",\"appBundleIds\":");
    appendJsonArray(out, configuration.appBundleIds);
    out.append('}');
    return out;
}

std::optional<FocusConfiguration> FocusStore::decode(const QByteArray& bytes) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    auto websites = stringArray(object, kWebsitesKey);
    if (!websites)
        return std::nullopt;
    auto appBundleIds = stringArray(object, kAppBundleIdsKey);
    if (!appBundleIds)
        return std::nullopt;
    return FocusConfiguration{std::move(*websites), std::move(*appBundleIds)};
}

std::optional<FocusConfiguration> FocusStore::load() {
    if (!QFileInfo::exists(m_fileURL))
        return std::nullopt;
    const std::optional<QByteArray> bytes = readRegularFile(m_fileURL);
    std::optional<FocusConfiguration> record = bytes ? decode(*bytes) : std::nullopt;
    if (!record)
        m_unusable = Unusable{bytes, bytes || QFileInfo(m_fileURL).isFile()};
    return record;
}

// Something that is not a regular file (a directory, a FIFO) holds nothing
// to keep; a regular file whose bytes were never read must not be replaced.
Result<void, FileError> FocusStore::keepUnreadableCopy(const Unusable& found) const {
    if (!found.regularFile)
        return Result<void, FileError>::success();
    if (!found.bytes)
        return FileError{m_fileURL, QStringLiteral("The file could not be read")};
    return AtomicFileWriter().write(unreadableCopyPath(), *found.bytes);
}

Result<void, FileError> FocusStore::save(const FocusConfiguration& configuration) {
    if (m_unusable) {
        if (auto kept = keepUnreadableCopy(*m_unusable); !kept)
            return kept;
        m_unusable.reset();
    }
    return AtomicFileWriter().write(m_fileURL, encode(configuration));
}
