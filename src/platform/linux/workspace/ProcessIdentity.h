#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class DesktopEntryIndex;

// Which application a process is. Rules are tried in order of precedence
// and the first that names the process wins; each reads only what it needs,
// so a process its unit names never has its environment read.
class ProcessIdentity {
public:
    // In order of precedence, as the rule table lists them.
    enum class Source { Unit, Launch, Window, Program, None };

    // What a process can be named by.
    struct Evidence {
        qint64 pid = 0;
        const QByteArray& cgroup;
        const QByteArray& exe;
        // Reads the process's environment; false when it cannot.
        std::function<bool(QByteArray&)> readEnviron;
        // The names its windows give; null while its windows are not asked.
        const QStringList* windowNames = nullptr;
    };

    struct Name {
        Source source = Source::None;
        std::optional<QString> id;
        bool operator==(const Name&) const = default;
    };

    explicit ProcessIdentity(const DesktopEntryIndex& index) : m_index(index) {}

    // The first rule that names the process.
    Name identify(const Evidence& evidence) const;
    // The window rule alone, for windows that appear after the process
    // was named.
    std::optional<QString> windowName(const QStringList& names) const;
    // Whether a window could still outrank the name: the launch named no
    // application, so its windows are worth asking.
    static bool windowsMayName(const Name& name) { return name.source > Source::Window; }
    // The winner between a process's own name and what its windows say.
    static Name settle(const Name& own, const std::optional<QString>& windowId);
    // Helpers with no name of their own (a browser's renderers) join the
    // nearest named ancestor only when its windows named it.
    static bool lendsToHelpers(const Name& settled) { return settled.source == Source::Window; }

private:
    const DesktopEntryIndex& m_index;
};
