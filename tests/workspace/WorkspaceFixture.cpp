#include "WorkspaceFixture.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTest>
#include <QUuid>

#include <chrono>
#include <csignal>

double steadyNowMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

namespace {

QString readLineFrom(QProcess& process) {
    (void)QTest::qWaitFor(
        [&] { return process.canReadLine() || process.state() == QProcess::NotRunning; }, 10000);
    return QString::fromUtf8(process.readLine()).trimmed();
}

} // namespace

QList<Report> FakeApp::reports(const QString& event) const {
    QFile file(reportPath);
    QList<Report> out;
    for (const QByteArray& line :
         file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>()) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 3 && (event.isEmpty() || fields[0] == event.toUtf8()))
            out.append(
                {QString::fromUtf8(fields[0]), fields[1].toLongLong(), fields[2].toDouble() / 1e6});
    }
    return out;
}

QStringList FakeApp::events() const {
    QStringList out;
    for (const Report& report : reports())
        out << report.event;
    return out;
}

bool FakeApp::waitForEvent(const QString& event, int count, int timeoutMs) const {
    return QTest::qWaitFor([&] { return events().count(event) >= count; }, timeoutMs);
}

WorkspaceFixture::WorkspaceFixture() {
    QDir().mkpath(m_dir.filePath("share/applications"));
    QDir().mkpath(m_dir.filePath("home/applications"));
    QDir().mkpath(m_dir.filePath("services"));
}

void WorkspaceFixture::stopApps() {
    for (const auto& app : std::as_const(m_apps)) {
        app->kill();
        app->waitForFinished(2000);
    }
    m_apps.clear();
}

WorkspaceFixture::~WorkspaceFixture() {
    stopApps();
    if (!m_busName.isEmpty())
        QDBusConnection::disconnectFromBus(m_busName);
    // Terminated so Xvfb removes its lock; QProcess kills what is left.
    for (auto* server : {m_dbus.get(), m_xvfb.get()}) {
        if (server != nullptr) {
            server->terminate();
            server->waitForFinished(2000);
        }
    }
}

QString WorkspaceFixture::startDisplay() {
    const QString xvfb = QStandardPaths::findExecutable("Xvfb");
    if (xvfb.isEmpty())
        return "Xvfb is not installed";
    m_xvfb = std::make_unique<QProcess>();
    m_xvfb->setProcessChannelMode(QProcess::SeparateChannels);
    // -displayfd picks a free display and prints its number once it is up.
    // -noreset: the server would restart, refusing connections a moment,
    // whenever the last client of a test row goes.
    m_xvfb->start(
        xvfb, {"-displayfd", "1", "-nolisten", "tcp", "-noreset", "-screen", "0", "320x240x24"});
    const QString number = readLineFrom(*m_xvfb);
    if (number.isEmpty())
        return "Xvfb did not start: " + QString::fromUtf8(m_xvfb->readAllStandardError());
    m_display = u':' + number;
    return {};
}

QString WorkspaceFixture::startBus() {
    const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
    if (daemon.isEmpty())
        return "dbus-daemon is not installed";
    const QString config = m_dir.filePath("bus.conf");
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return "cannot write the bus configuration";
    file.write(
        QStringLiteral(
            R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=%1</listen>
  <auth>EXTERNAL</auth>
  <servicedir>%2</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)")
            .arg(m_dir.path(), m_dir.filePath("services"))
            .toUtf8());
    file.close();
    m_dbus = std::make_unique<QProcess>();
    m_dbus->start(daemon, {"--config-file=" + config, "--nofork", "--print-address=1"});
    m_busAddress = readLineFrom(*m_dbus);
    if (m_busAddress.isEmpty())
        return "dbus-daemon did not start: " + QString::fromUtf8(m_dbus->readAllStandardError());
    m_busName = "tarnhollow-test-" + QUuid::createUuid().toString(QUuid::Id128);
    if (!QDBusConnection::connectToBus(m_busAddress, m_busName).isConnected())
        return "cannot connect to the test bus";
    return {};
}

QString WorkspaceFixture::startWindowManager() {
    const QString openbox = QStandardPaths::findExecutable("openbox");
    if (openbox.isEmpty() || m_display.isEmpty())
        return openbox.isEmpty() ? "openbox is not installed" : "no display";
    auto wm = std::make_shared<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* dir : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
        env.insert(dir, m_dir.filePath("home"));
    env.insert("DISPLAY", m_display);
    wm->setProcessEnvironment(env);
    wm->setStandardOutputFile(QProcess::nullDevice());
    wm->setStandardErrorFile(QProcess::nullDevice());
    wm->start(openbox, {"--sm-disable"});
    m_apps << wm;
    // Managing: it lists its clients, which openbox does once it is set up.
    const auto managing = [this] {
        QProcess xprop;
        xprop.start("xprop", {"-display", m_display, "-root", "_NET_CLIENT_LIST"});
        return xprop.waitForFinished(2000) && xprop.readAll().contains("(WINDOW)");
    };
    return QTest::qWaitFor(managing, 5000) ? QString() : "openbox did not start";
}

QString WorkspaceFixture::uniqueId(const QString& tag) {
    return QStringLiteral("org.tarnhollowtest.%1X%2")
        .arg(tag, QUuid::createUuid().toString(QUuid::Id128).left(12));
}

QString WorkspaceFixture::entryPath(const QString& id) const {
    return m_dir.filePath("share/applications/" + id + ".desktop");
}

void WorkspaceFixture::writeApplicationEntry(const QString& id, const QString& exec,
                                             const QString& extra) {
    QFile file(entryPath(id));
    if (file.open(QIODevice::WriteOnly))
        file.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=Test\nExec=%1\n%2")
                       .arg(exec, extra)
                       .toUtf8());
}

QString WorkspaceFixture::copyOfHelper(const QString& name) {
    const QString path = m_dir.filePath("bin/" + name);
    QDir().mkpath(QFileInfo(path).path());
    QFile::copy(helper(), path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

QProcessEnvironment WorkspaceFixture::workspaceEnvironment() const {
    QProcessEnvironment env;
    env.insert("HOME", m_dir.filePath("home"));
    env.insert("XDG_DATA_HOME", m_dir.filePath("home"));
    env.insert("XDG_DATA_DIRS", m_dir.filePath("share"));
    env.insert("PATH", m_dir.filePath("bin"));
    env.insert("XDG_CURRENT_DESKTOP", "TestDesk");
    if (!m_display.isEmpty())
        env.insert("DISPLAY", m_display);
    return env;
}

std::unique_ptr<LinuxWorkspace>
WorkspaceFixture::makeWorkspace(std::chrono::milliseconds scanInterval) const {
    LinuxWorkspace::Options options;
    options.environment = workspaceEnvironment();
    options.safetySweepInterval = scanInterval;
    return std::make_unique<LinuxWorkspace>(
        options, QDBusConnection(m_busName.isEmpty() ? "tarnhollow-no-bus" : m_busName));
}

FakeApp WorkspaceFixture::start(const QStringList& args, const QProcessEnvironment& extraEnv,
                                const QString& program, bool waitReady, const QStringList& prefix) {
    FakeApp app;
    app.reportPath = m_dir.filePath(QStringLiteral("report-%1.log").arg(++m_reports));
    auto process = std::make_shared<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("GIO_LAUNCHED_DESKTOP_FILE");
    env.remove("GIO_LAUNCHED_DESKTOP_FILE_PID");
    env.insert("DBUS_SESSION_BUS_ADDRESS",
               m_busAddress.isEmpty() ? "unix:path=/nonexistent" : m_busAddress);
    if (!m_display.isEmpty())
        env.insert("DISPLAY", m_display);
    env.insert(extraEnv);
    process->setProcessEnvironment(env);
    process->setChildProcessModifier([] {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGTERM);
        sigprocmask(SIG_BLOCK, &set, nullptr);
    });
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->start(program.isEmpty() ? helper() : program,
                   prefix + QStringList{"--report", app.reportPath} + args);
    process->waitForStarted(5000);
    app.pid = process->processId();
    app.process = process;
    m_apps << process;
    if (waitReady && !app.waitForEvent("ready", 1, 5000))
        app.pid = 0;
    return app;
}

FakeApp WorkspaceFixture::startGioLaunched(const QString& id, const QStringList& args,
                                           bool waitReady, const QString& launcherScript) {
    QProcessEnvironment env;
    env.insert("GIO_LAUNCHED_DESKTOP_FILE", entryPath(id));
    // "$0" is the helper; the rest are its arguments.
    const QString script =
        launcherScript + "\nexport GIO_LAUNCHED_DESKTOP_FILE_PID=$$; exec \"$0\" \"$@\"";
    const QStringList prefix{"-c", script, helper()};
    return start(args, env, "/bin/sh", waitReady, prefix);
}
