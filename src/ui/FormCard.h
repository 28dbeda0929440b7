#pragma once

#include <QList>
#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;
class TrashButton;

// A list editor on a rounded card: a title, an input row with "Add", and one
// row per entry with a trash button. It draws the entries it is given and
// keeps none of its own.
class FormCard : public QWidget {
    Q_OBJECT
public:
    using AddAction = std::function<void()>;
    using DeleteAction = std::function<void(const QString& entry)>;

    FormCard(const QString& title, const QString& placeholder, AddAction onAdd,
             DeleteAction onDelete, QWidget* parent = nullptr);

    // Redraws the entry rows from `items`.
    void setItems(const QStringList& items);

    QLineEdit* inputField() const { return m_input; }
    QPushButton* addButton() const { return m_addButton; }
    // Focusable controls, top to bottom.
    QList<QWidget*> focusOrder() const;

    // Re-applies the palette-derived text colours.
    void applyColors();

signals:
    // The number of rows changed, so the tab order needs refreshing.
    void rowsChanged();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Row {
        QWidget* widget;
        QLabel* label;
        TrashButton* button;
    };
    Row makeRow();

    AddAction m_onAdd;
    DeleteAction m_onDelete;
    QLineEdit* m_input;
    QPushButton* m_addButton;
    QLabel* m_emptyLabel;
    QVBoxLayout* m_rowsLayout;
    QList<Row> m_rows;
};
