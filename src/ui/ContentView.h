#pragma once

#include "platform/InstalledApplications.h"
#include "services/FocusSessionManager.h"

#include <QWidget>

#include <memory>

class ApplicationCompleter;
class FormCard;
class QLabel;
class QPushButton;
class SessionCard;
class StatusLine;

// The one view of the window: header with the status and notice lines, the two block
// lists, the session card, an old block in the way, and the error line. It draws the controller's
// state and forwards every user action to one controller operation.
class ContentView : public QWidget {
    Q_OBJECT
public:
    static constexpr int minimumContentWidth = 640;
    static constexpr int minimumContentHeight = 560;
    // Entries a list shows before it scrolls, as the screen's height allows.
    static constexpr int fewestListRows = 3;
    static constexpr int mostListRows = 6;

    // Both are required; the view owns them.
    ContentView(std::unique_ptr<FocusSessionManager> manager,
                std::unique_ptr<InstalledApplications> applications, QWidget* parent = nullptr);
    ~ContentView() override;

    FocusSessionManager& manager() const { return *m_manager; }
    FormCard* websitesCard() const { return m_websitesCard; }
    FormCard* appsCard() const { return m_appsCard; }
    SessionCard* sessionCard() const { return m_sessionCard; }
    QLabel* statusLine() const;
    QLabel* errorLine() const;
    // Quiet notices of the last start, under the status line.
    QLabel* noticeLine() const;
    // Shown while an old block without owner is in the way.
    QLabel* unownedBlockLine() const;
    QPushButton* removeOldBlockButton() const { return m_removeOldBlock; }
    ApplicationCompleter* applicationCompleter() const { return m_completer; }

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
    void showNotice();
    void showUnownedBlock();

    void loadInstalledApplications();

    void applyColors();
    void updateTabOrder();
    // The screen's available height less the window frame.
    int availableHeight() const;
    // Returns whether the lists' heights changed.
    bool fitListsToScreen();
    // The layout's minimum height without the rows the lists grew by.
    int contentMinimumHeight() const;
    void growLists();
    void updateMinimumSize();

    FocusSessionManager* m_manager;
    // Shared with the listing while it runs on another thread.
    std::shared_ptr<InstalledApplications> m_applications;
    bool m_applicationsRequested = false;
    QLabel* m_subtitle = nullptr;
    QLabel* m_nextSessionNote = nullptr;
    StatusLine* m_status = nullptr;
    StatusLine* m_notice = nullptr;
    FormCard* m_websitesCard = nullptr;
    FormCard* m_appsCard = nullptr;
    ApplicationCompleter* m_completer = nullptr;
    SessionCard* m_sessionCard = nullptr;
    QWidget* m_unownedPanel = nullptr;
    StatusLine* m_unownedNote = nullptr;
    QPushButton* m_removeOldBlock = nullptr;
    StatusLine* m_error = nullptr;
};
