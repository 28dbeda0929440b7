#include "services/TextLineReader.h"

#include "base/ScopedFd.h"

#include <QByteArray>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype kChunk = 256 * 1024;

QString named(const QString& path, const QString& why) {
    return QObject::tr("%1 could not be imported: %2").arg(QFileInfo(path).fileName(), why);
}

// Bytes no text file holds; tab, line and form feed and carriage return
// are text.
bool isBinaryByte(char16_t c) {
    return c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r' && c != u'\f' && c != u'\v';
}

enum class Encoding { Guess, Utf8, Utf16LE, Utf16BE };

// Splits decoded or raw text into lines, keeping at most kLongestLine of
// one line; a longer one is dropped whole.
template <typename Text> class LineSplitter {
public:
    explicit LineSplitter(const TextLineReader::Sink& sink, std::function<QString(Text)> decode)
        : m_sink(sink), m_decode(std::move(decode)) {}

    // False when the sink stopped or the text is binary.
    bool feed(Text piece) {
        while (!piece.isEmpty()) {
            const qsizetype lf = piece.indexOf(typename Text::value_type('\n'));
            const Text part = lf < 0 ? piece : piece.first(lf);
            // Checked here too, so that a line passed over is no way round.
            if (part.contains(typename Text::value_type(0))) {
                m_binary = true;
                return false;
            }
            if (!m_overlong) {
                if (m_pending.size() + part.size() > TextLineReader::kLongestLine) {
                    m_overlong = true;
                    m_pending.clear();
                } else {
                    m_pending.append(part);
                }
            }
            if (lf < 0)
                return true;
            if (!endLine())
                return false;
            piece = piece.sliced(lf + 1);
        }
        return true;
    }
    bool finish() { return m_pending.isEmpty() && !m_overlong ? true : endLine(); }
    bool binary() const { return m_binary; }

private:
    bool endLine() {
        const bool overlong = std::exchange(m_overlong, false);
        if (overlong) {
            if (m_sink.overlong)
                m_sink.overlong();
            return true;
        }
        QString line = m_decode(Text(m_pending));
        m_pending.clear();
        if (line.endsWith(u'\r'))
            line.chop(1);
        for (const QChar c : std::as_const(line)) {
            if (isBinaryByte(c.unicode())) {
                m_binary = true;
                return false;
            }
        }
        return m_sink.line(line);
    }

    const TextLineReader::Sink& m_sink;
    std::function<QString(Text)> m_decode;
    std::conditional_t<std::is_same_v<Text, QByteArrayView>, QByteArray, QString> m_pending;
    bool m_overlong = false;
    bool m_binary = false;
};

} // namespace

TextLineReader::Read TextLineReader::read(const QString& path, const Sink& sink) {
    // Non-blocking, so that opening a FIFO with no writer returns at once;
    // what it is is then asked of the opened file, not of the path.
    ScopedFd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        return named(path, QString::fromLocal8Bit(std::strerror(errno)));
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        return named(path, QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISREG(info.st_mode))
        return named(path, QObject::tr("it is not a regular file"));
    const qint64 total = info.st_size;

    QByteArray chunk(kChunk, Qt::Uninitialized);
    qint64 done = 0;
    Encoding encoding = Encoding::Guess;
    QStringDecoder utf16;
    QString carried; // decoded UTF-16 not yet split
    LineSplitter<QByteArrayView> bytes(sink, [](QByteArrayView line) {
        // Line by line: a file in Latin-1 is rarely wrong as UTF-8 in
        // every line, and a valid line decodes the same either way.
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = utf8.decode(line);
        return utf8.hasError() ? QString::fromLatin1(line) : text;
    });
    LineSplitter<QStringView> units(sink, [](QStringView line) { return line.toString(); });
    bool going = true;
    bool first = true;
    while (going) {
        const ssize_t n = ::read(fd.get(), chunk.data(), size_t(chunk.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return named(path, QString::fromLocal8Bit(std::strerror(errno)));
        if (n == 0)
            break;
        QByteArrayView piece(chunk.constData(), n);
        done += n;
        if (first) {
            first = false;
            if (piece.startsWith("\xEF\xBB\xBF")) {
                encoding = Encoding::Utf8;
                piece = piece.sliced(3);
            } else if (piece.startsWith("\xFF\xFE")) {
                encoding = Encoding::Utf16LE;
                utf16 = QStringDecoder(QStringDecoder::Utf16LE);
                piece = piece.sliced(2);
            } else if (piece.startsWith("\xFE\xFF")) {
                encoding = Encoding::Utf16BE;
                utf16 = QStringDecoder(QStringDecoder::Utf16BE);
                piece = piece.sliced(2);
            }
        }
        if (encoding == Encoding::Utf16LE || encoding == Encoding::Utf16BE) {
            const QString text = utf16.decode(piece);
            going = units.feed(text);
        } else {
            going = bytes.feed(piece);
        }
        if (going && sink.progress && !sink.progress(done, total))
            return Read::success();
    }
    if (going)
        going = encoding == Encoding::Utf16LE || encoding == Encoding::Utf16BE ? units.finish()
                                                                               : bytes.finish();
    if (bytes.binary() || units.binary())
        return named(path, QObject::tr("it is not a text file"));
    return Read::success();
}
