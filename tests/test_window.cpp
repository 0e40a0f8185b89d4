#include "ProgramTest.h"
#include "TestSupport.h"
#include "app/TXLMain.h"
#include "phonebook/ManApp.h"
#include "toolkit/widgets/TrayIcon.h"
#include "ui/QtDialogs.h"
#include "ui/ResultList.h"
#include "ui/ResultModel.h"
#include "ui/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QHeaderView>
#include <QInputDialog>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

bool trayPresent() {
    return true;
}
bool trayMissing() {
    return false;
}

class Window : public ProgramTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(ProgramTest::SetUp());
        useSmallBooks();
        startWindow();
    }

    void showAndActivate() {
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    // Name column of every row, in list order.
    QString rows() const {
        const QAbstractItemModel* model = window->resultList()->model();
        QStringList out;
        for (int r = 0; r < model->rowCount(); ++r)
            out << model->index(r, 0).data().toString();
        return out.join(u',');
    }

    void commit(const QString& text) {
        QInputMethodEvent event;
        event.setCommitString(text);
        QCoreApplication::sendEvent(window->searchBox(), &event);
    }

    double dpiX() const { return window->resultList()->logicalDpiX(); }
    double dpiY() const { return window->resultList()->logicalDpiY(); }
    double twipsX(int px) const { return px * 1440.0 / dpiX(); }
    double twipsY(int px) const { return px * 1440.0 / dpiY(); }
    static QStringList captions(const QMenu* menu) {
        QStringList out;
        for (const QAction* a : menu->actions())
            out << (a->isSeparator() ? u"-"_qs : a->text());
        return out;
    }
};

} // namespace

TEST_F(Window, OpensWithEveryEntrySortedAndTheFourColumns) {
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(window->searchBox()->text(), u" "_qs);
    EXPECT_EQ(window->searchBox()->toolTip(), u"输入姓名的缩称（拼音的首字母）或汉字检索"_qs);
    EXPECT_EQ(rows(), u"李娜,王芳,张三,张伟,赵四"_qs);

    const QAbstractItemModel* model = window->resultList()->model();
    ASSERT_EQ(model->columnCount(), 4);
    const QStringList headers = {u"姓名"_qs, u"分机"_qs, u"房号/直拔"_qs, u"手机"_qs};
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(model->headerData(c, Qt::Horizontal).toString(), headers[c]);
    // 王芳 from the public book: name, extension, room, mobile.
    EXPECT_EQ(model->index(1, 1).data().toString(), u"8004"_qs);
    EXPECT_EQ(model->index(1, 2).data().toString(), u"304"_qs);
    EXPECT_EQ(model->index(1, 3).data().toString(), u"13900000004"_qs);
    // A flat list: no row numbers, every row one line high.
    EXPECT_TRUE(window->resultList()->verticalHeader()->isHidden());
    EXPECT_EQ(window->resultList()->verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
}

TEST_F(Window, ListRowsAreOneLineAndMoveLikeAList) {
    showAndActivate();
    ResultList* list = window->resultList();
    // As high as a line of text in the item delegate, however large the font.
    QFont large = list->font();
    large.setPointSize(large.pointSize() * 3);
    list->setFont(large);
    EXPECT_GE(list->rowHeight(0), QFontMetrics(large).height());
    EXPECT_LT(list->rowHeight(0), 2 * QFontMetrics(large).height());

    list->setFocus();
    list->setCurrentIndex(list->model()->index(2, 1));
    QTest::keyClick(list, Qt::Key_End);
    EXPECT_EQ(list->currentIndex().row(), 4);
    QTest::keyClick(list, Qt::Key_Home);
    EXPECT_EQ(list->currentIndex().row(), 0);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(list->currentIndex().row(), 1);
    EXPECT_EQ(list->selectionModel()->selectedRows().size(), 1); // the whole row
}

TEST_F(Window, TypingNarrowsTheListOnEveryKeystroke) {
    window->searchBox()->clear();
    QTest::keyClick(window->searchBox(), Qt::Key_Z);
    EXPECT_EQ(rows(), u"张三,张伟,赵四"_qs);
    QTest::keyClick(window->searchBox(), Qt::Key_S);
    EXPECT_EQ(rows(), u"张三,赵四"_qs);
    QTest::keyClick(window->searchBox(), Qt::Key_Backspace);
    QTest::keyClick(window->searchBox(), Qt::Key_W, Qt::ShiftModifier);
    EXPECT_EQ(rows(), u"张伟"_qs);

    window->searchBox()->clear();
    commit(u"张"_qs);
    EXPECT_EQ(window->searchBox()->text(), u"张"_qs);
    EXPECT_EQ(rows(), u"张三,张伟"_qs);
    commit(u"三"_qs);
    EXPECT_EQ(rows(), u"张三"_qs);
}

TEST_F(Window, EverySearchDropsSelectionAndScrollPosition) {
    auto items = std::make_shared<ManItems>();
    for (int i = 0; i < 300; ++i)
        items->Add(u"张%1"_qs.arg(i, 3, 10, QChar(u'0')), u"z"_qs, QString(), QString(), QString());
    window->manApp()->ManItems(items);
    showAndActivate();
    window->searchBox()->setText(u"z"_qs);
    ResultList* list = window->resultList();
    ASSERT_EQ(list->model()->rowCount(), 300);
    list->setCurrentIndex(list->model()->index(250, 0));
    list->scrollTo(list->currentIndex());
    QApplication::processEvents();
    ASSERT_GT(list->verticalScrollBar()->value(), 0);
    ASSERT_TRUE(list->selectionModel()->hasSelection());

    window->searchBox()->setText(u"z "_qs); // same matches, still a new search
    EXPECT_EQ(list->model()->rowCount(), 300);
    EXPECT_FALSE(list->selectionModel()->hasSelection());
    EXPECT_FALSE(list->currentIndex().isValid());
    QApplication::processEvents();
    EXPECT_EQ(list->verticalScrollBar()->value(), 0);
}

TEST_F(Window, ColumnWidthsAreSharesOfTheListWidthAtTheSearch) {
    const auto w400 = frmMain::ColumnWidths(400);
    EXPECT_EQ(w400, (std::array<double, 4>{80, 80, 100, 140}));
    // The width is rounded half to even first.
    EXPECT_EQ(frmMain::ColumnWidths(400.5), w400);
    EXPECT_EQ(frmMain::ColumnWidths(401.5)[3], 0.35 * 402);
    EXPECT_EQ(frmMain::ColumnWidths(399.6), w400);

    ResultList* list = window->resultList();
    showAndActivate();
    window->searchBox()->setText(u"z"_qs);
    QApplication::processEvents(); // the view shows or hides its scroll bar later
    const double listTwips = std::nearbyint(twipsX(list->viewport()->width()));
    const auto& twips = window->columnWidthsTwips();
    EXPECT_DOUBLE_EQ(twips[0] + twips[1] + twips[2] + twips[3], listTwips);
    for (int c = 0; c < 3; ++c) // the last one ends at the edge
        EXPECT_EQ(list->horizontalHeader()->sectionSize(c), int(std::nearbyint(twips[std::size_t(c)] * dpiX() / 1440)));

    // A resize gives the columns their shares of the new width at once.
    const int before = list->horizontalHeader()->sectionSize(3);
    window->resize(window->width() + 120, window->height());
    ASSERT_NE(std::nearbyint(twipsX(list->width())), listTwips);
    EXPECT_GT(list->horizontalHeader()->sectionSize(3), before);
    EXPECT_EQ(list->horizontalHeader()->length(), list->viewport()->width());
}

TEST_F(Window, DownArrowMovesIntoTheListWithoutEatingTheKey) {
    showAndActivate();
    int downsSeen = 0;
    // The box ignores Down, so a key that was not swallowed travels on to the window.
    struct Counter : QObject {
        int* seen;
        explicit Counter(int* s) : seen(s) {}
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Down)
                ++*seen;
            return false;
        }
    } counter(&downsSeen);
    window->installEventFilter(&counter);

    for (const Qt::KeyboardModifiers mods :
         {Qt::KeyboardModifiers(Qt::NoModifier), Qt::KeyboardModifiers(Qt::ShiftModifier)}) {
        window->searchBox()->setFocus();
        ASSERT_TRUE(window->searchBox()->hasFocus());
        for (const Qt::Key key : {Qt::Key_Up, Qt::Key_Return, Qt::Key_Escape}) {
            QTest::keyClick(window->searchBox(), key);
            EXPECT_TRUE(window->searchBox()->hasFocus()) << key;
        }
        QTest::keyClick(window->searchBox(), Qt::Key_Down, mods);
        EXPECT_TRUE(window->resultList()->hasFocus());
    }
    EXPECT_EQ(downsSeen, 2);
}

TEST_F(Window, MenusHoldTheirItemsInOrder) {
    EXPECT_EQ(window->fileMenu()->title(), u"文件[&F]"_qs);
    EXPECT_EQ(captions(window->fileMenu()),
              (QStringList{u"获取最新公共电话簿"_qs, u"编辑个人电话簿(本地)"_qs, u"刷新"_qs, u"-"_qs, u"退出"_qs}));
    EXPECT_EQ(window->popupMenu()->title(), u"弹出菜单"_qs);
    EXPECT_EQ(captions(window->popupMenu()),
              (QStringList{u"打开电话簿"_qs, u"退出电话簿"_qs, u"-"_qs, u"获取最新公共电话簿"_qs,
                           u"编辑个人电话簿(本地)"_qs, u"-"_qs, u"Lumeo工作室"_qs}));
    // The popup menu is the tray's, not the menu bar's.
    const auto barMenus = window->menuBar()->actions();
    ASSERT_EQ(barMenus.size(), 1);
    EXPECT_EQ(barMenus[0]->menu(), window->fileMenu());
}

TEST_F(Window, TrayClicksToggleTheWindowAndPlaceItAgain) {
    showAndActivate();
    const QRect placed = window->frameGeometry();
    TrayIcon* tray = window->trayIcon();
    ASSERT_NE(tray, nullptr);

    // Switching back to a moved window leaves it where the user put it.
    window->move(placed.topLeft() - QPoint(200, 0));
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(window.get(), &activate);
    window->activateWindow();
    EXPECT_EQ(window->frameGeometry().topLeft(), placed.topLeft() - QPoint(200, 0));

    emit tray->MouseLeftClick();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->hiddenToTray());
    EXPECT_EQ(window->popupOpenItem()->text(), u"打开通讯录"_qs);

    emit tray->MouseLeftClick();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->hiddenToTray());
    EXPECT_EQ(window->popupOpenItem()->text(), u"隐藏通讯录"_qs);
    EXPECT_EQ(window->frameGeometry(), placed);

    // The menu item is the same toggle.
    window->popupOpenItem()->trigger();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->popupOpenItem()->text(), u"打开通讯录"_qs);
    window->popupOpenItem()->trigger();
    EXPECT_TRUE(window->isVisible());

    emit tray->MouseRightClick();
    EXPECT_TRUE(window->popupMenu()->isVisible());
    window->popupMenu()->close();
}

TEST_F(Window, MinimisingHidesToTheTrayOnlyWhenThereIsOne) {
    window->setTrayAvailableCheck(&trayPresent);
    showAndActivate();
    window->setWindowState(Qt::WindowMinimized);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->hiddenToTray());
    EXPECT_EQ(window->popupOpenItem()->text(), u"打开电话簿"_qs); // caption untouched

    emit window->trayIcon()->MouseLeftClick();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());
    EXPECT_FALSE(window->hiddenToTray());
    emit window->trayIcon()->MouseLeftClick();
    EXPECT_FALSE(window->isVisible());
    emit window->trayIcon()->MouseLeftClick();

    // Without a tray host a hidden window could never come back.
    window->setTrayAvailableCheck(&trayMissing);
    window->setWindowState(Qt::WindowMinimized);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isMinimized());
    EXPECT_FALSE(window->hiddenToTray());
}

TEST_F(Window, LayoutFollowsTheWindowSizeAndSkipsImpossibleSteps) {
    showAndActivate();
    window->resize(600, 500);
    const QRect outer = window->frameGeometry();
    const QLineEdit* box = window->searchBox();
    const ResultList* list = window->resultList();
    const auto px = [](double twips, double dpi) { return int(std::nearbyint(twips * dpi / 1440)); };
    const double w = std::nearbyint(twipsX(outer.width()) - 200);
    const double h = twipsY(outer.height()) - 800;
    EXPECT_EQ(box->geometry(), QRect(px(50, dpiX()), px(50, dpiY()), px(w, dpiX()),
                                     std::max(px(200, dpiY()), box->sizeHint().height())));
    const double boxHeight = twipsY(box->height());
    EXPECT_EQ(list->geometry(), QRect(px(50, dpiX()), px(twipsY(box->y()) + boxHeight + 50, dpiY()), px(w, dpiX()),
                                      px(h - boxHeight - 50, dpiY())));

    // Under 1050 twips high the list cannot get a height: that step alone is skipped.
    const int listHeight = list->height();
    window->setMinimumSize(0, 0); // as a window manager that ignores it may
    window->resize(500, 40);
    ASSERT_LT(twipsY(window->frameGeometry().height()), 1050);
    EXPECT_EQ(list->height(), listHeight);
    EXPECT_EQ(list->width(), px(std::nearbyint(twipsX(window->frameGeometry().width()) - 200), dpiX()));
}

TEST_F(Window, ReloadedBooksAreSeenByTheNextSearch) {
    TestSupport::writeFile(localCopy, TestSupport::gbk(u"阿明\tam\t9\t\t\r\n"_qs));
    window->manApp()->LoadManItems(privateBook, localCopy);
    window->searchBox()->setText(QString());
    window->searchBox()->setText(u" "_qs);
    EXPECT_EQ(rows(), u"阿明,李娜,张三"_qs);
}

TEST_F(Window, ExitFromThePopupUnloads) {
    window->popupMenu()->actions().at(1)->trigger();
    EXPECT_FALSE(TXLMain::HasSettings());
}

TEST_F(Window, ExitFromTheTrayWhileAnInputBoxWaitsEndsTheProgram) {
    // The real boxes, as the program makes them.
    window.reset();
    QtDialogs real;
    window = std::make_unique<frmMain>(real);
    real.setParent(window.get());
    QObject::connect(window.get(), &frmMain::exitPending, window.get(), [&real] { real.DismissOpen(); });
    window->Form_Load();
    showAndActivate();
    removeStore();
    ASSERT_FALSE(storeExists());

    QPointer<QInputDialog> open;
    bool windowUsable = false;
    bool menuOpened = false;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QInputDialog*>(w); d && d->isVisible())
                open = d;
        if (!open)
            return;
        // Clicks that go through the window system, where a blocked window drops them.
        window->searchBox()->clearFocus();
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                          window->searchBox()->mapTo(window.get(), QPoint(5, 5)));
        windowUsable = window->focusWidget() == window->searchBox();
        emit window->trayIcon()->MouseRightClick();
        QMenu* menu = window->popupMenu();
        menuOpened = menu->isVisible();
        QAction* exit = menu->actions().at(1);
        QTest::mouseClick(menu->windowHandle(), Qt::LeftButton, {}, menu->actionGeometry(exit).center());
    });
    // A box left open would hang the test: closed the hard way, it fails it instead.
    int rescued = 0;
    QTimer rescue;
    QObject::connect(&rescue, &QTimer::timeout, [&] {
        if (open)
            rescued += open->close() ? 1 : 0;
    });
    rescue.start(5000);

    window->mnuFile_GetTxl_Click(); // asks for the server in an input box
    EXPECT_TRUE(open.isNull() || !open->isVisible());
    EXPECT_TRUE(windowUsable);
    EXPECT_TRUE(menuOpened);
    EXPECT_EQ(rescued, 0);
    // Ended as Exit ends it: unloaded, the settings saved.
    EXPECT_TRUE(window->unloaded());
    EXPECT_TRUE(storeExists());
    EXPECT_FALSE(TXLMain::HasSettings());
}

TEST(RealBoxes, ExitClosesEveryOpenBoxAsCancel) {
    QtDialogs dialogs;
    QString answer = u"as prefilled"_qs;
    bool messageReturned = false;
    // A message box opened over an input box, both closed from the innermost one's loop.
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, [&] { dialogs.DismissOpen(); });
        dialogs.Message(u"t"_qs, u"inner"_qs, Dialogs::Icon::Error);
        messageReturned = true;
    });
    // Boxes left open would hang the test: closed the hard way, they fail it instead.
    int rescued = 0;
    QTimer rescue;
    QObject::connect(&rescue, &QTimer::timeout, [&] {
        for (QWidget* box : QApplication::topLevelWidgets())
            if (qobject_cast<QDialog*>(box) && box->isVisible())
                rescued += box->close() ? 1 : 0;
    });
    rescue.start(2000);
    EXPECT_FALSE(dialogs.Input(u"t"_qs, u"prompt"_qs, answer));
    EXPECT_TRUE(messageReturned);
    EXPECT_EQ(rescued, 0);
    EXPECT_EQ(answer, u"as prefilled"_qs);
    const QWidgetList windows = QApplication::topLevelWidgets();
    EXPECT_TRUE(std::none_of(windows.begin(), windows.end(),
                             [](QWidget* w) { return qobject_cast<QDialog*>(w) && w->isVisible(); }));
}
