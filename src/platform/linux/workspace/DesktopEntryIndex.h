#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

// The installed desktop entries: which application an executable belongs to
// and whether an application shows itself to the user.
class DesktopEntryIndex {
public:
    struct Entry {
        QString id;
        QString filePath;
        QString name;
        QString iconName;
        bool noDisplay = false;
        bool hidden = false;
        QStringList onlyShowIn;
        QStringList notShowIn;
        // Canonical paths of Exec's program and TryExec, when they resolve.
        QByteArray execPath;
        QByteArray tryExecPath;
        // When Exec's program is a shell script: the programs it execs.
        QList<QByteArray> scriptExecPaths;
        QString startupWmClass;
    };

    // applicationDirs in precedence order: an ID found in an earlier folder
    // shadows the same ID in later ones.
    DesktopEntryIndex(QStringList applicationDirs, QStringList pathDirs,
                      QStringList currentDesktops);
    // The XDG folders, then Flatpak and Snap exports, PATH and
    // XDG_CURRENT_DESKTOP, all taken from env.
    explicit DesktopEntryIndex(const QProcessEnvironment& env);

    static QStringList applicationDirsFrom(const QProcessEnvironment& env);

    // Whether any folder changed since the last read; looks at their times only.
    bool hasChanged() const;
    // Re-reads the folders when any of them changed since the last read.
    // Returns whether the index changed.
    bool refreshIfChanged();
    // A fresh read of the same folders, to run on another thread: it touches
    // nothing of this index.
    std::function<std::unique_ptr<DesktopEntryIndex>()> rereading() const;
    void reload();

    const Entry* entry(const QString& id) const;
    const QHash<QString, Entry>& entries() const { return m_entries; }
    // The one entry whose Exec or TryExec program is this executable;
    // nothing when none or several match.
    std::optional<QString> identifierForExecutable(const QByteArray& canonicalPath) const;
    // The application a window names: _GTK_APPLICATION_ID, or WM_CLASS
    // instance and class, matched without case against StartupWMClass, then
    // against the desktop ID. Nothing when none or several match.
    std::optional<QString> identifierForWindow(const QStringList& names) const;
    // The ID of the entry stored at this path; for a file outside the
    // index, its name without ".desktop".
    std::optional<QString> identifierForFile(const QString& desktopFilePath) const;
    // Missing, NoDisplay, Hidden or not shown in the current desktop.
    bool isBackgroundOnly(const QString& id) const;

    static bool isShown(const Entry& entry, const QStringList& currentDesktops);
    // The program an Exec line starts, with quoting undone and a leading
    // "env VAR=value" skipped. Empty when there is none.
    static QString execProgram(const QString& exec);
    // Parses one file's [Desktop Entry] group; nothing for other types.
    static std::optional<Entry> parse(const QByteArray& contents);

private:
    void scanDir(const QString& dir, const QString& prefix);
    QByteArray resolveProgram(const QString& program) const;
    QList<QByteArray> scriptExecs(const QByteArray& program) const;
    QHash<QString, QDateTime> currentStamps() const;

    QStringList m_applicationDirs;
    QStringList m_pathDirs;
    QStringList m_currentDesktops;
    QHash<QString, Entry> m_entries;
    QHash<QString, QString> m_idByFile;
    QHash<QByteArray, QStringList> m_idsByExecutable;
    QHash<QString, QStringList> m_idsByWmClass; // keys in lower case
    QHash<QString, QStringList> m_idsByFoldedId;
    QHash<QString, QDateTime> m_stamps;
};
