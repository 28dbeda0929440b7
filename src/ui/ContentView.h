#pragma once

#include "services/FocusSessionManager.h"

#include <QWidget>

#include <memory>

class FormCard;
class QLabel;
class SessionCard;

// The one view of the window: header with the status line, the two block
// lists, the session card and the error line. It draws the controller's state
// and forwards every user action to one controller operation.
class ContentView : public QWidget {
    Q_OBJECT
public:
    static constexpr int minimumContentWidth = 640;
    static constexpr int minimumContentHeight = 560;

    // Without a controller the view makes its own, on the default store.
    explicit ContentView(std::unique_ptr<FocusSessionManager> manager = nullptr,
                         QWidget* parent = nullptr);
    ~ContentView() override;

    FocusSessionManager& manager() const { return *m_manager; }
    FormCard* websitesCard() const { return m_websitesCard; }
    FormCard* appsCard() const { return m_appsCard; }
    SessionCard* sessionCard() const { return m_sessionCard; }
    QLabel* statusLine() const { return m_status; }
    QLabel* errorLine() const { return m_error; }

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void addWebsite();
    void addApp();
    void toggleSession();

    void showWebsites();
    void showAppBundleIds();
    void showSessionState();
    void showRemainingTime();
    void showStatus();
    void showError();

    void applyColors();
    void updateTabOrder();
    void updateMinimumSize();

    FocusSessionManager* m_manager;
    QLabel* m_subtitle = nullptr;
    QLabel* m_status = nullptr;
    FormCard* m_websitesCard = nullptr;
    FormCard* m_appsCard = nullptr;
    SessionCard* m_sessionCard = nullptr;
    QLabel* m_error = nullptr;
};
