#include "platform/linux/hosts/LinuxPrivilegedRunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace {
// pkexec's own exit statuses for a dismissed dialog and a refused request.
constexpr int kPkexecDismissed = 126;
constexpr int kPkexecNotAuthorized = 127;

const QByteArray kNoAgentText =
    "No password can be asked for because no authentication agent is running. Log in to a "
    "desktop session (or start its authentication agent) and try again.";
} // namespace

LinuxPrivilegedRunner::LinuxPrivilegedRunner(QString helper, QString pkexec,
                                             std::optional<bool> asRoot)
    : m_helper(std::move(helper)), m_pkexec(std::move(pkexec)), m_asRoot(asRoot) {}

QString LinuxPrivilegedRunner::defaultHelperPath() {
    return QStringLiteral(TARNHOLLOW_HELPER_PATH);
}

QString LinuxPrivilegedRunner::unsafeHelperReason(const QString& helper) {
    const QString notInstalled =
        QStringLiteral("The hosts helper %1 is not installed safely: it and every folder above it "
                       "must belong to root and be writable by root alone. Install Tarnhollow "
                       "(scripts/run.sh or the package does this) and try again.")
            .arg(helper);
    QString path = QFileInfo(helper).absoluteFilePath();
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return QStringLiteral("The hosts helper %1 is missing. Install Tarnhollow (scripts/run.sh "
                              "or the package does this) and try again.")
            .arg(helper);
    for (;;) {
        if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || info.st_uid != 0 ||
            (info.st_mode & (S_IWGRP | S_IWOTH)) != 0 || S_ISLNK(info.st_mode))
            return notInstalled;
        if (path == QLatin1String("/"))
            return QString();
        path = QFileInfo(path).path();
    }
}

void LinuxPrivilegedRunner::block(const QStringList& hostNames, std::chrono::seconds length,
                                  Done done) {
    QByteArray input = QByteArray::number(qint64(length.count())) + '\n';
    for (const QString& name : hostNames)
        input += name.toUtf8() + '\n';
    run(QStringLiteral("block"), input, std::move(done));
}

void LinuxPrivilegedRunner::unblock(Done done) {
    run(QStringLiteral("unblock"), {}, std::move(done));
}

void LinuxPrivilegedRunner::removeUnowned(Done done) {
    run(QStringLiteral("remove-unowned"), {}, std::move(done));
}

void LinuxPrivilegedRunner::run(const QString& action, const QByteArray& input, Done done) {
    const bool root = m_asRoot.value_or(geteuid() == 0);
    // A program that cannot be started is named with what to do about it,
    // never with the system call that failed.
    const auto started = [](const QString& program, Done then) {
        return [program, then = std::move(then)](Outcome outcome) {
            if (!outcome)
                outcome = HostBlockerError::platform(
                    QStringLiteral("%1 %2, so websites cannot be blocked. Install Tarnhollow "
                                   "again (scripts/run.sh or the package does this) and try "
                                   "again.")
                        .arg(program, QFileInfo::exists(program) ? QStringLiteral("cannot be run")
                                                                 : QStringLiteral("is missing")));
            then(std::move(outcome));
        };
    };
    if (root) {
        runProcess(&m_processes, m_helper, {action}, input, started(m_helper, std::move(done)));
        return;
    }
    if (const QString unsafe = unsafeHelperReason(m_helper); !unsafe.isEmpty())
        return done(RunnerOutcome{1, unsafe.toUtf8(), false});
    runProcess(&m_processes, m_pkexec, {m_helper, action}, input,
               started(m_pkexec, [done = std::move(done)](Outcome outcome) {
                   if (outcome) {
                       RunnerOutcome& o = outcome.value();
                       const bool refusedByPkexec = o.exitStatus == kPkexecNotAuthorized;
                       o.authorizationRefused =
                           o.exitStatus == kPkexecDismissed ||
                           (refusedByPkexec && o.output.contains("Not authorized"));
                       // Its own words talk of a controlling terminal.
                       if (refusedByPkexec && !o.authorizationRefused &&
                           o.output.contains("authentication agent"))
                           o.output = kNoAgentText;
                   }
                   done(std::move(outcome));
               }));
}
