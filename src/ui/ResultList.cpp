#include "ResultList.h"

#include "ResultModel.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>
#include <QStyleOptionViewItem>

#include <algorithm>

namespace {

// A TAB or a line break inside a field would split the pasted row.
QString flattened(QString field) {
    for (QChar& c : field)
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    return field;
}

} // namespace

ResultList::ResultList(QWidget* parent) : QTableView(parent) {
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false); // Tab leaves the list
    setSelectionBehavior(QAbstractItemView::SelectRows);
    // Several rows may be picked to copy them together.
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);

    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setMinimumSectionSize(1);
    fitRowHeight();

    // The columns together are exactly as wide as the list; none stretches,
    // and a click on a header neither sorts nor selects a column.
    QHeaderView* columns = horizontalHeader();
    columns->setStretchLastSection(false);
    // The style's minimum would make a narrow window's columns overflow.
    columns->setMinimumSectionSize(1);
    columns->setSectionsMovable(false);
    columns->setSectionsClickable(false);
    columns->setHighlightSections(false);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    buildCopyMenu();
}

void ResultList::buildCopyMenu() {
    m_copyMenu = new QMenu(this);
    m_copyMenu->setObjectName(QStringLiteral("copyMenu"));
    const auto entry = [this](const QString& caption, int column) {
        QAction* action = m_copyMenu->addAction(caption);
        connect(action, &QAction::triggered, this, [this, column] { copyRows(column); });
        return action;
    };
    for (const EntryField field : kCopyMenuFields) {
        const int column = shownColumnOf(field);
        entry(QString::fromUtf16(kShownFields[std::size_t(column)].copyCaption), column);
    }
    // Ctrl+C itself is handled in keyPressEvent; the menu only shows it.
    QAction* whole = entry(QStringLiteral("复制整行"), kWholeRow);
    whole->setShortcut(QKeySequence::Copy);
    whole->setShortcutContext(Qt::WidgetShortcut);
    whole->setShortcutVisibleInContextMenu(true);
}

QList<int> ResultList::chosenRows() const {
    QList<int> rows;
    if (selectionModel())
        for (const QItemSelectionRange& range : selectionModel()->selection())
            for (int r = range.top(); r <= range.bottom(); ++r)
                rows.append(r);
    // Ranges come in the order they were picked; the copy follows the list.
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.isEmpty() && currentIndex().isValid())
        rows.append(currentIndex().row());
    return rows;
}

QString ResultList::rowsText(int column) const {
    return textOf(chosenRows(), column);
}

QString ResultList::textOf(const QList<int>& rows, int column) const {
    const QAbstractItemModel* m = model();
    if (!m)
        return QString();
    const int first = column == kWholeRow ? 0 : column;
    const int last = column == kWholeRow ? m->columnCount(rootIndex()) - 1 : column;
    QStringList lines;
    for (const int row : rows) {
        QStringList fields;
        for (int c = first; c <= last; ++c)
            fields.append(flattened(m->index(row, c, rootIndex()).data(ResultModel::FieldRole).toString()));
        lines.append(fields.join(u'\t'));
    }
    return lines.join(u'\n');
}

void ResultList::copyRows(int column) {
    const QList<int> rows = chosenRows();
    if (!rows.isEmpty())
        QApplication::clipboard()->setText(textOf(rows, column));
}

void ResultList::keyPressEvent(QKeyEvent* event) {
    // The view's own Ctrl+C copies only the current cell.
    if (event->matches(QKeySequence::Copy)) {
        copyRows();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void ResultList::contextMenuEvent(QContextMenuEvent* event) {
    const bool byMouse = event->reason() == QContextMenuEvent::Mouse;
    const QModelIndex index = byMouse ? indexAt(event->pos()) : currentIndex();
    if (!index.isValid())
        return;
    // The menu copies the row it was opened on, or the selection that holds it.
    if (!selectionModel()->isRowSelected(index.row(), rootIndex()))
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const QPoint at = byMouse ? event->globalPos() : viewport()->mapToGlobal(visualRect(index).bottomLeft());
    m_copyMenu->popup(at);
    event->accept();
}

int ResultList::innerWidth(qint64 rows) const {
    const int frame = 2 * frameWidth();
    const int header = horizontalHeader()->isHidden() ? 0 : horizontalHeader()->sizeHint().height();
    const Qt::ScrollBarPolicy policy = verticalScrollBarPolicy();
    const bool scrolls =
        policy == Qt::ScrollBarAlwaysOn ||
        (policy == Qt::ScrollBarAsNeeded && rows * verticalHeader()->defaultSectionSize() > height() - frame - header);
    int inner = width() - frame;
    if (scrolls) {
        // As the scroll area lays out its bar: beside the frame or inside it,
        // and not at all where the bar floats over the rows.
        const QStyle* s = style();
        inner -= verticalScrollBar()->sizeHint().width() -
                 s->pixelMetric(QStyle::PM_ScrollView_ScrollBarOverlap, nullptr, verticalScrollBar());
        if (s->styleHint(QStyle::SH_ScrollView_FrameOnlyAroundContents, nullptr, this))
            inner -= s->pixelMetric(QStyle::PM_ScrollView_ScrollBarSpacing, nullptr, this);
    }
    return std::max(inner, 0);
}

// As high as the item delegate would make a row of text, as a uniform-height tree does.
void ResultList::fitRowHeight() {
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.features |= QStyleOptionViewItem::HasDisplay;
    option.text = QStringLiteral("姓名");
    const int height = style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this).height();
    verticalHeader()->setDefaultSectionSize(qMax(height, 1));
}

void ResultList::changeEvent(QEvent* event) {
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        fitRowHeight();
}

QModelIndex ResultList::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    const int rows = model() ? model()->rowCount(rootIndex()) : 0;
    if ((action == MoveHome || action == MoveEnd) && rows > 0) {
        const int column = currentIndex().isValid() ? currentIndex().column() : 0;
        return model()->index(action == MoveHome ? 0 : rows - 1, column, rootIndex());
    }
    return QTableView::moveCursor(action, modifiers);
}
