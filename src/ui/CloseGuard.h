#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class FocusSessionManager;
class QWidget;

// What closing the window means. During a session it asks first. While a
// privileged run is pending the window stays, and the close is taken up once
// the run has answered, so no block is left that nobody knows about and no
// session is dropped unasked.
class CloseGuard : public QObject {
    Q_OBJECT

public:
    // Shows `question` and tells whether the user chose to quit.
    using Ask = std::function<bool(QWidget* window, const QString& question)>;

    // Watches `window`, and dies with it.
    CloseGuard(QWidget* window, FocusSessionManager& manager, Ask ask = askWithMessageBox);

    static bool askWithMessageBox(QWidget* window, const QString& question);

    // The user came back to the window (a second launch): a close asked for
    // while a run was pending is dropped.
    void cancelPendingClose() { m_closeWhenDone = false; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
    QPointer<FocusSessionManager> m_manager;
    Ask m_ask;
    bool m_closeWhenDone = false;
};
