#include "ui/ContentView.h"

#include "hosts/HostsText.h"
#include "services/FocusSessionManager.h"
#include "services/HostBlocker.h"
#include "services/WebsiteHints.h"
#include "ui/AccessibleRoles.h"
#include "ui/ApplicationCompleter.h"
#include "ui/ApplicationIdTexts.h"
#include "ui/FormCard.h"
#include "ui/ProminentButton.h"
#include "ui/SessionCard.h"
#include "ui/StatusLine.h"
#include "ui/Theme.h"
#include "ui/WrappedLabel.h"

#include <QAbstractButton>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

ContentView::ContentView(std::unique_ptr<FocusSessionManager> manager,
                         std::unique_ptr<InstalledApplications> applications, QWidget* parent)
    : QWidget(parent), m_manager(manager.release()), m_applications(std::move(applications)) {
    Q_ASSERT(m_manager && m_applications);
    m_manager->setParent(this);
    AccessibleRoles::install();
    setAccessibleName(tr("Tarnhollow"));

    // The header and the lists scroll when the screen is too low for them
    // (large text or scale); the session card and the lines under it stay.
    auto* window = new QVBoxLayout(this);
    window->setContentsMargins(0, 0, 0, 0);
    window->setSpacing(0);
    // The minimum size is kept by updateMinimumSize().
    window->setSizeConstraint(QLayout::SetNoConstraint);
    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scrolled = new QWidget(m_scroll);
    m_scrolled->installEventFilter(this);
    auto* layout = new QVBoxLayout(m_scrolled);
    layout->setContentsMargins(20, 20, 20, 0);
    layout->setSpacing(20);

    // Header.
    auto* header = new QVBoxLayout;
    header->setSpacing(6);
    auto* title = new QLabel(tr("Tarnhollow"), this);
    title->setFont(Theme::largeTitle(font()));
    m_subtitle =
        new WrappedLabel(tr("Turn websites and apps off during deep work sessions."), this);
    m_status = new StatusLine(this);
    m_status->setFont(Theme::font(Theme::TextStyle::Callout, font()));
    header->addWidget(title);
    header->addWidget(m_subtitle);
    header->addWidget(m_status);
    // Read by a screen reader like the status, but small and grey: nothing
    // here needs the user to act.
    m_notice = new StatusLine(this);
    m_notice->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_notice->setFont(Theme::font(Theme::TextStyle::Footnote, font()));
    header->addWidget(m_notice);
    layout->addLayout(header);

    // Block lists.
    auto* blockLists = new QVBoxLayout;
    blockLists->setSpacing(16);
    auto* listsTitle = new QLabel(tr("Block Lists"), this);
    QFont title2 = Theme::font(Theme::TextStyle::Title2, font());
    title2.setBold(true);
    listsTitle->setFont(title2);
    // Card titles and placeholders are data, shown as they are; hints are
    // only drawn, the lists never change because of them.
    const ApplicationIdTexts appTexts = applicationIdTexts();
    m_websitesCard = new FormCard(
        QStringLiteral("Websites"), QStringLiteral("example.com"), [this] { addWebsite(); },
        [this](const QStringList& entries) {
            m_manager->removeEntries(BlockList::Websites, entries);
        },
        [](const QString& entry) { return websiteHint(entry); }, this);
    m_appsCard = new FormCard(
        appTexts.cardTitle, appTexts.placeholder, [this] { addApp(); },
        [this](const QStringList& entries) {
            m_manager->removeEntries(BlockList::Applications, entries);
        },
        [this](const QString& id) {
            const bool missing = m_completer->isLoaded() && !m_completer->isInstalled(id);
            return missing ? tr("not installed") : QString();
        },
        this);
    m_websitesCard->setImportAction(
        [this](const QString& path) { m_manager->importWebsites(path); },
        [this] { m_manager->cancelImport(); });
    // A file read in a blink shows no progress bar at all.
    auto* progressDelay = new QTimer(this);
    progressDelay->setSingleShot(true);
    progressDelay->setInterval(300);
    connect(progressDelay, &QTimer::timeout, this,
            [this] { m_websitesCard->setImporting(m_manager->isImporting()); });
    connect(m_manager, &FocusSessionManager::importingChanged, this, [this, progressDelay] {
        if (m_manager->isImporting()) {
            progressDelay->start();
        } else {
            progressDelay->stop();
            m_websitesCard->setImporting(false);
        }
    });
    connect(m_manager, &FocusSessionManager::importProgressChanged, m_websitesCard,
            &FormCard::setImportProgress);
    // The filter of the list being worked in, else the websites'.
    connect(new QShortcut(QKeySequence::Find, this), &QShortcut::activated, this, [this] {
        (m_appsCard->isAncestorOf(focusWidget()) ? m_appsCard : m_websitesCard)->focusFilter();
    });
    // A text field takes Ctrl+Z for its own typing first.
    connect(new QShortcut(QKeySequence::Undo, this), &QShortcut::activated, m_manager,
            &FocusSessionManager::undoListChange);
    m_completer = new ApplicationCompleter(m_appsCard->inputField());
    blockLists->addWidget(listsTitle);
    blockLists->addWidget(m_websitesCard);
    blockLists->addWidget(m_appsCard);
    // Edits during a session are saved but reach only the next one.
    m_nextSessionNote = new QLabel(tr("Changes apply to the next session."), this);
    m_nextSessionNote->setFont(Theme::font(Theme::TextStyle::Footnote, font()));
    blockLists->addWidget(m_nextSessionNote);
    layout->addLayout(blockLists);

    // Takes the height the window has, up to what it needs (updateMinimumSize).
    window->addWidget(m_scroll, 1);

    m_pinned = new QWidget(this);
    layout = new QVBoxLayout(m_pinned);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(20);
    m_sessionCard = new SessionCard(appTexts.tip, this);
    layout->addWidget(m_sessionCard);

    // An old block without owner: what it is, and the way out.
    m_unownedPanel = new QWidget(this);
    auto* unowned = new QVBoxLayout(m_unownedPanel);
    unowned->setContentsMargins(0, 0, 0, 0);
    unowned->setSpacing(8);
    m_unownedNote = new StatusLine(m_unownedPanel);
    m_unownedNote->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_removeOldBlock = new QPushButton(tr("&Remove Old Block…"), m_unownedPanel);
    m_removeOldBlock->setAccessibleName(tr("Remove Old Block…"));
    connect(m_removeOldBlock, &QPushButton::clicked, m_manager,
            &FocusSessionManager::removeUnownedBlock);
    unowned->addWidget(m_unownedNote);
    unowned->addWidget(m_removeOldBlock, 0, Qt::AlignLeft);
    layout->addWidget(m_unownedPanel);

    m_error = new StatusLine(this);
    // Wraps at spaces; a word wider than the window is cut rather than
    // widening it.
    m_error->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_error->setFont(Theme::font(Theme::TextStyle::Footnote, font()));
    layout->addWidget(m_error);
    // Height beyond what all of it needs stays below, once the scroll area
    // has all it can take.
    layout->addStretch(1);
    window->addWidget(m_pinned);
    addKeys();

    connect(m_manager, &FocusSessionManager::websitesChanged, this, &ContentView::showWebsites);
    connect(m_manager, &FocusSessionManager::appBundleIdsChanged, this,
            &ContentView::showAppBundleIds);
    connect(m_manager, &FocusSessionManager::stateChanged, this, &ContentView::showSessionState);
    connect(m_manager, &FocusSessionManager::isBusyChanged, this, &ContentView::showSessionState);
    connect(m_manager, &FocusSessionManager::remainingSecondsChanged, this,
            &ContentView::showRemainingTime);
    connect(m_manager, &FocusSessionManager::statusMessageChanged, this, &ContentView::showStatus);
    connect(m_manager, &FocusSessionManager::errorMessageChanged, this, &ContentView::showError);
    connect(m_manager, &FocusSessionManager::noticeChanged, this, &ContentView::showNotice);
    connect(m_manager, &FocusSessionManager::unownedBlockChanged, this,
            &ContentView::showUnownedBlock);
    connect(m_sessionCard, &SessionCard::startStopClicked, this, &ContentView::toggleSession);
    // Only now that every change is heard: it may ask for the password.
    m_manager->resume();

    showWebsites();
    showAppBundleIds();
    showSessionState();
    showRemainingTime();
    showStatus();
    showError();
    showNotice();
    showUnownedBlock();
    applyColors();
    updateTabOrder();
    // Once the texts are in: the scroll area measures its content here.
    m_scroll->setWidget(m_scrolled);
    updateMinimumSize();
    m_websitesCard->inputField()->setFocus(Qt::OtherFocusReason);
}

ContentView::~ContentView() = default;

QLabel* ContentView::statusLine() const {
    return m_status;
}

QLabel* ContentView::errorLine() const {
    return m_error;
}

QLabel* ContentView::noticeLine() const {
    return m_notice;
}

QLabel* ContentView::unownedBlockLine() const {
    return m_unownedNote;
}

void ContentView::addWebsite() {
    QLineEdit* field = m_websitesCard->inputField();
    if (field->text().isEmpty()) {
        return;
    }
    const QString entry = m_manager->addWebsite(field->text());
    field->clear();
    if (!entry.isEmpty())
        m_websitesCard->showEntry(entry);
}

void ContentView::addApp() {
    QLineEdit* field = m_appsCard->inputField();
    if (field->text().isEmpty()) {
        return;
    }
    const QString entry = m_manager->addAppBundleId(field->text());
    field->clear();
    if (!entry.isEmpty())
        m_appsCard->showEntry(entry);
}

void ContentView::toggleSession() {
    if (m_manager->state() == FocusSessionManager::SessionState::Active) {
        m_manager->stop();
    } else {
        m_manager->start(m_sessionCard->focusMinutes());
    }
}

void ContentView::showWebsites() {
    m_websitesCard->setItems(m_manager->websites());
}

void ContentView::showAppBundleIds() {
    m_appsCard->setItems(m_manager->appBundleIds());
}

void ContentView::showSessionState() {
    using State = FocusSessionManager::SessionState;
    const State state = m_manager->state();
    QString busy;
    if (state == State::Starting)
        busy = tr("Waiting for the administrator password…");
    else if (state == State::Stopping ||
             m_manager->pendingRun() == FocusSessionManager::PendingRun::Removal)
        busy = tr("Removing the block…");
    else if (m_manager->pendingRun() == FocusSessionManager::PendingRun::UnownedRemoval)
        busy = tr("Removing the old block…");
    m_sessionCard->setSessionActive(state == State::Active, busy);
    m_nextSessionNote->setVisible(state == State::Active);
    showRemainingTime();
}

void ContentView::showRemainingTime() {
    m_sessionCard->setRemainingTime(m_manager->formatDuration());
    // The time left can be read from the panel's window list too. Qt adds
    // the application's name to a title that does not end with it, so it
    // comes last and is shown once.
    const QString name = QGuiApplication::applicationDisplayName();
    setWindowTitle(m_manager->state() == FocusSessionManager::SessionState::Active
                       ? tr("%1 left — %2").arg(m_manager->formatDuration(), name)
                       : name);
}

void ContentView::showStatus() {
    m_status->setMessage(m_manager->statusMessage());
}

void ContentView::showError() {
    // Hidden, the line takes no space in the layout.
    m_error->setMessage(m_manager->errorMessageText());
    m_error->setVisible(m_manager->hasErrorMessage());
}

void ContentView::showNotice() {
    // Announced when it changes, never again for the same text.
    if (m_notice->text() != m_manager->notice())
        m_notice->setMessage(m_manager->notice());
    m_notice->setVisible(!m_manager->notice().isEmpty());
}

void ContentView::showUnownedBlock() {
    const bool shown = m_manager->hasUnownedBlock();
    // Keyboard focus must not vanish with the button.
    if (!shown && m_removeOldBlock->hasFocus())
        m_sessionCard->startStopButton()->setFocus(Qt::OtherFocusReason);
    if (m_unownedNote->text() != m_manager->unownedBlockMessage())
        m_unownedNote->setMessage(m_manager->unownedBlockMessage());
    m_removeOldBlock->setAccessibleDescription(m_manager->unownedBlockMessage());
    m_unownedPanel->setVisible(shown);
}

void ContentView::loadInstalledApplications() {
    // Reading the system's list takes a while; the window stays live. A view
    // closed meanwhile takes the watcher with it, and the list is dropped.
    using Listing = QFutureWatcher<QList<InstalledApplication>>;
    auto* watcher = new Listing(this);
    connect(watcher, &Listing::finished, this, [this, watcher] {
        const QList<InstalledApplication> installed = watcher->result();
        m_completer->setApplications(installed);
        m_appsCard->refreshHints();
        QStringList ids;
        for (const InstalledApplication& application : installed)
            ids.append(application.id);
        showApplicationExample(applicationIdTexts(ids));
        watcher->deleteLater();
    });
    watcher->setFuture(
        QtConcurrent::run([applications = m_applications] { return applications->list(); }));
}

void ContentView::showApplicationExample(const ApplicationIdTexts& texts) {
    m_appsCard->inputField()->setPlaceholderText(texts.placeholder);
    m_appsCard->inputField()->setAccessibleDescription(texts.placeholder);
    m_sessionCard->tipLabel()->setText(texts.tip);
}

void ContentView::addKeys() {
    // The card titles and the session button's caption are data or change
    // with the session, so their keys are fixed here (listed in the README).
    const auto key = [this](QKeyCombination keys, auto action) {
        connect(new QShortcut(QKeySequence(keys), this), &QShortcut::activated, this, action);
    };
    const auto focusField = [this](FormCard* card) {
        QLineEdit* field = card->inputField();
        m_scroll->ensureWidgetVisible(field);
        field->setFocus(Qt::ShortcutFocusReason);
        field->selectAll();
    };
    key(Qt::ALT | Qt::Key_W, [=, this] { focusField(m_websitesCard); });
    key(Qt::ALT | Qt::Key_A, [=, this] { focusField(m_appsCard); });
    key(Qt::ALT | Qt::Key_D, [this] {
        for (QWidget* segment : m_sessionCard->focusOrder()) {
            if (segment->focusPolicy() & Qt::TabFocus) {
                segment->setFocus(Qt::ShortcutFocusReason);
                return;
            }
        }
    });
    key(Qt::ALT | Qt::Key_S, [this] {
        m_sessionCard->startStopButton()->setFocus(Qt::ShortcutFocusReason);
        m_sessionCard->startStopButton()->click();
    });
}

bool ContentView::eventFilter(QObject* watched, QEvent* event) {
    // The scrolled part's height changed: the scroll area's limit follows.
    if (watched == m_scrolled && event->type() == QEvent::LayoutRequest)
        QCoreApplication::postEvent(this, new QEvent(QEvent::LayoutRequest));
    return QWidget::eventFilter(watched, event);
}

bool ContentView::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    switch (event->type()) {
    case QEvent::Show:
        // A new window opens at its content's size, known once the cards
        // shown with it have laid themselves out.
        if (isWindow() && !m_shown) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            resize(sizeHint().expandedTo(minimumSize()));
        }
        m_shown = true;
        [[fallthrough]];
    case QEvent::LayoutRequest:
        updateMinimumSize();
        growLists();
        break;
    case QEvent::Resize:
        growLists();
        break;
    case QEvent::Paint:
        // Reading the installed applications must not delay the first frame.
        if (!m_applicationsRequested) {
            m_applicationsRequested = true;
            QTimer::singleShot(0, this, &ContentView::loadInstalledApplications);
        }
        break;
    default:
        break;
    }
    return handled;
}

void ContentView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyColors();
    }
}

void ContentView::keyPressEvent(QKeyEvent* event) {
    // Return and Enter press the focused button, as Space does; in a text
    // field they do nothing.
    const bool returnKey = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    auto* button = qobject_cast<QAbstractButton*>(focusWidget());
    if (returnKey && button && isAncestorOf(button) && button->isEnabled()) {
        button->click();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ContentView::applyColors() {
    QPalette secondary = palette();
    secondary.setColor(QPalette::WindowText, Theme::secondary(palette()));
    m_subtitle->setPalette(secondary);
    m_status->setPalette(secondary);
    m_notice->setPalette(secondary);
    m_nextSessionNote->setPalette(secondary);
    QPalette red = palette();
    red.setColor(QPalette::WindowText, Theme::red(palette()));
    m_error->setPalette(red);
    for (const FormCard* card : {m_websitesCard, m_appsCard}) {
        QPalette field = card->inputField()->palette();
        field.setColor(QPalette::PlaceholderText, Theme::placeholder(palette()));
        card->inputField()->setPalette(field);
    }
    m_websitesCard->applyColors();
    m_appsCard->applyColors();
    m_sessionCard->applyColors();
}

void ContentView::updateTabOrder() {
    const QList<QWidget*> order = m_websitesCard->focusOrder() + m_appsCard->focusOrder() +
                                  m_sessionCard->focusOrder() + QList<QWidget*>{m_removeOldBlock};
    for (qsizetype i = 1; i < order.size(); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
}

// The screen's available size less the window frame.
QSize ContentView::availableSize() const {
    const QScreen* screen = this->screen();
    if (!screen)
        return {QWIDGETSIZE_MAX, QWIDGETSIZE_MAX};
    const QSize frame = isVisible() ? frameGeometry().size() - size() : QSize();
    return screen->availableGeometry().size() - frame;
}

int ContentView::scrolledHeight() const {
    // As the scroll area reckons: never below the layout's minimum.
    return std::max(m_scrolled->heightForWidth(width()), m_scrolled->minimumSizeHint().height());
}

int ContentView::pinnedHeight() const {
    const int height = m_pinned->heightForWidth(width());
    return height >= 0 ? height : m_pinned->sizeHint().height();
}

int ContentView::contentMinimumHeight() const {
    return scrolledHeight() + pinnedHeight() - m_websitesCard->grownHeight() -
           m_appsCard->grownHeight();
}

// Height the window has beyond its content goes to the lists, half each,
// and what one list does not need to the other; each keeps its scrolling.
void ContentView::growLists() {
    const int rows = std::max(0, height() - contentMinimumHeight()) / m_websitesCard->rowHeight();
    const int websites = std::min(m_websitesCard->rowsBeyondMax(), (rows + 1) / 2);
    const int apps = std::min(m_appsCard->rowsBeyondMax(), rows - websites);
    m_websitesCard->setExtraRows(std::min(m_websitesCard->rowsBeyondMax(), rows - apps));
    m_appsCard->setExtraRows(apps);
}

// Shows as many list rows as the screen's available height leaves room for,
// between the fewest and the most; below the fewest the header and lists scroll.
bool ContentView::fitListsToScreen() {
    const int available = availableSize().height();
    const int rest = contentMinimumHeight() - m_websitesCard->shownEntriesHeight() -
                     m_appsCard->shownEntriesHeight();
    int rows = mostListRows;
    while (rows > fewestListRows &&
           rest + m_websitesCard->entriesHeight(rows) + m_appsCard->entriesHeight(rows) >
               available) {
        --rows;
    }
    if (rows == m_websitesCard->maxVisibleRows()) {
        return false;
    }
    m_websitesCard->setMaxVisibleRows(rows);
    m_appsCard->setMaxVisibleRows(rows);
    return true;
}

QSize ContentView::sizeHint() const {
    return QSize(minimumWidth(), scrolledHeight() + pinnedHeight()).boundedTo(availableSize());
}

void ContentView::updateMinimumSize() {
    if (fitListsToScreen()) {
        // The lists' new heights are not in the layout's caches yet.
        m_scrolled->layout()->invalidate();
        m_scrolled->layout()->activate();
    }
    m_scroll->setMaximumHeight(scrolledHeight());
    // The fixed minimum, as far as the screen has room for it; what does not
    // fit scrolls. Wider content (large text) widens the window.
    const int contentWidth =
        std::max(m_scrolled->minimumSizeHint().width(), m_pinned->minimumSizeHint().width());
    const QSize available = availableSize();
    setMinimumSize(QSize(std::max(minimumContentWidth, contentWidth), minimumContentHeight)
                       .boundedTo(available));
    // A window sized for longer lists shrinks back onto the screen.
    if (isWindow() && height() > available.height() && height() > minimumHeight()) {
        resize(width(), std::max(minimumHeight(), available.height()));
    }
}
