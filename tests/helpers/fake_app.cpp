// Plays a desktop application for the workspace tests: it can own a bus
// name with a quit action, open an X11 window with a WM_CLASS, trap SIGTERM,
// run extra processes or a windowed child, wipe its environment block, and it appends one line per
// quit request it receives to the report file: "<event> <pid> <CLOCK_MONOTONIC ns>".
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusSignature>
#include <QDBusVirtualObject>
#include <QSocketNotifier>
#include <QStringList>

#include <xcb/xcb.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>

#include <memory>
#include <vector>

extern char** environ;

namespace {

int reportFd = -1;
int signalPipe[2] = {-1, -1};
QStringList args;

bool has(const char* option) {
    return args.contains(QLatin1String(option));
}

void report(const char* event) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    char line[128];
    const int n = std::snprintf(line, sizeof line, "%s %d %lld\n", event, int(getpid()),
                                static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
    if (reportFd >= 0 && n > 0)
        (void)!write(reportFd, line, size_t(n));
}

void onSigterm(int) {
    const char byte = 1;
    (void)!write(signalPipe[1], &byte, 1);
}

void onChildSigterm(int) {
    report("sigterm-child");
    _exit(0);
}

struct ActionDescription {
    bool enabled = true;
    // Real applications describe a parameterless action with the empty
    // signature, which QtDBus refuses to write; the workspace skips it.
    QDBusSignature parameter{"s"};
};

QDBusArgument& operator<<(QDBusArgument& arg, const ActionDescription& action) {
    arg.beginStructure();
    arg << action.enabled << action.parameter << QVariantList();
    arg.endStructure();
    return arg;
}

// Only sent, never read back.
const QDBusArgument& operator>>(const QDBusArgument& arg, ActionDescription&) {
    return arg;
}

using ActionMap = QMap<QString, ActionDescription>;

} // namespace

Q_DECLARE_METATYPE(ActionDescription)
Q_DECLARE_METATYPE(ActionMap)

namespace {

// org.freedesktop.Application and org.gtk.Actions at the application's path.
class ApplicationObject : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        const QString member = message.member();
        if (message.interface() == "org.gtk.Actions" && member == "DescribeAll") {
            ActionMap actions;
            actions.insert("about", ActionDescription{});
            if (!has("--no-quit-action"))
                actions.insert("quit", ActionDescription{!has("--quit-disabled")});
            connection.send(message.createReply(QVariant::fromValue(actions)));
            return true;
        }
        if (message.interface() == "org.freedesktop.Application" && member == "ActivateAction") {
            const QString action = message.arguments().value(0).toString();
            if (action == "quit") {
                report(has("--decline") ? "quit-action-declined" : "quit-action");
                if (!has("--decline"))
                    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
            }
            connection.send(message.createReply());
            return true;
        }
        return false;
    }
};

xcb_atom_t internAtom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

void unblockSigterm() {
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigprocmask(SIG_UNBLOCK, &term, nullptr);
}

// A process that dies with this one: true in the child.
bool forkChild() {
    const pid_t parent = getpid();
    if (fork() != 0)
        return false;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
        _exit(0);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    // Options are read before Qt starts: some act before it can.
    const auto option = [](const char* name) {
        const qsizetype at = args.indexOf(name);
        return at > 0 ? args.value(at + 1).toLocal8Bit() : QByteArray();
    };
    // Plays a launcher: runs a while as itself, then becomes the launched
    // application in the same process, with no new process in between.
    if (const QByteArray delay = option("--exec-after"); !delay.isEmpty()) {
        usleep(useconds_t(delay.toInt()) * 1000);
        setenv("GIO_LAUNCHED_DESKTOP_FILE_PID", QByteArray::number(getpid()).constData(), 1);
        std::vector<char*> rest;
        for (int i = 0; i < argc; ++i) {
            if (std::strcmp(argv[i], "--exec-after") == 0)
                ++i;
            else
                rest.push_back(argv[i]);
        }
        rest.push_back(nullptr);
        execv("/proc/self/exe", rest.data());
        return 6;
    }
    const QByteArray reportFile = option("--report");
    if (!reportFile.isEmpty())
        reportFd = open(reportFile.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (const QByteArray wmClass = option("--child-window"); !wmClass.isEmpty() && forkChild()) {
        execl("/proc/self/exe", argv[0], "--report", reportFile.constData(), "--window",
              "--wm-class", wmClass.constData(), static_cast<char*>(nullptr));
        _exit(6);
    }
    if (has("--clobber-environ")) {
        // As a process-title setter does: move the environment elsewhere,
        // then reuse its original block, which is what /proc shows.
        std::size_t count = 0;
        while (environ[count] != nullptr)
            ++count;
        char** moved = new char*[count + 1];
        for (std::size_t i = 0; i < count; ++i)
            moved[i] = strdup(environ[i]);
        moved[count] = nullptr;
        if (count > 0)
            std::memset(environ[0], 0,
                        size_t(environ[count - 1] + std::strlen(environ[count - 1]) - environ[0]));
        environ = moved;
    }
    for (int i = 0; i < option("--children").toInt(); ++i) {
        if (forkChild()) {
            std::signal(SIGTERM, onChildSigterm);
            unblockSigterm();
            for (;;)
                pause();
        }
    }
    if (pipe2(signalPipe, O_CLOEXEC) != 0)
        return 3;
    std::signal(SIGTERM, onSigterm);
    // The tests start helpers with SIGTERM blocked so none is lost before here.
    unblockSigterm();

    QCoreApplication app(argc, argv);
    const QString busName = QString::fromLocal8Bit(option("--bus-name"));

    QSocketNotifier sigterm(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&sigterm, &QSocketNotifier::activated, &app, [&] {
        char byte = 0;
        (void)!read(signalPipe[0], &byte, 1);
        report(has("--ignore-term") ? "sigterm-ignored" : "sigterm");
        if (!has("--ignore-term"))
            app.quit();
    });

    ApplicationObject object;
    if (!busName.isEmpty()) {
        qDBusRegisterMetaType<ActionDescription>();
        qDBusRegisterMetaType<ActionMap>();
        QDBusConnection bus = QDBusConnection::sessionBus();
        QString path = u'/' + busName;
        path.replace(u'.', u'/').replace(u'-', u'_');
        if (!bus.registerVirtualObject(path, &object) || !bus.registerService(busName))
            return 4;
    }

    xcb_connection_t* x = nullptr;
    std::unique_ptr<QSocketNotifier> xEvents;
    if (has("--window")) {
        x = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(x))
            return 5;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
        const xcb_window_t window = xcb_generate_id(x);
        xcb_create_window(x, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 64, 64, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        if (const QByteArray wmClass = option("--wm-class"); !wmClass.isEmpty()) {
            const QByteArray both = wmClass + '\0' + wmClass + '\0';
            xcb_change_property(x, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS,
                                XCB_ATOM_STRING, 8, uint32_t(both.size()), both.constData());
        }
        const uint32_t pid = uint32_t(getpid());
        xcb_change_property(x, XCB_PROP_MODE_REPLACE, window, internAtom(x, "_NET_WM_PID"),
                            XCB_ATOM_CARDINAL, 32, 1, &pid);
        const xcb_atom_t protocols = internAtom(x, "WM_PROTOCOLS");
        const xcb_atom_t deleteWindow = internAtom(x, "WM_DELETE_WINDOW");
        const xcb_atom_t takeFocus = internAtom(x, "WM_TAKE_FOCUS");
        const xcb_atom_t listed[] = {takeFocus, deleteWindow};
        xcb_change_property(x, XCB_PROP_MODE_REPLACE, window, protocols, XCB_ATOM_ATOM, 32,
                            has("--no-delete-protocol") ? 1 : 2, listed);
        xcb_map_window(x, window);
        // A round trip: the window and its properties exist before "ready".
        std::free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr));
        xEvents =
            std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(x), QSocketNotifier::Read);
        QObject::connect(
            xEvents.get(), &QSocketNotifier::activated, &app, [&app, x, protocols, deleteWindow] {
                while (xcb_generic_event_t* event = xcb_poll_for_event(x)) {
                    if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                        const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
                        if (message->type == protocols && message->data.data32[0] == deleteWindow) {
                            report(has("--ignore-delete") ? "wm-delete-ignored" : "wm-delete");
                            if (!has("--ignore-delete"))
                                app.quit();
                        }
                    }
                    std::free(event);
                }
            });
    }

    report("ready");
    const int status = app.exec();
    if (x != nullptr)
        xcb_disconnect(x);
    return status;
}
