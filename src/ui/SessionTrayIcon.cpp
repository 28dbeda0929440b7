#include "ui/SessionTrayIcon.h"

#include "services/FocusSessionManager.h"
#include "ui/Theme.h"
#include "ui/WindowPresenter.h"

#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QWidget>

namespace {

// The installed theme icon, else a plain mark in the accent colour.
QIcon trayIcon(const QWidget* window) {
    QIcon icon = QIcon::fromTheme(QStringLiteral("org.tarnhollow.Tarnhollow"));
    if (!icon.isNull())
        return icon;
    QPixmap mark(64, 64);
    mark.fill(Qt::transparent);
    QPainter painter(&mark);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::accent(window->palette()));
    painter.drawEllipse(QRectF(6, 6, 52, 52));
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(24, 24, 16, 16));
    return QIcon(mark);
}

} // namespace

SessionTrayIcon::SessionTrayIcon(FocusSessionManager& manager, QWidget* window)
    : QObject(window), m_manager(&manager), m_window(window) {
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    m_menu = new QMenu(window);
    m_menu->addAction(tr("Show Window"), this, [this] { WindowPresenter::present(*m_window); });
    m_menu->addAction(tr("Stop Session"), this, [this] {
        if (m_manager && m_manager->isSessionActive())
            m_manager->stop();
    });
    m_icon = new QSystemTrayIcon(trayIcon(window), this);
    m_icon->setContextMenu(m_menu);
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason why) {
                if (why == QSystemTrayIcon::Trigger)
                    m_menu->actions().first()->trigger();
            });
    connect(&manager, &FocusSessionManager::isSessionActiveChanged, this, &SessionTrayIcon::update);
    connect(&manager, &FocusSessionManager::remainingSecondsChanged, this,
            &SessionTrayIcon::update);
    update();
}

void SessionTrayIcon::update() {
    if (!m_icon || !m_manager)
        return;
    const bool active = m_manager->isSessionActive();
    if (active)
        m_icon->setToolTip(tr("Tarnhollow — %1 left").arg(m_manager->formatDuration()));
    m_icon->setVisible(active);
}
