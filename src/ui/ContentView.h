#pragma once

#include "platform/InstalledApplications.h"
#include "services/FocusSessionManager.h"
#include "ui/ApplicationIdTexts.h"

#include <QWidget>

#include <memory>

class ApplicationCompleter;
class FormCard;
class QLabel;
class QPushButton;
class QScrollArea;
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
    // Holds the header and the lists; the session card and the lines under
    // it stay below, always in view.
    QScrollArea* scrollArea() const { return m_scroll; }

    // Room for all of the content without scrolling, as far as the screen
    // allows.
    QSize sizeHint() const override;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
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
    void showApplicationExample(const ApplicationIdTexts& texts);
    // Alt+W and Alt+A to the fields, Alt+D to the duration, Alt+S on the
    // session button.
    void addKeys();

    void applyColors();
    void updateTabOrder();
    // The screen's available size less the window frame.
    QSize availableSize() const;
    // Returns whether the lists' heights changed.
    bool fitListsToScreen();
    // Heights at the window's width: the scrolled part's without scrolling,
    // and the part below it.
    int scrolledHeight() const;
    int pinnedHeight() const;
    // The content's height without scrolling and without the rows the lists
    // grew by.
    int contentMinimumHeight() const;
    void growLists();
    void updateMinimumSize();

    FocusSessionManager* m_manager;
    // Shared with the listing while it runs on another thread.
    std::shared_ptr<InstalledApplications> m_applications;
    bool m_applicationsRequested = false;
    bool m_shown = false;
    QScrollArea* m_scroll = nullptr;
    QWidget* m_scrolled = nullptr;
    QWidget* m_pinned = nullptr;
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
