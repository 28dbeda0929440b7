#include "ui/SessionCard.h"

#include "hosts/HostsText.h"
#include "ui/AccessibleRoles.h"
#include "ui/ProminentButton.h"
#include "ui/SegmentButton.h"
#include "ui/SegmentedControl.h"
#include "ui/Theme.h"
#include "ui/WrappedLabel.h"

#include <QAccessible>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

const QList<int> SessionCard::minuteOptions{
    5, 10, 15, 25, 30, 45, int(HostsText::kLongestSessionSecs / 60)};

SessionCard::SessionCard(const QString& tip, QWidget* parent)
    : QWidget(parent), m_title(new QLabel(tr("Focus Session"), this)),
      m_durationLabel(new QLabel(tr("Duration"), this)),
      m_duration(new SegmentedControl(
          minuteOptions, [](int minutes) { return tr("%1 min").arg(minutes); }, this)),
      m_remaining(new QLabel(this)), m_startStop(new ProminentButton(QString(), this)),
      m_tip(new WrappedLabel(tip, this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);

    QLabel* title = m_title;
    setAccessibleName(title->text());
    QFont titleFont = Theme::font(Theme::TextStyle::Title2, font());
    titleFont.setBold(true);
    title->setFont(titleFont);
    layout->addWidget(title);

    m_duration->setValue(initialMinutes);
    m_duration->setAccessibleName(tr("Duration"));
    m_durationLabel->setBuddy(m_duration);
    m_remaining->setObjectName(AccessibleRoles::remainingTimeName);
    m_remaining->setAccessibleName(tr("Remaining time"));
    m_remaining->setFont(
        Theme::withMonospacedDigits(Theme::font(Theme::TextStyle::Headline, font())));
    m_remaining->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_remaining->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* row = new QHBoxLayout;
    row->addWidget(m_durationLabel, 0, Qt::AlignVCenter);
    row->addWidget(m_duration, 0, Qt::AlignVCenter);
    row->addWidget(m_remaining, 1, Qt::AlignVCenter);
    layout->addLayout(row);

    m_startStop->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(m_startStop, &QPushButton::clicked, this, &SessionCard::startStopClicked);
    layout->addWidget(m_startStop);

    m_tip->setFont(Theme::font(Theme::TextStyle::Footnote, font()));
    layout->addWidget(m_tip);

    setSessionActive(false);
    applyColors();
}

int SessionCard::focusMinutes() const {
    return m_duration->value();
}

void SessionCard::setSessionActive(bool active, const QString& busyText) {
    // The button stays enabled so that keyboard focus stays on it; the
    // controller ignores clicks until the run has returned. Only what
    // changed is told, so a screen reader hears each look once.
    m_startStop->setBusy(!busyText.isEmpty());
    const QString caption = !busyText.isEmpty() ? busyText
                            : active            ? tr("Stop Session")
                                                : tr("Start Focus Session");
    // Its name is its caption: a name of its own would be told a second time.
    m_startStop->setText(caption);
    if (m_startStop->accessibleDescription() != busyText)
        m_startStop->setAccessibleDescription(busyText);
    if (busyText.isEmpty())
        m_startStop->setTint(active ? ProminentButton::Tint::Red : ProminentButton::Tint::Blue);
}

void SessionCard::setRemainingTime(const QString& formatted) {
    m_remaining->setText(tr("remaining: %1").arg(formatted));
    // The name stays and the text is read as it is now; a screen reader is
    // told when the minute changes, at one minute left and at the end, not
    // every second.
    const QString minute = formatted.section(QLatin1Char(':'), 0, 0);
    if (minute != m_announcedMinute || formatted == QLatin1String("01:00") ||
        formatted == QLatin1String("00:00")) {
        const bool first = m_announcedMinute.isNull();
        m_announcedMinute = minute;
        if (!first) {
            QAccessibleValueChangeEvent event(m_remaining, m_remaining->text());
            QAccessible::updateAccessibility(&event);
        }
    }
}

QList<QWidget*> SessionCard::focusOrder() const {
    QList<QWidget*> order;
    for (SegmentButton* segment : m_duration->segments()) {
        order.append(segment);
    }
    order.append(m_startStop);
    return order;
}

void SessionCard::applyColors() {
    QPalette secondary = palette();
    secondary.setColor(QPalette::WindowText, Theme::secondary(palette()));
    m_tip->setPalette(secondary);
}
