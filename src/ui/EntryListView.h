#pragma once

#include <QListView>

// The rows of one block list, scrolling inside their card. It is one tab
// stop; rows are selected as in any list (Shift and Ctrl for several, Ctrl+A
// for all), Delete or Backspace removes the selected entries, and a click on
// a row's trash can removes its own.
class EntryListView : public QListView {
    Q_OBJECT
public:
    explicit EntryListView(QWidget* parent = nullptr);

    int rowHeight() const;
    // As high as `rows` rows; the others scroll.
    void setVisibleRows(int rows);

signals:
    void removeRequested(const QStringList& entries);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};
