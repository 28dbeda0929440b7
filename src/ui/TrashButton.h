#pragma once

#include <QToolButton>

// A flat button showing a trash can, removing the entry it names.
class TrashButton : public QToolButton {
    Q_OBJECT
public:
    explicit TrashButton(QWidget* parent = nullptr);

    const QString& entry() const { return m_entry; }
    // Also names the button for assistive technology: "Remove <entry>".
    void setEntry(const QString& entry);

protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void updateIcon();

    QString m_entry;
};
