#include "ui/SessionTrayIcon.h"

#include "base/ApplicationId.h"
#include "services/FocusSessionManager.h"
#include "ui/Theme.h"
#include "ui/WindowPresenter.h"

#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

SessionTrayIcon::SessionTrayIcon(FocusSessionManager& manager, QWidget* window)
    : QObject(window), m_manager(&manager), m_window(window) {
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    m_menu = new QMenu(window);
    m_menu->addAction(tr("Show Window"), this, [this] { WindowPresenter::present(*m_window); });
    m_menu->addAction(tr("Stop Session"), this, [this] {
        if (m_manager && m_manager->state() == FocusSessionManager::SessionState::Active)
            m_manager->stop();
    });
    m_icon = new QSystemTrayIcon(
        Theme::applicationIcon(tarnhollowApplicationId(), window->palette()), this);
    m_icon->setContextMenu(m_menu);
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason why) {
                if (why == QSystemTrayIcon::Trigger)
                    m_menu->actions().first()->trigger();
            });
    connect(&manager, &FocusSessionManager::stateChanged, this, &SessionTrayIcon::update);
    connect(&manager, &FocusSessionManager::remainingSecondsChanged, this,
            &SessionTrayIcon::update);
    // A tooltip set anew shows again over the open menu, so it waits until the
    // menu closes. A panel that draws the menu itself still says when.
    connect(m_menu, &QMenu::aboutToShow, this, [this] { m_menuOpen = true; });
    connect(m_menu, &QMenu::aboutToHide, this, [this] {
        m_menuOpen = false;
        update();
    });
    update();
}

void SessionTrayIcon::update() {
    if (!m_icon || !m_manager)
        return;
    // Shown only while the session runs: never a Stop that cannot stop.
    const bool active = m_manager->state() == FocusSessionManager::SessionState::Active;
    if (active && !m_menuOpen) {
        // Whole minutes, rounded up, so the text changes once a minute: each
        // change of a shown tooltip redraws it on top of the panel item's menu.
        const int minutes = int((m_manager->remainingSeconds() + 59) / 60);
        const QString tip = minutes == 1 ? tr("Tarnhollow — 1 minute left")
                                         : tr("Tarnhollow — %1 minutes left").arg(minutes);
        if (m_icon->toolTip() != tip)
            m_icon->setToolTip(tip);
    }
    m_icon->setVisible(active);
}
