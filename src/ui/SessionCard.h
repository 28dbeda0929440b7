#pragma once

#include <QList>
#include <QWidget>

class ProminentButton;
class QLabel;
class SegmentedControl;

// Session length choice, remaining time and the start/stop button. It shows
// what it is told and keeps no session state.
class SessionCard : public QWidget {
    Q_OBJECT
public:
    static const QList<int> minuteOptions;
    static constexpr int initialMinutes = 30;

    // `tip` is the footnote under the button.
    explicit SessionCard(const QString& tip, QWidget* parent = nullptr);

    // The selected session length in minutes.
    int focusMinutes() const;
    // While `busyText` is not empty a privileged run is under way: the
    // button says so and its look waits for the run to return.
    void setSessionActive(bool active, const QString& busyText = QString());
    // `formatted` as minutes and seconds, e.g. "25:00".
    void setRemainingTime(const QString& formatted);

    SegmentedControl* durationControl() const { return m_duration; }
    ProminentButton* startStopButton() const { return m_startStop; }
    QLabel* remainingLabel() const { return m_remaining; }
    QLabel* tipLabel() const { return m_tip; }
    // Focusable controls, left to right and top to bottom; of the segments
    // only the selected one takes Tab focus.
    QList<QWidget*> focusOrder() const;

    void applyColors();

signals:
    void startStopClicked();

private:
    // First, so that assistive technology meets the heading first.
    QLabel* m_title;
    QLabel* m_durationLabel;
    SegmentedControl* m_duration;
    QLabel* m_remaining;
    ProminentButton* m_startStop;
    QLabel* m_tip;
    // The minute last announced, so the countdown speaks once a minute.
    QString m_announcedMinute;
};
