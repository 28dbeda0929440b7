#pragma once

#include <QLabel>

#include <array>

// A label that wraps at word boundaries and remembers its height for the
// last few widths: the layouts ask for it many times over, at a handful of
// widths, while a window opens, and each answer lays the whole text out.
class WrappedLabel : public QLabel {
    Q_OBJECT
public:
    explicit WrappedLabel(const QString& text = {}, QWidget* parent = nullptr);

    int heightForWidth(int width) const override;

protected:
    void changeEvent(QEvent* event) override;

private:
    struct Measure {
        int width = -1;
        int height = 0;
    };

    void forget() const;

    mutable QString m_measuredText;
    mutable std::array<Measure, 4> m_measures;
    mutable size_t m_next = 0;
};
