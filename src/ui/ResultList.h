#pragma once

#include <QTableView>

class QAction;
class QMenu;

// The result list: four columns, no grid and no row numbers, whole rows
// selected, every row as high as one line of text. Its rows can be copied:
// Ctrl+C, or the menu of a right click on a row.
//
// A table rather than a tree: a QTreeView walks every row on each model
// reset to lay them out (18 ms at 1,000,000 rows, more than a frame for every
// keystroke), while a table's rows are header sections of one fixed size, so
// a reset, its layout and a paint cost about 2 ms at any number of rows.
class ResultList : public QTableView {
    Q_OBJECT
public:
    // What a copy takes from each row: one column, or all four.
    static constexpr int kWholeRow = -1;

    explicit ResultList(QWidget* parent = nullptr);

    // Puts `column` of the selected rows (the current row when none is
    // selected) on the clipboard, one line per row, fields apart by TABs.
    void copyRows(int column = kWholeRow);
    // The text copyRows would put on the clipboard.
    QString rowsText(int column = kWholeRow) const;
    // The menu a right click on a row opens.
    QMenu* copyMenu() const { return m_copyMenu; }

    // The width left for the columns inside the frame, beside a vertical
    // scroll bar when `rows` rows need one at the list's present size.
    int innerWidth(qint64 rows) const;

protected:
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Home and End go to the first and the last row, as in a list.
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

private:
    void fitRowHeight();
    void buildCopyMenu();
    QList<int> chosenRows() const;
    QString textOf(const QList<int>& rows, int column) const;

    QMenu* m_copyMenu = nullptr;
};
