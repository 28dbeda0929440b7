#include "ui/SessionCard.h"

#include "hosts/HostsText.h"
#include "ui/AccessibleRoles.h"
#include "ui/ProminentButton.h"
#include "ui/SegmentButton.h"
#include "ui/SegmentedControl.h"
#include "ui/Theme.h"

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
      m_tip(new QLabel(tip, this)) {
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
    m_tip->setWordWrap(true);
    layout->addWidget(m_tip);

    setSessionActive(false);
    applyColors();
}

int SessionCard::focusMinutes() const {
    return m_duration->value();
}

void SessionCard::setSessionActive(bool active, const QString& busyText) {
    // The button stays enabled so that keyboard focus stays on it; the
    // controller ignores clicks until the run has returned.
    m_startStop->setBusy(!busyText.isEmpty());
    m_startStop->setAccessibleDescription(busyText);
    if (!busyText.isEmpty()) {
        m_startStop->setText(busyText);
        m_startStop->setAccessibleName(busyText);
        return;
    }
    m_startStop->setText(active ? tr("Stop Session") : tr("Start Focus Session"));
    m_startStop->setAccessibleName(m_startStop->text());
    m_startStop->setTint(active ? ProminentButton::Tint::Red : ProminentButton::Tint::Blue);
}

void SessionCard::setRemainingTime(const QString& formatted) {
    m_remaining->setText(tr("remaining: %1").arg(formatted));
    // The name changes (and so is announced) when the minute does, at one
    // minute left and at the end, not every second; the value is always now.
    const QString minute = formatted.section(QLatin1Char(':'), 0, 0);
    if (minute != m_announcedMinute || formatted == QLatin1String("01:00") ||
        formatted == QLatin1String("00:00")) {
        m_announcedMinute = minute;
        m_remaining->setAccessibleName(tr("Remaining time %1").arg(formatted));
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
