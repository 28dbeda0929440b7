#pragma once

#include <QObject>
#include <QPointer>

class FocusSessionManager;
class QMenu;
class QSystemTrayIcon;
class QWidget;

// The session outside the window: while one runs, a panel item (a
// StatusNotifierItem on Linux desktops, a menu-bar item on macOS) shows the
// minutes left as its tooltip and offers Show Window and Stop Session. Where
// the desktop has no tray nothing is shown. Dies with `window`.
class SessionTrayIcon : public QObject {
    Q_OBJECT
public:
    SessionTrayIcon(FocusSessionManager& manager, QWidget* window);

    // Null where the desktop has no tray.
    QSystemTrayIcon* icon() const { return m_icon; }

private:
    void update();

    QPointer<FocusSessionManager> m_manager;
    QWidget* m_window;
    QSystemTrayIcon* m_icon = nullptr;
    QMenu* m_menu = nullptr;
    bool m_menuOpen = false;
};
