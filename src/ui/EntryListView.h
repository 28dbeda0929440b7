#pragma once

#include <QListView>

// The rows of one block list, scrolling inside their card. It is one tab
// stop; Delete or Backspace removes the selected entry, and so does a click
// on a row's trash can.
class EntryListView : public QListView {
    Q_OBJECT
public:
    explicit EntryListView(QWidget* parent = nullptr);

    int rowHeight() const;
    // As high as `rows` rows; the others scroll.
    void setVisibleRows(int rows);

signals:
    void removeRequested(const QString& entry);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};
