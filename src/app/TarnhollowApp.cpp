#include "app/TarnhollowApp.h"

#include "app/AfterFirstPaint.h"
#include "app/CommandLine.h"
#include "app/SingleInstance.h"
#include "base/ApplicationId.h"
#include "services/FocusSessionManager.h"
#include "ui/CloseGuard.h"
#include "ui/ContentView.h"
#include "ui/FieldStyle.h"
#include "ui/SessionTrayIcon.h"
#include "ui/Theme.h"
#include "ui/WindowPresenter.h"

#include <QApplication>
#include <QShortcut>

TarnhollowApp::TarnhollowApp(AppWiring wiring) : m_wiring(std::move(wiring)) {}

std::unique_ptr<ContentView> TarnhollowApp::makeWindow() const {
    auto window =
        std::make_unique<ContentView>(m_wiring.controller(), m_wiring.installedApplications());
    new CloseGuard(window.get(), window->manager());
    // Both go through the close question of a running session.
    QObject::connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), window.get()),
                     &QShortcut::activated, &QApplication::closeAllWindows);
    QObject::connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), window.get()),
                     &QShortcut::activated, window.get(), &QWidget::close);
    // The desktop hears of an on-time end. The notifier, which may connect
    // to a bus, is made after the first frame, or by an end that comes
    // sooner; the connection owns it.
    auto notifier = std::make_shared<std::unique_ptr<SessionNotifier>>();
    auto makeNotifier = [notifier, factory = m_wiring.notifier] {
        if (!*notifier)
            *notifier = factory();
        return notifier->get();
    };
    QObject::connect(&window->manager(), &FocusSessionManager::sessionCompleted, window.get(),
                     [makeNotifier](int minutes) { makeNotifier()->sessionEnded(minutes); });
    // The panel item asks the desktop whether it has a tray: after the first
    // frame too, as is what a session's start will read.
    new AfterFirstPaint(
        window.get(), [target = window.get(), makeNotifier, readAhead = m_wiring.afterFirstPaint] {
            new SessionTrayIcon(target->manager(), target);
            makeNotifier();
            if (readAhead)
                readAhead();
        });
    // The activity is held while a session is active, and owned by its
    // connection too; looked at once now for a session the controller took
    // up again before anything listened.
    const std::shared_ptr<SessionActivity> activity = m_wiring.sessionActivity();
    auto holdWhileActive = [activity, manager = &window->manager()] {
        if (manager->isSessionActive())
            activity->begin();
        else
            activity->end();
    };
    QObject::connect(&window->manager(), &FocusSessionManager::isSessionActiveChanged, window.get(),
                     holdWhileActive);
    holdWhileActive();
    return window;
}

int TarnhollowApp::run(int& argc, char** argv) const {
    QCoreApplication::setApplicationName(QStringLiteral("tarnhollow"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARNHOLLOW_VERSION));
    if (const std::optional<int> answered = CommandLine::answerWithoutWindow(argc, argv))
        return *answered;
    QApplication application(argc, argv);
    QApplication::setStyle(new FieldStyle);
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Tarnhollow"));
    QGuiApplication::setDesktopFileName(tarnhollowApplicationId());
    SingleInstance instance;
    if (instance.claim() == SingleInstance::Claim::AnotherCopyRuns)
        return 0;
    const std::unique_ptr<ContentView> window = makeWindow();
    // Looking the icon up reads the icon themes; the desktop finds the
    // application by its desktop file name meanwhile.
    new AfterFirstPaint(window.get(), [] {
        QGuiApplication::setWindowIcon(
            Theme::applicationIcon(tarnhollowApplicationId(), QGuiApplication::palette()));
    });
    QObject::connect(&instance, &SingleInstance::activationRequested, window.get(),
                     [target = window.get()] {
                         if (auto* guard = target->findChild<CloseGuard*>())
                             guard->cancelPendingClose();
                         WindowPresenter::present(*target);
                     });
    // Started at login only to end an earlier session on time: a session
    // still running shows the window; anything else is cleaned up quietly.
    const auto& manager = window->manager();
    // A block that could not be removed is said in the window, never dropped
    // with a silent quit.
    if (QCoreApplication::arguments().contains(QStringLiteral("--resume-session")) &&
        !manager.isSessionActive() && !manager.hasErrorMessage()) {
        if (!manager.isBusy())
            return 0;
        QObject::connect(&manager, &FocusSessionManager::isBusyChanged, window.get(),
                         [&manager, target = window.get()] {
                             if (manager.isBusy())
                                 return;
                             if (manager.isSessionActive() || manager.hasErrorMessage())
                                 target->show();
                             else
                                 QCoreApplication::quit();
                         });
        return QApplication::exec();
    }
    window->show();
    return QApplication::exec();
}
