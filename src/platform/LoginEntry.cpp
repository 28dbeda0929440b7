#include "platform/LoginEntry.h"
#include "base/AtomicFileWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>

namespace {

// `program` as a quoted argument of Exec= (freedesktop Desktop Entry
// Specification): the quoting's backslashes are then escaped again as a
// string value's, and % is doubled so it is no field code. Nothing for a
// control character a string value has no escape for.
std::optional<QString> quotedArgument(const QString& program) {
    QString quoted = QStringLiteral("\"");
    for (const QChar c : program) {
        switch (c.unicode()) {
        case u'"':
        case u'`':
        case u'$':
            quoted += QLatin1String("\\\\") + c;
            break;
        case u'\\':
            quoted += QLatin1String("\\\\\\\\");
            break;
        case u'%':
            quoted += QLatin1String("%%");
            break;
        case u'\t':
            quoted += QLatin1String("\\t");
            break;
        case u'\r':
            quoted += QLatin1String("\\r");
            break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7f)
                return std::nullopt;
            quoted += c;
        }
    }
    return quoted + QLatin1Char('"');
}

} // namespace

LoginEntry::LoginEntry(QString path, QString program)
    : m_path(std::move(path)), m_program(std::move(program)) {}

Result<void, FileError> LoginEntry::write() const {
    if (m_path.isEmpty() || m_program.isEmpty())
        return Result<void, FileError>::success();
    const std::optional<QString> program = quotedArgument(m_program);
    if (!program)
        return FileError{m_path,
                         QStringLiteral("The program's path holds a line break or another "
                                        "control character, which a login entry cannot hold")};
    QDir().mkpath(QFileInfo(m_path).path());
    const QString entry =
        QStringLiteral("[Desktop Entry]\nType=Application\nName=Tarnhollow\n"
                       "Comment=Ends the website block of an unfinished focus session on time\n"
                       "Exec=%1 --resume-session\nNoDisplay=true\n"
                       "X-GNOME-Autostart-enabled=true\n")
            .arg(*program);
    return AtomicFileWriter().write(m_path, entry.toUtf8());
}

void LoginEntry::remove() const {
    if (!m_path.isEmpty())
        QFile::remove(m_path);
}
