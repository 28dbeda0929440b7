#pragma once

#include <QList>
#include <QWidget>

#include <functional>

class QButtonGroup;
class SegmentButton;

// A row of mutually exclusive choices, each carrying an integer value.
class SegmentedControl : public QWidget {
    Q_OBJECT
public:
    // One segment per value, captioned by `caption(value)`, in order.
    SegmentedControl(const QList<int>& values, const std::function<QString(int)>& caption,
                     QWidget* parent = nullptr);

    // The selected segment's value.
    int value() const;
    void setValue(int value);
    const QList<SegmentButton*>& segments() const { return m_segments; }

signals:
    void valueChanged(int value);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void updateFocusPolicies();

    QButtonGroup* m_group;
    QList<SegmentButton*> m_segments;
};
