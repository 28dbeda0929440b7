#pragma once

#include <QAbstractButton>

// One segment of a SegmentedControl: a checkable caption, filled with the
// accent colour while selected.
class SegmentButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit SegmentButton(const QString& text, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
