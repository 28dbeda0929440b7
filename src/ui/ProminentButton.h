#pragma once

#include <QPushButton>

// A button filled with a tint colour, its caption in a contrasting colour.
class ProminentButton : public QPushButton {
    Q_OBJECT
public:
    enum class Tint { Accent, Blue, Red };

    explicit ProminentButton(const QString& text, QWidget* parent = nullptr);

    Tint tint() const { return m_tint; }
    void setTint(Tint tint);
    // Waiting: drawn faded, without hover or press feedback.
    bool isBusy() const { return m_busy; }
    void setBusy(bool busy);
    // The fill for the current palette.
    QColor fillColor() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Tint m_tint = Tint::Accent;
    bool m_busy = false;
};
