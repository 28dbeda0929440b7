#include "platform/linux/workspace/DesktopEntryIndex.h"

#include "platform/linux/workspace/WrapperScript.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

bool isTrue(const QByteArray& value) {
    return value.trimmed() == "true";
}

QStringList listValue(const QByteArray& value) {
    QStringList out;
    for (const QByteArray& part : value.split(';')) {
        const QByteArray item = part.trimmed();
        if (!item.isEmpty())
            out << QString::fromUtf8(item);
    }
    return out;
}

// String-level escapes of desktop-entry values.
QString unescapeValue(const QString& raw) {
    QString out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] == u'\\' && i + 1 < raw.size()) {
            const QChar next = raw[++i];
            if (next == u's')
                out += u' ';
            else if (next == u'n')
                out += u'\n';
            else if (next == u't')
                out += u'\t';
            else if (next == u'r')
                out += u'\r';
            else
                out += next;
            continue;
        }
        out += raw[i];
    }
    return out;
}

QStringList splitExec(const QString& exec) {
    QStringList args;
    QString current;
    bool inQuotes = false;
    bool hasToken = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (inQuotes) {
            if (c == u'\\' && i + 1 < exec.size()) {
                current += exec[++i];
            } else if (c == u'"') {
                inQuotes = false;
            } else {
                current += c;
            }
        } else if (c == u'"') {
            inQuotes = true;
            hasToken = true;
        } else if (c == u' ' || c == u'\t') {
            if (hasToken)
                args << current;
            current.clear();
            hasToken = false;
        } else {
            current += c;
            hasToken = true;
        }
    }
    if (hasToken)
        args << current;
    return args;
}

// Programs that run something else: their executable says nothing about
// which application a process is, so an entry starting one is never matched
// by executable (a shell would otherwise make every shell that application).
bool isLauncherProgram(const QString& path) {
    static const QRegularExpression launchers(QStringLiteral(
        "^(sh|bash|dash|zsh|fish|ksh|mksh|csh|tcsh|busybox|env|python[0-9.]*|perl[0-9.]*|"
        "ruby[0-9.]*|node|nodejs|java|gjs|mono|wine|wine64|flatpak|snap|sudo|pkexec|"
        "xdg-open|gio|gtk-launch|kioclient5?|kstart5?|ld-linux.*)$"));
    return launchers.match(QFileInfo(path).fileName()).hasMatch();
}

} // namespace

DesktopEntryIndex::DesktopEntryIndex(QStringList applicationDirs, QStringList pathDirs,
                                     QStringList currentDesktops)
    : m_applicationDirs(std::move(applicationDirs)), m_pathDirs(std::move(pathDirs)),
      m_currentDesktops(std::move(currentDesktops)) {
    reload();
}

DesktopEntryIndex::DesktopEntryIndex(const QProcessEnvironment& env)
    : DesktopEntryIndex(
          applicationDirsFrom(env),
          env.value(QStringLiteral("PATH"), QStringLiteral("/usr/local/bin:/usr/bin:/bin"))
              .split(u':', Qt::SkipEmptyParts),
          env.value(QStringLiteral("XDG_CURRENT_DESKTOP")).split(u':', Qt::SkipEmptyParts)) {}

QStringList DesktopEntryIndex::applicationDirsFrom(const QProcessEnvironment& env) {
    const QString home = env.value(QStringLiteral("HOME"), QDir::homePath());
    QString dataHome = env.value(QStringLiteral("XDG_DATA_HOME"));
    if (dataHome.isEmpty())
        dataHome = home + QStringLiteral("/.local/share");
    QStringList dataDirs =
        env.value(QStringLiteral("XDG_DATA_DIRS")).split(u':', Qt::SkipEmptyParts);
    if (dataDirs.isEmpty())
        dataDirs = {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")};

    QStringList dirs{dataHome + QStringLiteral("/applications")};
    for (const QString& dir : dataDirs)
        dirs << dir + QStringLiteral("/applications");
    // Flatpak and Snap exports, for sessions whose XDG_DATA_DIRS lacks them.
    dirs << dataHome + QStringLiteral("/flatpak/exports/share/applications")
         << QStringLiteral("/var/lib/flatpak/exports/share/applications")
         << QStringLiteral("/var/lib/snapd/desktop/applications");
    QStringList unique;
    for (const QString& dir : dirs) {
        const QString clean = QDir::cleanPath(dir);
        if (!unique.contains(clean))
            unique << clean;
    }
    return unique;
}

std::optional<DesktopEntryIndex::Entry> DesktopEntryIndex::parse(const QByteArray& contents) {
    Entry entry;
    bool inGroup = false;
    bool isApplication = false;
    QString exec;
    QString tryExec;
    for (const QByteArray& rawLine : contents.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (line.startsWith('[')) {
            if (inGroup)
                break;
            inGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inGroup)
            continue;
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0)
            continue;
        const QByteArray key = line.left(eq).trimmed();
        const QByteArray value = line.mid(eq + 1).trimmed();
        if (key == "Type")
            isApplication = value == "Application";
        else if (key == "NoDisplay")
            entry.noDisplay = isTrue(value);
        else if (key == "Hidden")
            entry.hidden = isTrue(value);
        else if (key == "OnlyShowIn")
            entry.onlyShowIn = listValue(value);
        else if (key == "NotShowIn")
            entry.notShowIn = listValue(value);
        else if (key == "Exec")
            exec = unescapeValue(QString::fromUtf8(value));
        else if (key == "TryExec")
            tryExec = unescapeValue(QString::fromUtf8(value));
        else if (key == "StartupWMClass")
            entry.startupWmClass = unescapeValue(QString::fromUtf8(value));
        else if (key == "Name")
            entry.name = unescapeValue(QString::fromUtf8(value));
        else if (key == "Icon")
            entry.iconName = unescapeValue(QString::fromUtf8(value));
    }
    if (!isApplication)
        return std::nullopt;
    // Programs are resolved by the index; keep the raw names for it.
    entry.execPath = execProgram(exec).toUtf8();
    entry.tryExecPath = tryExec.toUtf8();
    return entry;
}

QString DesktopEntryIndex::execProgram(const QString& exec) {
    const QStringList args = splitExec(exec);
    qsizetype i = 0;
    if (i < args.size() && QFileInfo(args[i]).fileName() == QStringLiteral("env")) {
        ++i;
        while (i < args.size() && (args[i].contains(u'=') || args[i].startsWith(u'-')))
            ++i;
    }
    return i < args.size() ? args[i] : QString();
}

bool DesktopEntryIndex::isShown(const Entry& entry, const QStringList& currentDesktops) {
    if (entry.noDisplay || entry.hidden)
        return false;
    if (!entry.onlyShowIn.isEmpty()) {
        bool listed = false;
        for (const QString& desktop : currentDesktops)
            listed = listed || entry.onlyShowIn.contains(desktop, Qt::CaseInsensitive);
        if (!listed)
            return false;
    }
    for (const QString& desktop : currentDesktops) {
        if (entry.notShowIn.contains(desktop, Qt::CaseInsensitive))
            return false;
    }
    return true;
}

QByteArray DesktopEntryIndex::resolveProgram(const QString& program) const {
    if (program.isEmpty() || isLauncherProgram(program))
        return {};
    QString found;
    if (program.contains(u'/')) {
        found = program;
    } else {
        for (const QString& dir : m_pathDirs) {
            const QFileInfo candidate(dir + u'/' + program);
            if (candidate.isFile() && candidate.isExecutable()) {
                found = candidate.filePath();
                break;
            }
        }
    }
    const QString canonical = QFileInfo(found).canonicalFilePath();
    if (canonical.isEmpty() || isLauncherProgram(canonical))
        return {};
    return canonical.toUtf8();
}

QList<QByteArray> DesktopEntryIndex::scriptExecs(const QByteArray& program) const {
    QList<QByteArray> out;
    QFile file(QFile::decodeName(program));
    if (program.isEmpty() || !file.open(QIODevice::ReadOnly) ||
        !WrapperScript::isShellScript(file.read(256)))
        return out;
    file.seek(0);
    for (const QString& path : WrapperScript::execPaths(file.read(256 * 1024))) {
        const QByteArray resolved = resolveProgram(path);
        if (!resolved.isEmpty() && resolved != program)
            out << resolved;
    }
    return out;
}

void DesktopEntryIndex::scanDir(const QString& dir, const QString& prefix) {
    const QFileInfoList items =
        QDir(dir).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& item : items) {
        if (item.isDir()) {
            scanDir(item.filePath(), prefix + item.fileName() + u'-');
            continue;
        }
        if (!item.fileName().endsWith(QStringLiteral(".desktop")))
            continue;
        const QString id = prefix + item.completeBaseName();
        m_idByFile.insert(QDir::cleanPath(item.filePath()), id);
        if (m_entries.contains(id))
            continue; // shadowed by an earlier folder
        QFile file(item.filePath());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        auto parsed = parse(file.readAll());
        if (!parsed)
            continue;
        parsed->id = id;
        parsed->filePath = item.filePath();
        parsed->execPath = resolveProgram(QString::fromUtf8(parsed->execPath));
        parsed->tryExecPath = resolveProgram(QString::fromUtf8(parsed->tryExecPath));
        parsed->scriptExecPaths = scriptExecs(parsed->execPath);
        m_entries.insert(id, *parsed);
    }
}

QHash<QString, QDateTime> DesktopEntryIndex::currentStamps() const {
    QHash<QString, QDateTime> stamps;
    QStringList pending = m_applicationDirs;
    while (!pending.isEmpty()) {
        const QString dir = pending.takeLast();
        const QFileInfo info(dir);
        // Missing folders are watched too, for when they appear.
        stamps.insert(dir, info.isDir() ? info.lastModified() : QDateTime());
        if (!info.isDir())
            continue;
        for (const QString& sub : QDir(dir).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            pending << dir + u'/' + sub;
    }
    return stamps;
}

void DesktopEntryIndex::reload() {
    m_entries.clear();
    m_idByFile.clear();
    m_idsByExecutable.clear();
    m_idsByWmClass.clear();
    m_idsByFoldedId.clear();
    m_stamps = currentStamps();
    for (const QString& dir : m_applicationDirs)
        scanDir(dir, QString());
    for (const Entry& entry : std::as_const(m_entries)) {
        for (const QByteArray& path :
             QList<QByteArray>{entry.execPath, entry.tryExecPath} + entry.scriptExecPaths) {
            if (path.isEmpty())
                continue;
            QStringList& ids = m_idsByExecutable[path];
            if (!ids.contains(entry.id))
                ids << entry.id;
        }
        if (!entry.startupWmClass.isEmpty())
            m_idsByWmClass[entry.startupWmClass.toLower()] << entry.id;
        m_idsByFoldedId[entry.id.toLower()] << entry.id;
    }
}

bool DesktopEntryIndex::hasChanged() const {
    // A new subfolder changes its parent's time, so the known folders suffice.
    for (auto it = m_stamps.cbegin(); it != m_stamps.cend(); ++it) {
        const QFileInfo info(it.key());
        if ((info.isDir() ? info.lastModified() : QDateTime()) != it.value())
            return true;
    }
    return false;
}

bool DesktopEntryIndex::refreshIfChanged() {
    if (!hasChanged())
        return false;
    reload();
    return true;
}

std::function<std::unique_ptr<DesktopEntryIndex>()> DesktopEntryIndex::rereading() const {
    return
        [applicationDirs = m_applicationDirs, pathDirs = m_pathDirs, desktops = m_currentDesktops] {
            return std::make_unique<DesktopEntryIndex>(applicationDirs, pathDirs, desktops);
        };
}

const DesktopEntryIndex::Entry* DesktopEntryIndex::entry(const QString& id) const {
    const auto it = m_entries.constFind(id);
    return it == m_entries.constEnd() ? nullptr : &it.value();
}

std::optional<QString>
DesktopEntryIndex::identifierForExecutable(const QByteArray& canonicalPath) const {
    const auto it = m_idsByExecutable.constFind(canonicalPath);
    if (it == m_idsByExecutable.constEnd() || it->size() != 1)
        return std::nullopt;
    return it->first();
}

std::optional<QString> DesktopEntryIndex::identifierForWindow(const QStringList& names) const {
    for (const auto* ids : {&m_idsByWmClass, &m_idsByFoldedId}) {
        for (const QString& name : names) {
            const auto it = ids->constFind(name.toLower());
            if (it != ids->cend())
                return it->size() == 1 ? std::optional<QString>(it->first()) : std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<QString> DesktopEntryIndex::identifierForFile(const QString& desktopFilePath) const {
    const QString clean = QDir::cleanPath(desktopFilePath);
    if (const auto it = m_idByFile.constFind(clean); it != m_idByFile.constEnd())
        return *it;
    const QString name = QFileInfo(clean).fileName();
    if (!name.endsWith(QStringLiteral(".desktop")) || name.size() <= 8)
        return std::nullopt;
    return name.chopped(8);
}

bool DesktopEntryIndex::isBackgroundOnly(const QString& id) const {
    const Entry* found = entry(id);
    return found == nullptr || !isShown(*found, m_currentDesktops);
}
