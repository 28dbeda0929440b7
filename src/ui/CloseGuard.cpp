#include "ui/CloseGuard.h"
#include "services/FocusSessionManager.h"
#include "ui/CloseQuestion.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

CloseGuard::CloseGuard(QWidget* window, FocusSessionManager& manager, Ask ask)
    : QObject(window), m_window(window), m_manager(&manager), m_ask(std::move(ask)) {
    window->installEventFilter(this);
    // Queued, so that the whole answer is in before the close is decided.
    connect(
        m_manager, &FocusSessionManager::isBusyChanged, this,
        [this] {
            if (m_closeWhenDone && m_manager && !m_manager->isBusy() && m_window->isVisible()) {
                m_closeWhenDone = false;
                m_window->close();
            }
        },
        Qt::QueuedConnection);
}

bool CloseGuard::askWithMessageBox(QWidget* window, const QString& question) {
    QMessageBox box(QMessageBox::Question, QGuiApplication::applicationDisplayName(), question,
                    QMessageBox::NoButton, window);
    QPushButton* quit = box.addButton(tr("Quit"), QMessageBox::AcceptRole);
    QPushButton* keep = box.addButton(tr("Keep Open"), QMessageBox::RejectRole);
    box.setDefaultButton(keep);
    box.setEscapeButton(keep);
    box.exec();
    return box.clickedButton() == quit;
}

bool CloseGuard::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_window || event->type() != QEvent::Close || !m_manager)
        return false;
    if (m_manager->isBusy()) {
        m_closeWhenDone = true;
        event->ignore();
        return true;
    }
    m_closeWhenDone = false;
    if (!m_manager->isSessionActive())
        return false;
    const QString question =
        closeQuestion(m_manager->sessionEnd().toLocalTime().toString(QStringLiteral("HH:mm")));
    if (m_ask(m_window, question))
        return false;
    event->ignore();
    return true;
}
