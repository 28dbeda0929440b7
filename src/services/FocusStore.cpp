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

#include <algorithm>

namespace {

const QString kWebsitesKey = QStringLiteral("websites");
const QString kAppBundleIdsKey = QStringLiteral("appBundleIds");

// Room for any UTF-16 unit as it is written: a "\u" escape is the longest.
constexpr qsizetype kMostBytesAUnit = 6;

char* putHexEscape(char* out, char16_t unit) {
    static const char digits[] = "0123456789abcdef";
    *out++ = '\\';
    *out++ = 'u';
    for (int shift = 12; shift >= 0; shift -= 4)
        *out++ = digits[(unit >> shift) & 0xf];
    return out;
}

char* putCodePointUtf8(char* out, char32_t cp) {
    if (cp < 0x80) {
        *out++ = char(cp);
    } else if (cp < 0x800) {
        *out++ = char(0xc0 | (cp >> 6));
        *out++ = char(0x80 | (cp & 0x3f));
    } else if (cp < 0x10000) {
        *out++ = char(0xe0 | (cp >> 12));
        *out++ = char(0x80 | ((cp >> 6) & 0x3f));
        *out++ = char(0x80 | (cp & 0x3f));
    } else {
        *out++ = char(0xf0 | (cp >> 18));
        *out++ = char(0x80 | ((cp >> 12) & 0x3f));
        *out++ = char(0x80 | ((cp >> 6) & 0x3f));
        *out++ = char(0x80 | (cp & 0x3f));
    }
    return out;
}

// The escape of a character JSON writes with a backslash, or 0.
char shortEscape(char16_t unit) {
    switch (unit) {
    case u'"':
        return '"';
    case u'\\':
        return '\\';
    case u'/':
        return '/';
    case u'\b':
        return 'b';
    case u'\f':
        return 'f';
    case u'\n':
        return 'n';
    case u'\r':
        return 'r';
    case u'\t':
        return 't';
    default:
        return 0;
    }
}

// A JSON string literal at `out`, which has room for kMostBytesAUnit bytes
// a unit and the quotes. The solidus is escaped as "\/"; other characters
// outside the control range are written as UTF-8. A lone surrogate cannot be
// UTF-8, so it is kept as its "\u" escape and comes back unchanged.
char* putJsonString(char* out, const QString& text) {
    *out++ = '"';
    const auto* units = reinterpret_cast<const char16_t*>(text.constData());
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = units[i];
        // Most entries are plain ASCII, which goes straight through.
        if (unit >= 0x20 && unit < 0x80 && unit != u'"' && unit != u'\\' && unit != u'/') {
            *out++ = char(unit);
        } else if (const char escape = shortEscape(unit)) {
            *out++ = '\\';
            *out++ = escape;
        } else if (unit < 0x20) {
            out = putHexEscape(out, unit);
        } else if (QChar::isHighSurrogate(unit) && i + 1 < size &&
                   QChar::isLowSurrogate(units[i + 1])) {
            out = putCodePointUtf8(out, QChar::surrogateToUcs4(unit, units[i + 1]));
            ++i;
        } else if (QChar::isSurrogate(unit)) {
            out = putHexEscape(out, unit);
        } else {
            out = putCodePointUtf8(out, unit);
        }
    }
    *out++ = '"';
    return out;
}

char* putJsonArray(char* out, const QStringList& list) {
    *out++ = '[';
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (i > 0)
            *out++ = ',';
        out = putJsonString(out, list.at(i));
    }
    *out++ = ']';
    return out;
}

qsizetype mostBytes(const QStringList& list) {
    qsizetype bytes = 2;
    for (const QString& text : list)
        bytes += kMostBytesAUnit * text.size() + 3;
    return bytes;
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
    // Room for the longest text is made once and cut to size: a save of a
    // long list costs one pass over it.
    constexpr QByteArrayView kWebsites = "{\"websites\":";
    constexpr QByteArrayView kApps = ",\"appBundleIds\":";
    QByteArray out(kWebsites.size() + kApps.size() + 1 + mostBytes(configuration.websites) +
                       mostBytes(configuration.appBundleIds),
                   Qt::Uninitialized);
    char* at = std::copy(kWebsites.begin(), kWebsites.end(), out.data());
    at = putJsonArray(at, configuration.websites);
    at = std::copy(kApps.begin(), kApps.end(), at);
    at = putJsonArray(at, configuration.appBundleIds);
    *at++ = '}';
    out.truncate(at - out.constData());
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
