#pragma once

#include <QTableView>

// The result list: four columns, no grid and no row numbers, whole rows
// selected one at a time, every row as high as one line of text.
//
// A table rather than a tree: a QTreeView walks every row on each model
// reset to lay them out (18 ms at 1,000,000 rows, more than a frame for every
// keystroke), while a table's rows are header sections of one fixed size, so
// a reset, its layout and a paint cost about 2 ms at any number of rows.
class ResultList : public QTableView {
    Q_OBJECT
public:
    explicit ResultList(QWidget* parent = nullptr);

protected:
    void changeEvent(QEvent* event) override;
    // Home and End go to the first and the last row, as in a list.
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

private:
    void fitRowHeight();
};
