#pragma once

#include <QObject>

class QWidget;

// Once `window` has painted its first frame, prints
// "first_paint rss_kb=<n> cpu_ms=<t>" on standard output and quits.
class FirstPaintReporter : public QObject {
    Q_OBJECT
public:
    explicit FirstPaintReporter(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void report();

    bool m_painted = false;
};
