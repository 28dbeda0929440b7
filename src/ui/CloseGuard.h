#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class FocusSessionManager;
class QWidget;

// What closing the window means. While the system asks for the password the
// window only hides, and the app quits once the answer is handled, so no
// block is left that nobody knows about. During a session it asks first.
class CloseGuard : public QObject {
    Q_OBJECT

public:
    // Shows `question` and tells whether the user chose to quit.
    using Ask = std::function<bool(QWidget* window, const QString& question)>;

    // Watches `window`, and dies with it.
    CloseGuard(QWidget* window, FocusSessionManager& manager, Ask ask = askWithMessageBox);

    static bool askWithMessageBox(QWidget* window, const QString& question);

signals:
    // The window was closed while a change was under way, and it has now
    // been handled: the app may quit.
    void readyToQuit();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
    QPointer<FocusSessionManager> m_manager;
    Ask m_ask;
};
