#include "ui/ContentView.h"

#include "services/FocusSessionManager.h"
#include "services/FocusStore.h"
#include "services/HostBlocker.h"
#include "ui/FormCard.h"
#include "ui/SessionCard.h"
#include "ui/Theme.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

std::unique_ptr<FocusSessionManager> defaultManager() {
    return std::make_unique<FocusSessionManager>(std::make_unique<FocusStore>());
}

} // namespace

ContentView::ContentView(std::unique_ptr<FocusSessionManager> manager, QWidget* parent)
    : QWidget(parent), m_manager(manager ? manager.release() : defaultManager().release()) {
    m_manager->setParent(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(20);
    // The minimum size is kept by updateMinimumSize(), so that it never drops
    // below the fixed minimum and still grows with the content.
    layout->setSizeConstraint(QLayout::SetNoConstraint);

    // Header.
    auto* header = new QVBoxLayout;
    header->setSpacing(6);
    auto* title = new QLabel(tr("Tarnhollow"), this);
    title->setFont(Theme::largeTitle(font()));
    m_subtitle = new QLabel(tr("Turn websites and apps off during deep work sessions."), this);
    m_subtitle->setWordWrap(true);
    m_status = new QLabel(this);
    m_status->setTextFormat(Qt::PlainText);
    m_status->setWordWrap(true);
    m_status->setFont(Theme::font(Theme::TextStyle::Callout, font()));
    header->addWidget(title);
    header->addWidget(m_subtitle);
    header->addWidget(m_status);
    layout->addLayout(header);

    // Block lists.
    auto* blockLists = new QVBoxLayout;
    blockLists->setSpacing(16);
    auto* listsTitle = new QLabel(tr("Block Lists"), this);
    QFont title2 = Theme::font(Theme::TextStyle::Title2, font());
    title2.setBold(true);
    listsTitle->setFont(title2);
    // Card titles and placeholders are data, shown as they are.
    m_websitesCard = new FormCard(
        QStringLiteral("Websites"), QStringLiteral("example.com"), [this] { addWebsite(); },
        [this](const QString& entry) { m_manager->removeWebsite(entry); }, this);
    m_appsCard = new FormCard(
        QStringLiteral("Apps (Bundle ID)"), QStringLiteral("com.google.Chrome"),
        [this] { addApp(); }, [this](const QString& entry) { m_manager->removeAppBundleId(entry); },
        this);
    blockLists->addWidget(listsTitle);
    blockLists->addWidget(m_websitesCard);
    blockLists->addWidget(m_appsCard);
    layout->addLayout(blockLists);

    m_sessionCard = new SessionCard(this);
    layout->addWidget(m_sessionCard);

    m_error = new QLabel(this);
    m_error->setTextFormat(Qt::PlainText);
    m_error->setWordWrap(true);
    // Wraps at spaces; a word wider than the window is cut rather than
    // widening it.
    m_error->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_error->setFont(Theme::font(Theme::TextStyle::Footnote, font()));
    layout->addWidget(m_error);
    layout->addStretch(1);

    connect(m_manager, &FocusSessionManager::websitesChanged, this, &ContentView::showWebsites);
    connect(m_manager, &FocusSessionManager::appBundleIdsChanged, this,
            &ContentView::showAppBundleIds);
    connect(m_manager, &FocusSessionManager::isSessionActiveChanged, this,
            &ContentView::showSessionState);
    connect(m_manager, &FocusSessionManager::remainingSecondsChanged, this,
            &ContentView::showRemainingTime);
    connect(m_manager, &FocusSessionManager::statusMessageChanged, this, &ContentView::showStatus);
    connect(m_manager, &FocusSessionManager::errorMessageChanged, this, &ContentView::showError);
    connect(m_websitesCard, &FormCard::rowsChanged, this, &ContentView::updateTabOrder);
    connect(m_appsCard, &FormCard::rowsChanged, this, &ContentView::updateTabOrder);
    connect(m_sessionCard, &SessionCard::startStopClicked, this, &ContentView::toggleSession);

    showWebsites();
    showAppBundleIds();
    showSessionState();
    showRemainingTime();
    showStatus();
    showError();
    applyColors();
    updateTabOrder();
    updateMinimumSize();
    m_websitesCard->inputField()->setFocus(Qt::OtherFocusReason);
}

ContentView::~ContentView() = default;

void ContentView::addWebsite() {
    QLineEdit* field = m_websitesCard->inputField();
    if (field->text().isEmpty()) {
        return;
    }
    m_manager->addWebsite(field->text());
    field->clear();
}

void ContentView::addApp() {
    QLineEdit* field = m_appsCard->inputField();
    if (field->text().isEmpty()) {
        return;
    }
    m_manager->addAppBundleId(field->text());
    field->clear();
}

void ContentView::toggleSession() {
    if (m_manager->isSessionActive()) {
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
    m_sessionCard->setSessionActive(m_manager->isSessionActive());
}

void ContentView::showRemainingTime() {
    m_sessionCard->setRemainingTime(m_manager->formatDuration());
}

void ContentView::showStatus() {
    m_status->setText(m_manager->statusMessage());
}

void ContentView::showError() {
    // Hidden, the line takes no space in the layout.
    m_error->setText(m_manager->errorMessageText());
    m_error->setVisible(m_manager->hasErrorMessage());
}

bool ContentView::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::LayoutRequest) {
        updateMinimumSize();
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
    QPalette red = palette();
    red.setColor(QPalette::WindowText, Theme::red(palette()));
    m_error->setPalette(red);
    m_websitesCard->applyColors();
    m_appsCard->applyColors();
    m_sessionCard->applyColors();
}

void ContentView::updateTabOrder() {
    const QList<QWidget*> order =
        m_websitesCard->focusOrder() + m_appsCard->focusOrder() + m_sessionCard->focusOrder();
    for (qsizetype i = 1; i < order.size(); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
}

void ContentView::updateMinimumSize() {
    const QSize content = layout()->totalMinimumSize();
    setMinimumSize(content.expandedTo(QSize(minimumContentWidth, minimumContentHeight)));
}
