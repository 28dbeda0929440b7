#pragma once

#include <QObject>

#include <functional>

class QWidget;

// Runs `then` once `window` has painted its first frame and the frame has
// gone out, from the event loop. What the first frame does not need waits
// for this, so the window appears as soon as it can. Dies with `window`.
class AfterFirstPaint : public QObject {
    Q_OBJECT
public:
    AfterFirstPaint(QWidget* window, std::function<void()> then);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> m_then;
};
