#include "platform/linux/workspace/ProcessIdentity.h"

#include "platform/linux/workspace/CgroupIdentity.h"
#include "platform/linux/workspace/DesktopEntryIndex.h"

#include <QFile>

#include <iterator>

namespace {

using Source = ProcessIdentity::Source;
using Evidence = ProcessIdentity::Evidence;

std::optional<QString> byUnit(const Evidence& evidence, const DesktopEntryIndex&) {
    return CgroupIdentity::fromFile(evidence.cgroup);
}

std::optional<QString> byLaunch(const Evidence& evidence, const DesktopEntryIndex& index) {
    static const QByteArray fileKey = "GIO_LAUNCHED_DESKTOP_FILE=";
    static const QByteArray pidKey = "GIO_LAUNCHED_DESKTOP_FILE_PID=";
    QByteArray environ;
    if (!evidence.readEnviron || !evidence.readEnviron(environ))
        return std::nullopt;
    QByteArray file;
    bool pidMatches = false;
    for (const QByteArray& var : environ.split('\0')) {
        if (var.startsWith(fileKey))
            file = var.mid(fileKey.size());
        else if (var.startsWith(pidKey))
            pidMatches = var.mid(pidKey.size()) == QByteArray::number(evidence.pid);
    }
    // Children inherit the variable; only the launched process itself counts.
    if (file.isEmpty() || !pidMatches)
        return std::nullopt;
    return index.identifierForFile(QFile::decodeName(file));
}

std::optional<QString> byWindow(const Evidence& evidence, const DesktopEntryIndex& index) {
    if (evidence.windowNames == nullptr)
        return std::nullopt;
    return index.identifierForWindow(*evidence.windowNames);
}

std::optional<QString> byProgram(const Evidence& evidence, const DesktopEntryIndex& index) {
    if (evidence.exe.isEmpty())
        return std::nullopt;
    return index.identifierForExecutable(evidence.exe);
}

struct Rule {
    Source source;
    std::optional<QString> (*name)(const Evidence&, const DesktopEntryIndex&);
};

// Strongest first. Units and launch environments are set by whoever
// started the process, Flatpak and Snap sandboxes among them; a window only
// says what the program claims; a program may be shared by several entries.
constexpr Rule rules[] = {
    {Source::Unit, byUnit},
    {Source::Launch, byLaunch},
    {Source::Window, byWindow},
    {Source::Program, byProgram},
};

constexpr bool inSourceOrder() {
    for (std::size_t i = 0; i < std::size(rules); ++i) {
        if (rules[i].source != Source(i))
            return false;
    }
    return true;
}
static_assert(inSourceOrder(), "Source compares in the rules' order");

} // namespace

ProcessIdentity::Name ProcessIdentity::identify(const Evidence& evidence) const {
    for (const Rule& rule : rules) {
        if (auto id = rule.name(evidence, m_index))
            return {rule.source, std::move(id)};
    }
    return {};
}

std::optional<QString> ProcessIdentity::windowName(const QStringList& names) const {
    static const QByteArray none;
    return rules[std::size_t(Source::Window)].name({0, none, none, {}, &names}, m_index);
}

ProcessIdentity::Name ProcessIdentity::settle(const Name& own,
                                              const std::optional<QString>& windowId) {
    if (windowId && windowsMayName(own))
        return {Source::Window, windowId};
    return own;
}
