#include "BookGenerator.h"
#include "ProgramTest.h"
#include "TestSupport.h"
#include "app/TXLMain.h"
#include "phonebook/ManApp.h"
#include "toolkit/widgets/TrayIcon.h"
#include "ui/ResultModel.h"
#include "ui/frmMain.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QSettings>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Startup = ProgramTest;

} // namespace

TEST_F(Startup, FirstStartStoresTheEightDefaultsAndReportsBothMissingBooks) {
    startWindow();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Lumeo电话簿"));
    EXPECT_EQ(window->searchBox()->text(), QStringLiteral(" "));
    EXPECT_EQ(window->manApp()->ManItems()->Count(), 0);
    ASSERT_TRUE(storeExists()); // saved at once, before unload
    window.reset();
    const auto stored = store();
    const QSettings& s = *stored;
    EXPECT_EQ(s.allKeys().size(), 8);
    const QString dir = QDir::toNativeSeparators(QCoreApplication::applicationDirPath()) + QDir::separator();
    EXPECT_EQ(s.value(QStringLiteral("SoftName")).toString(), QStringLiteral("Lumeo电话簿"));
    EXPECT_EQ(s.value(QStringLiteral("LogFilePath")).toString(), dir + QStringLiteral("txl.log"));
    EXPECT_EQ(s.value(QStringLiteral("DebugFilePath")).toString(), dir + QStringLiteral("TxlDebug.txt"));
    EXPECT_EQ(s.value(QStringLiteral("IsDebug")).toString(), QStringLiteral("false"));
    EXPECT_EQ(s.value(QStringLiteral("SrvTxlFile")).toString(), dir + QStringLiteral("PublicTel.txt"));
    EXPECT_EQ(s.value(QStringLiteral("LocalTxlFile")).toString(), dir + QStringLiteral("PrivateTel.txt"));
    EXPECT_EQ(s.value(QStringLiteral("FtpServer")).toString(), QStringLiteral("ftp://127.0.0.1"));
    EXPECT_EQ(s.value(QStringLiteral("FtpFile")).toString(), QStringLiteral("/PublicTel.txt"));

    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("初始化本地电话簿错误：")));
    EXPECT_TRUE(dialogs.messages[1].text.startsWith(QStringLiteral("初始化公共电话簿错误：")));
}

TEST_F(Startup, LaterStartReadsStoredValuesAndLoadsPrivateBookFirst) {
    privateBook = path(QStringLiteral("mine.txt"));
    localCopy = path(QStringLiteral("all.txt"));
    useBooks(TestSupport::gbk(QStringLiteral("自己\tzj\t1\r\n")), TestSupport::gbk(QStringLiteral("公共\tgg\t2\r\n")));
    storeValues({{QStringLiteral("IsDebug"), true}});
    const QDateTime before = QFileInfo(storeFile()).lastModified();

    startWindow();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(TXLMain::Flag(TXLMain::kIsDebug));
    auto items = window->manApp()->ManItems();
    ASSERT_EQ(items->Count(), 2);
    EXPECT_EQ(items->Item(1)->FullName(), QStringLiteral("自己"));
    EXPECT_EQ(items->Item(2)->FullName(), QStringLiteral("公共"));
    // Something was stored already, so start-up wrote nothing.
    EXPECT_EQ(QFileInfo(storeFile()).lastModified(), before);
    TXLMain::settings().Item(TXLMain::kFtpServer)->Value(QStringLiteral("ftp://10.1.2.3"));
    window->close(); // unload saves
    window.reset();
    EXPECT_FALSE(TXLMain::HasSettings());
    ScriptedDialogs again;
    frmMain second(again);
    second.Form_Load();
    EXPECT_EQ(TXLMain::Text(TXLMain::kFtpServer), QStringLiteral("ftp://10.1.2.3"));
    EXPECT_EQ(TXLMain::Text(TXLMain::kLocalTxlFile), privateBook);
}

TEST_F(Startup, BrokenStoreKeepsDefaultsAndSaysSoOnce) {
#ifdef Q_OS_WIN
    GTEST_SKIP() << "a broken store is a file where its folder belongs; the registry has no such state";
#endif
    TestSupport::writeFile(path(QStringLiteral("store/Pellinor")), "a file, not a folder");
    startWindow();
    EXPECT_EQ(TXLMain::Text(TXLMain::kFtpFile), QStringLiteral("/PublicTel.txt"));
    window.reset();
    int storeMessages = 0;
    for (const auto& m : dialogs.messages)
        storeMessages += m.text.startsWith(QStringLiteral("无法读写设置")) ? 1 : 0;
    EXPECT_EQ(storeMessages, 1);
}

TEST_F(Startup, WindowTakesTheTopRightQuarter) {
    startWindow();
    window->show();
    window->PlaceWindow();
    const QRect screen = window->screen()->geometry();
    const QRect available = window->screen()->availableGeometry();
    const QRect frame = window->frameGeometry();
    // A quarter of the screen, or what the texts need where that is more.
    const QSize border = frame.size() - window->size();
    const int width =
        std::min(std::max(screen.width() / 4, window->minimumWidth() + border.width()), available.width());
    EXPECT_EQ(frame.top(), screen.top());
    EXPECT_EQ(frame.left(), std::min(screen.left() + int(screen.width() * 0.75), available.right() + 1 - width));
    EXPECT_NEAR(frame.width(), width, 2);
    EXPECT_NEAR(frame.height(), std::max(screen.height() / 2, window->minimumHeight() + border.height()), 2);
}

TEST_F(Startup, TrayClicksDuringTheLoadNeitherShowAnEmptyWindowNorUnsettleTheToggle) {
    useBooks(TestSupport::gbk(u"李娜\tln\t8001\r\n"_qs), BookGenerator::Book(20000));
    struct ShowWatch : QObject {
        std::function<void()> shown;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Show)
                shown();
            return false;
        }
    };
    // One click (it used to hide the window about to show), two (they showed
    // it empty), and a second start of the program, which asks for the window
    // the same way (wanted 0).
    for (const int wanted : {1, 2, 0}) {
        makeWindow();
        int rowsWhenShown = -1;
        ShowWatch watch;
        watch.shown = [&] { rowsWhenShown = window->resultModel()->rowCount(); };
        window->installEventFilter(&watch);
        // The clicks come while the books are read, as soon as the icon is there.
        int clicks = 0;
        std::function<void()> click = [&] {
            if (wanted == 0) {
                if (window->manApp())
                    window->BringForward();
                else
                    QTimer::singleShot(0, window.get(), click);
                return;
            }
            if (TrayIcon* tray = window->trayIcon(); tray && window->manApp()) {
                emit tray->MouseLeftClick();
                ++clicks;
            }
            if (clicks < wanted)
                QTimer::singleShot(0, window.get(), click);
        };
        QTimer::singleShot(0, window.get(), click);

        window->Form_Load();
        EXPECT_EQ(clicks, wanted);
        EXPECT_EQ(rowsWhenShown, -1) << wanted; // not shown during the load
        window->show();                         // as the program does once the load is done
        EXPECT_EQ(rowsWhenShown, 20001) << wanted;
        EXPECT_FALSE(window->hiddenToTray()) << wanted;
        EXPECT_EQ(window->popupOpenItem()->text(), u"隐藏通讯录"_qs) << wanted;

        // In step: the next click hides, the one after shows.
        emit window->trayIcon()->MouseLeftClick();
        EXPECT_FALSE(window->isVisible()) << wanted;
        EXPECT_EQ(window->popupOpenItem()->text(), u"打开通讯录"_qs);
        emit window->trayIcon()->MouseLeftClick();
        EXPECT_TRUE(window->isVisible()) << wanted;
        window->removeEventFilter(&watch);
    }
}
