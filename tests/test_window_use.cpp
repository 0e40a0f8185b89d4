// What a user touches in the window: a readable search box, columns that fit,
// Qt's own texts in Chinese, focus on return, copying rows, screen readers.
#include "ProgramTest.h"
#include "TestSupport.h"
#include "phonebook/ManApp.h"
#include "toolkit/widgets/TrayIcon.h"
#include "ui/QtDialogs.h"
#include "ui/QtTranslations.h"
#include "ui/ResultList.h"
#include "ui/ResultModel.h"
#include "ui/frmMain.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QScrollBar>
#include <QStyleOptionFrame>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class WindowUse : public ProgramTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(ProgramTest::SetUp());
        useSmallBooks();
        startWindow().show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    ResultList* list() const { return window->resultList(); }
    QLineEdit* box() const { return window->searchBox(); }
    static QString clipboard() { return QApplication::clipboard()->text(); }
    void rightClick(QPoint at) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, list()->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list()->viewport(), &event);
    }
};

// Height of the text a line edit can show inside its frame and margins.
int textRoom(const QLineEdit* edit) {
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.rect = edit->rect();
    option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
    const QRect r = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
    return r.height() - edit->textMargins().top() - edit->textMargins().bottom();
}

} // namespace

TEST_F(WindowUse, SearchBoxShowsItsFontWholeAndTheListKeepsTheGap) {
    const double dpi = box()->logicalDpiY();
    // A font twice as many pixels high: a large desktop font, or 192 DPI without scaling.
    for (const int scale : {1, 2}) {
        QFont font = QApplication::font();
        font.setPointSizeF(font.pointSizeF() * scale);
        window->setFont(font);
        EXPECT_GE(textRoom(box()), QFontMetrics(box()->font()).height()) << scale;
        EXPECT_GE(box()->height(), std::lround(200 * dpi / 1440)) << scale;
        EXPECT_EQ(list()->y(), box()->geometry().bottom() + 1 + std::lround(50 * dpi / 1440)) << scale;
    }
}

TEST_F(WindowUse, ColumnsFillTheInsideWithoutAHorizontalScrollBar) {
    auto many = std::make_shared<ManItems>();
    for (int i = 0; i < 200; ++i)
        many->Add(u"张%1"_qs.arg(i, 3, 10, QChar(u'0')), u"z"_qs, u"8%1"_qs.arg(i), QString(), QString());
    for (const int width : {260, 333, 451, 617, 1001}) {
        for (const bool scrolls : {false, true}) {
            if (scrolls)
                window->manApp()->ManItems(many);
            window->resize(width, 400);
            box()->setText(scrolls ? u"z"_qs : u"zs"_qs);
            QApplication::processEvents(); // the view lays out its scroll bars later
            const std::string at = std::to_string(width) + (scrolls ? " px, scrolling" : " px");
            EXPECT_EQ(list()->verticalScrollBar()->isVisible(), scrolls) << at;
            EXPECT_FALSE(list()->horizontalScrollBar()->isVisible()) << at;
            const int inner = list()->viewport()->width();
            EXPECT_EQ(list()->horizontalHeader()->length(), inner) << at;
            EXPECT_NEAR(list()->columnWidth(3), 0.35 * inner, 1.5) << at;
        }
        window->manApp()->LoadManItems(privateBook, localCopy);
    }
}

TEST_F(WindowUse, QtsOwnTextsAreChineseAndEverythingHasANameForScreenReaders) {
    ASSERT_TRUE(QtTranslations::Install(*QCoreApplication::instance()));
    QtDialogs real;
    const QString title = u"获取最新公共电话簿"_qs;
    QStringList seen; // buttons, names, width
    const auto inspect = [&] {
        QDialog* open = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible())
                open = d;
        ASSERT_NE(open, nullptr);
        for (const QAbstractButton* b : open->findChild<QDialogButtonBox*>()->buttons())
            seen << b->text().remove(u'&');
        seen << open->accessibleName() << open->accessibleDescription();
        if (auto* field = open->findChild<QLineEdit*>())
            seen << field->accessibleName();
        seen << QString::number(open->width());
        open->reject();
    };
    QTimer::singleShot(0, inspect);
    QString answer = u"ftp://127.0.0.1"_qs;
    EXPECT_FALSE(real.Input(title, u"FTP服务器地址："_qs, answer));
    ASSERT_EQ(seen.size(), 6);
    EXPECT_EQ(seen.mid(0, 5),
              (QStringList{u"确定"_qs, u"取消"_qs, title, u"FTP服务器地址："_qs, u"FTP服务器地址："_qs}));
    // Room for the title in a bold window-manager font beside the bar's icon and buttons.
    EXPECT_GT(seen[5].toInt(), 2 * QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(title));

    seen.clear();
    QTimer::singleShot(0, inspect);
    real.Message(title, u"无法下载文件！"_qs, Dialogs::Icon::Error);
    EXPECT_EQ(seen.mid(0, 3), (QStringList{u"确定"_qs, title, u"无法下载文件！"_qs}));

    QAccessibleInterface* search = QAccessible::queryAccessibleInterface(box());
    QAccessibleInterface* results = QAccessible::queryAccessibleInterface(list());
    ASSERT_TRUE(search && results);
    EXPECT_EQ(search->text(QAccessible::Name), u"检索"_qs);
    EXPECT_EQ(search->text(QAccessible::Description), box()->toolTip());
    EXPECT_EQ(results->text(QAccessible::Name), u"检索结果"_qs);
}

TEST_F(WindowUse, ReturningWindowIsNormalPlacedAndSelectsTheSearch) {
    const QRect placed = window->frameGeometry();
    TrayIcon* tray = window->trayIcon();
    QTest::keyClicks(box(), u"zs"_qs);
    // Every way back: tray click, the tray menu's item, a second start of a shown window.
    const std::function<void()> ways[] = {
        [&] { emit tray->MouseLeftClick(), emit tray->MouseLeftClick(); },
        [&] { window->popupOpenItem()->trigger(), window->popupOpenItem()->trigger(); },
        [&] { window->BringForward(); },
    };
    for (const auto& comeBack : ways) {
        window->showMaximized();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->frameGeometry() != placed; }));
        list()->setFocus();
        QApplication::processEvents(); // the box drops its selection as it loses the focus
        comeBack();
        EXPECT_EQ(window->windowState() & ~Qt::WindowActive, Qt::WindowNoState);
        EXPECT_EQ(window->frameGeometry(), placed);
        // The focus the window gives on activation: the offscreen platform
        // does not activate a window shown again, a desktop does.
        EXPECT_EQ(window->focusWidget(), box());
        EXPECT_EQ(box()->selectedText(), u"zs"_qs);
    }
    QTest::keyClick(box(), Qt::Key_W);
    EXPECT_EQ(box()->text(), u"w"_qs);
    QTest::keyClick(box(), Qt::Key_Escape);
    EXPECT_EQ(box()->text(), QString());
    EXPECT_EQ(list()->model()->rowCount(), 5);
}

TEST_F(WindowUse, CopiesChosenRowsAsTabSeparatedLinesByKeyAndByMenu) {
    // Fields that hold a TAB or a line break would split the pasted row.
    auto items = std::make_shared<ManItems>();
    items->Add(u"张三"_qs, u"zs"_qs, u"8002"_qs, u"139\t0002"_qs, u"3\r\n02"_qs);
    items->Add(u"李娜"_qs, u"ln"_qs, u"8001"_qs, u"13900000001"_qs, u"301"_qs);
    items->Add(u"王芳"_qs, u"wf"_qs, u"8004"_qs, u"13900000004"_qs, QString());
    window->manApp()->ManItems(items);
    box()->setText(QString());
    ASSERT_EQ(list()->model()->rowCount(), 3); // 李娜, 王芳, 张三
    list()->setFocus();

    // No selection: the current row.
    list()->selectionModel()->setCurrentIndex(list()->model()->index(1, 2), QItemSelectionModel::NoUpdate);
    QTest::keyClick(list(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard(), u"王芳\t8004\t\t13900000004"_qs);
    // Rows picked bottom first come out in list order.
    for (const int row : {2, 0})
        list()->selectionModel()->select(list()->model()->index(row, 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTest::keyClick(list(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard(), u"李娜\t8001\t301\t13900000001\n张三\t8002\t3  02\t139 0002"_qs);

    // A right click off the rows opens nothing; on a row outside the selection, the menu copies that row.
    QMenu* menu = list()->copyMenu();
    rightClick(QPoint(5, list()->viewport()->height() - 2));
    EXPECT_FALSE(menu->isVisible());
    const QList<std::pair<QString, QString>> entries = {{u"复制手机"_qs, u"13900000001"_qs},
                                                        {u"复制分机"_qs, u"8001"_qs},
                                                        {u"复制房号/直拨"_qs, u"301"_qs},
                                                        {u"复制姓名"_qs, u"李娜"_qs},
                                                        {u"复制整行"_qs, u"李娜\t8001\t301\t13900000001"_qs}};
    ASSERT_EQ(menu->actions().size(), entries.size());
    for (qsizetype i = 0; i < entries.size(); ++i) {
        list()->clearSelection();
        rightClick(list()->visualRect(list()->model()->index(0, 3)).center());
        ASSERT_TRUE(menu->isVisible());
        QAction* entry = menu->actions().at(i);
        EXPECT_EQ(entry->text(), entries[i].first);
        entry->trigger();
        menu->close();
        EXPECT_EQ(clipboard(), entries[i].second) << entries[i].first.toStdString();
    }
}

namespace {

// Whether the cell shows its text whole: the item delegate leaves a margin on either side.
bool whole(const ResultList* list, const QModelIndex& index) {
    const int margin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
    const int room = list->columnWidth(index.column()) - 2 * margin;
    return list->fontMetrics().horizontalAdvance(index.data().toString()) <= room;
}

std::shared_ptr<ManItems> numbersAsWritten() {
    auto items = std::make_shared<ManItems>();
    items->Add(u"欧阳娜娜"_qs, u"oynn"_qs, u"62345678"_qs, u"13800138000"_qs, u"66881000"_qs);
    items->Add(u"王建国"_qs, u"wjg"_qs, u"010-6234"_qs, u"13912345678"_qs, u"8001"_qs);
    return items;
}

} // namespace

TEST_F(WindowUse, KeysInTheListGoOnInTheSearchBox) {
    const auto selectedRows = [&] { return list()->selectionModel()->selectedRows().size(); };
    QTest::keyClicks(box(), u"z"_qs);
    ASSERT_EQ(list()->model()->rowCount(), 3);
    // The first Down chooses the first row.
    QTest::keyClick(box(), Qt::Key_Down);
    ASSERT_TRUE(list()->hasFocus());
    EXPECT_EQ(list()->currentIndex().row(), 0);
    EXPECT_EQ(selectedRows(), 1);
    EXPECT_TRUE(list()->selectionModel()->isRowSelected(0, {}));

    // A letter typed in the list goes on in the box, after its text.
    QTest::keyClick(list(), Qt::Key_S);
    EXPECT_TRUE(box()->hasFocus());
    EXPECT_EQ(box()->text(), u"zs"_qs);
    QTest::keyClick(box(), Qt::Key_Down);
    QTest::keyClick(list(), Qt::Key_Backspace);
    EXPECT_EQ(box()->text(), u"z"_qs);
    QTest::keyClick(box(), Qt::Key_Down);
    QTest::keyClick(list(), 'W', Qt::ShiftModifier);
    EXPECT_EQ(box()->text(), u"zW"_qs);
    EXPECT_EQ(list()->model()->rowCount(), 1);
    QTest::keyClick(box(), Qt::Key_Backspace);

    // Up moves in the list, and from the first row back to the box, its text selected.
    QTest::keyClick(box(), Qt::Key_Down);
    QTest::keyClick(list(), Qt::Key_Down);
    EXPECT_EQ(list()->currentIndex().row(), 1);
    QTest::keyClick(list(), Qt::Key_Up);
    EXPECT_TRUE(list()->hasFocus());
    QTest::keyClick(list(), Qt::Key_Up);
    EXPECT_TRUE(box()->hasFocus());
    EXPECT_EQ(box()->selectedText(), u"z"_qs);

    // Escape too; Enter and Ctrl+C stay the list's.
    QTest::keyClick(box(), Qt::Key_Down);
    QTest::keyClick(list(), Qt::Key_Return);
    QTest::keyClick(list(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(list()->hasFocus());
    EXPECT_EQ(clipboard().section(u'\t', 0, 0), list()->model()->index(0, 0).data().toString());
    QTest::keyClick(list(), Qt::Key_Escape);
    EXPECT_TRUE(box()->hasFocus());
    EXPECT_EQ(box()->selectedText(), u"z"_qs);
    EXPECT_EQ(list()->model()->rowCount(), 3);
}

TEST_F(WindowUse, ColumnsFollowEveryResizeAndCutNoNumberThatFits) {
    window->manApp()->ManItems(numbersAsWritten());
    box()->setText(QString());
    const auto inner = [&] { return list()->viewport()->width(); };
    for (const int width : {300, 420, 640, 900, 1200}) {
        window->resize(width, 400);
        QApplication::processEvents();
        const std::string at = std::to_string(width) + " px";
        // No search ran: the columns still fill the inside exactly.
        EXPECT_EQ(list()->horizontalHeader()->length(), inner()) << at;
        for (int row = 0; row < list()->model()->rowCount(); ++row)
            for (int c = 0; c < 4; ++c)
                EXPECT_TRUE(whole(list(), list()->model()->index(row, c))) << at << ", row " << row << ", column " << c;
    }
    // Where every text has room to spare, the columns keep their shares.
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(list()->columnWidth(c), ResultModel::kWidthShares[std::size_t(c)] * inner(), 1.5) << c;

    // Twice the font: the window grows to its new minimum, and the texts stay whole.
    QFont font = QApplication::font();
    font.setPointSizeF(font.pointSizeF() * 2);
    window->setFont(font);
    QApplication::processEvents();
    EXPECT_EQ(list()->horizontalHeader()->length(), inner());
    for (int c = 0; c < 4; ++c)
        EXPECT_TRUE(whole(list(), list()->model()->index(0, c))) << "large font, column " << c;
}

// Run once more on a 1280×800 screen at 192 DPI (test_window_large_text).
TEST_F(WindowUse, PlacedWindowShowsNamesNumbersAndHeadersWhole) {
    window->manApp()->ManItems(numbersAsWritten());
    box()->setText(u"oy"_qs);
    window->PlaceWindow();
    QApplication::processEvents();
    const QScreen* screen = window->screen();
    const QRect frame = window->frameGeometry();
    EXPECT_GE(frame.width(), screen->geometry().width() / 4 - 2);
    EXPECT_TRUE(screen->availableGeometry().contains(frame)) << frame.width() << "x" << frame.height();
    ASSERT_EQ(list()->model()->rowCount(), 1);
    for (int c = 0; c < 4; ++c) {
        EXPECT_TRUE(whole(list(), list()->model()->index(0, c))) << "column " << c;
        EXPECT_GE(list()->columnWidth(c), list()->horizontalHeader()->sectionSizeHint(c)) << "header " << c;
    }
    EXPECT_LE(list()->horizontalHeader()->length(), list()->viewport()->width());
    // Three rows show below the headers.
    EXPECT_GE(list()->viewport()->height(), 3 * list()->verticalHeader()->defaultSectionSize());
}
