// What a user touches in the window: a readable search box, columns that fit,
// Qt's own texts in Chinese, focus on return, copying rows, screen readers.
#include "ScriptedDialogs.h"
#include "TestSupport.h"
#include "phonebook/ManApp.h"
#include "toolkit/widgets/TrayIcon.h"
#include "ui/QtDialogs.h"
#include "ui/QtTranslations.h"
#include "ui/ResultList.h"
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
#include <QScrollBar>
#include <QSettings>
#include <QStyleOptionFrame>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class WindowUse : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(store.isValid() && books.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, store.path());
        writeBook("private.txt", u"李娜\tln\t8001\t13900000001\t301\r\n"
                                 u"张三\tzs\t8002\t13900000002\t302\r\n"_qs);
        writeBook("public.txt", u"赵四\tZS\t8003\t13900000003\t303\r\n"
                                u"王芳\twf\t8004\t13900000004\t304\r\n"
                                u"张伟\tzw\t8005\t13900000005\t305\r\n"_qs);
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Pellinor"),
                    QStringLiteral("Mirodex"));
        s.setValue(QStringLiteral("LocalTxlFile"), books.filePath(u"private.txt"_qs));
        s.setValue(QStringLiteral("SrvTxlFile"), books.filePath(u"public.txt"_qs));
        s.sync();
        window = std::make_unique<frmMain>(dialogs);
        window->Form_Load();
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    void writeBook(const char* name, const QString& text) {
        TestSupport::writeFile(books.filePath(QString::fromLatin1(name)), TestSupport::gbk(text));
    }
    ResultList* list() const { return window->resultList(); }
    QLineEdit* box() const { return window->searchBox(); }
    static QString clipboard() { return QApplication::clipboard()->text(); }

    QTemporaryDir store;
    QTemporaryDir books;
    ScriptedDialogs dialogs;
    std::unique_ptr<frmMain> window;
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
        const QFontMetrics metrics(box()->font());
        EXPECT_GE(textRoom(box()), metrics.height()) << scale;
        EXPECT_GE(box()->height(), std::lround(200 * dpi / 1440)) << scale;
        EXPECT_EQ(box()->height(), box()->sizeHint().height()) << scale;
        EXPECT_EQ(list()->y(), box()->geometry().bottom() + 1 + std::lround(50 * dpi / 1440)) << scale;
        // The list still ends 750 twips above the window's outer bottom.
        EXPECT_NEAR(list()->geometry().bottom() + 1, window->frameGeometry().height() - 750 * dpi / 1440, 1) << scale;
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
            const QString at = u"%1 px, %2 rows"_qs.arg(width).arg(list()->model()->rowCount());
            EXPECT_EQ(list()->verticalScrollBar()->isVisible(), scrolls) << at.toStdString();
            EXPECT_FALSE(list()->horizontalScrollBar()->isVisible()) << at.toStdString();
            const QHeaderView* header = list()->horizontalHeader();
            EXPECT_EQ(header->length(), list()->viewport()->width()) << at.toStdString();
            const double shares[] = {0.2, 0.2, 0.25, 0.35};
            for (int c = 0; c < 4; ++c)
                EXPECT_NEAR(header->sectionSize(c), shares[c] * list()->viewport()->width(), 1.5) << at.toStdString();
        }
        window->manApp()->LoadManItems(books.filePath(u"private.txt"_qs), books.filePath(u"public.txt"_qs));
    }
}

TEST_F(WindowUse, QtsOwnTextsAreChineseAndPromptsShowTheirTitleAndNames) {
    ASSERT_TRUE(QtTranslations::Install(*QCoreApplication::instance()));
    QtDialogs real;
    const QString title = u"获取最新公共电话簿"_qs;
    QStringList buttons;
    QString names;
    int width = 0;
    const auto inspect = [&] {
        auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(open, nullptr);
        for (const QAbstractButton* b : open->findChild<QDialogButtonBox*>()->buttons())
            buttons << b->text().remove(u'&');
        names = open->accessibleName() + u'|' + open->accessibleDescription();
        if (auto* field = open->findChild<QLineEdit*>())
            names += u'|' + field->accessibleName();
        width = open->width();
        open->reject();
    };
    QTimer::singleShot(0, inspect);
    QString answer = u"ftp://127.0.0.1"_qs;
    EXPECT_FALSE(real.Input(title, u"FTP服务器地址："_qs, answer));
    buttons.sort();
    EXPECT_EQ(buttons, (QStringList{u"取消"_qs, u"确定"_qs}));
    EXPECT_EQ(names, title + u"|FTP服务器地址：|FTP服务器地址："_qs);
    // Room for the title in a bold window-manager font beside the bar's icon and buttons.
    EXPECT_GT(width, 2 * QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(title));

    buttons.clear();
    QTimer::singleShot(0, inspect);
    real.Message(title, u"无法下载文件！"_qs, Dialogs::Icon::Error);
    EXPECT_EQ(buttons, QStringList{u"确定"_qs});
    EXPECT_EQ(names, title + u"|无法下载文件！"_qs);
}

TEST_F(WindowUse, ScreenReadersHearWhatTheBoxAndTheListAre) {
    QAccessibleInterface* search = QAccessible::queryAccessibleInterface(box());
    QAccessibleInterface* results = QAccessible::queryAccessibleInterface(list());
    ASSERT_TRUE(search && results);
    EXPECT_EQ(search->text(QAccessible::Name), u"检索"_qs);
    EXPECT_EQ(search->text(QAccessible::Description), box()->toolTip());
    EXPECT_EQ(results->text(QAccessible::Name), u"检索结果"_qs);
    EXPECT_FALSE(results->text(QAccessible::Description).isEmpty());
}

TEST_F(WindowUse, ReturningWindowSelectsTheSearchSoTypingReplacesIt) {
    TrayIcon* tray = window->trayIcon();
    QTest::keyClicks(box(), u"zs"_qs);
    // Every way back: tray click, the tray menu's item, a second start of a shown window.
    const std::function<void()> ways[] = {
        [&] { emit tray->MouseLeftClick(), emit tray->MouseLeftClick(); },
        [&] { window->popupOpenItem()->trigger(), window->popupOpenItem()->trigger(); },
        [&] { window->BringForward(); },
    };
    for (const auto& comeBack : ways) {
        list()->setFocus();
        QApplication::processEvents(); // the box drops its selection as it loses the focus
        comeBack();
        // The focus the window gives on activation: the offscreen platform
        // does not activate a window shown again, a desktop does.
        EXPECT_EQ(window->focusWidget(), box());
        EXPECT_EQ(box()->selectedText(), u"zs"_qs);
    }
    QTest::keyClick(box(), Qt::Key_W);
    EXPECT_EQ(box()->text(), u"w"_qs);
    EXPECT_EQ(list()->model()->rowCount(), 1);

    QTest::keyClick(box(), Qt::Key_Escape);
    EXPECT_EQ(box()->text(), QString());
    EXPECT_EQ(list()->model()->rowCount(), 5);
}

TEST_F(WindowUse, MaximisedWindowComesBackNormalAndPlaced) {
    const QRect placed = window->frameGeometry();
    const std::function<void()> ways[] = {
        [&] { emit window->trayIcon()->MouseLeftClick(), emit window->trayIcon()->MouseLeftClick(); },
        [&] { window->BringForward(); },
    };
    for (const auto& comeBack : ways) {
        window->showMaximized();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->frameGeometry() != placed; }));
        comeBack();
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(window->windowState() & ~Qt::WindowActive, Qt::WindowNoState);
        EXPECT_EQ(window->frameGeometry(), placed);
    }
}

TEST_F(WindowUse, CtrlCCopiesTheChosenRowsAsTabSeparatedLines) {
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
    const auto pick = [&](int row) {
        list()->selectionModel()->select(list()->model()->index(row, 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
    };
    pick(2);
    pick(0);
    QTest::keyClick(list(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard(), u"李娜\t8001\t301\t13900000001\n张三\t8002\t3  02\t139 0002"_qs);
}

TEST_F(WindowUse, RightClickOnARowCopiesOneFieldOrTheRow) {
    box()->setText(u"z"_qs); // 张三, 张伟, 赵四
    QMenu* menu = list()->copyMenu();
    QStringList captions;
    for (const QAction* a : menu->actions())
        captions << a->text();
    EXPECT_EQ(captions,
              (QStringList{u"复制手机"_qs, u"复制分机"_qs, u"复制房号/直拨"_qs, u"复制姓名"_qs, u"复制整行"_qs}));

    const auto rightClick = [&](QPoint at) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, list()->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list()->viewport(), &event);
    };
    // Off the rows: no menu.
    rightClick(QPoint(5, list()->viewport()->height() - 2));
    EXPECT_FALSE(menu->isVisible());

    const QStringList expected = {u"13900000005"_qs, u"8005"_qs, u"305"_qs, u"张伟"_qs,
                                  u"张伟\t8005\t305\t13900000005"_qs};
    for (int i = 0; i < menu->actions().size(); ++i) {
        list()->clearSelection();
        rightClick(list()->visualRect(list()->model()->index(1, 3)).center());
        ASSERT_TRUE(menu->isVisible());
        menu->actions().at(i)->trigger();
        menu->close();
        EXPECT_EQ(clipboard(), expected[i]) << captions[i].toStdString();
    }
}
