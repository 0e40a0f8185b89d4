// Nested events: while a loader box is open or a load runs on its worker, the
// user may choose Exit, Refresh or a download from the tray. None of it may
// run under the work on the stack, lose anything or add an entry twice.
#include "BookGenerator.h"
#include "DownloadTest.h"
#include "TestSupport.h"
#include "app/TXLMain.h"
#include "phonebook/ManApp.h"
#include "ui/ResultList.h"
#include "ui/ResultModel.h"
#include "ui/frmMain.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using TestSupport::gbk;
using TestSupport::readFile;
using TestSupport::writeFile;

namespace {

class Reentry : public DownloadTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(DownloadTest::SetUp());
        useBooks(gbk(QStringLiteral("自己\tzj\t1\r\n")), oldBook);
        makeWindow();
    }

    // The tray menu's entries, as a user picks them while a box is open.
    void exitFromTray() { window->popupMenu()->actions().at(1)->trigger(); }
    void downloadFromTray() { window->popupMenu()->actions().at(3)->trigger(); }
    void refreshFromMenu() { window->fileMenu()->actions().at(2)->trigger(); }

    // `action` runs once, while the first loader box is open.
    void atFirstLoaderBox(std::function<void()> action) {
        dialogs.onMessage = [this, action](const ScriptedDialogs::Shown& shown) {
            if (!shown.text.startsWith(QStringLiteral("初始化")))
                return;
            dialogs.onMessage = nullptr;
            action();
        };
    }
    void startServer() {
        server = serveBook(newBook);
        dialogs.answers = {server->url(), QStringLiteral("/PublicTel.txt")};
    }

    // Name column of every row, in list order.
    QStringList names() const {
        QStringList out;
        for (int r = 0; r < window->resultModel()->rowCount(); ++r)
            out << window->resultModel()->index(r, 0).data().toString();
        return out;
    }
    // What each box said, up to its colon.
    QStringList texts() const {
        QStringList out;
        for (const auto& m : dialogs.messages)
            out << m.text.section(u'：', 0, 0);
        return out;
    }
    void expectEachOnce(const QString& tag, int count) {
        const QStringList rows = names();
        EXPECT_EQ(rows.size(), count) << rows.join(u' ').toStdString();
        EXPECT_EQ(QSet<QString>(rows.begin(), rows.end()).size(), rows.size());
        EXPECT_TRUE(rows.filter(tag).size() == count);
        EXPECT_EQ(window->manApp()->ManItems()->Count(), count);
    }
    // The exit ran after the work unwound: unloaded, settings saved as usual.
    void expectExitedAndSaved() {
        EXPECT_TRUE(window->unloaded());
        EXPECT_FALSE(TXLMain::HasSettings());
        EXPECT_EQ(window->trayIcon(), nullptr);
        EXPECT_EQ(window->manApp(), nullptr);
        EXPECT_FALSE(window->isVisible());
        EXPECT_FALSE(window->downloadRunning());
        const auto stored = store();
        const QSettings& saved = *stored;
        EXPECT_EQ(saved.allKeys().size(), 8);
        EXPECT_EQ(saved.value(TXLMain::kLocalTxlFile).toString(), privateBook);
    }

    const int newCount = 40;
    const QByteArray oldBook = BookGenerator::Numbered(QStringLiteral("旧"), 3);
    const QByteArray newBook = BookGenerator::Numbered(QStringLiteral("新"), newCount);
    std::unique_ptr<FtpServer> server;
};

const QString kPrivateError = QStringLiteral("初始化本地电话簿错误");
const QString kDone = QStringLiteral("操作成功，使用时间");

} // namespace

TEST_F(Reentry, ExitFromALoaderBoxAtStartUpEndsBeforeTheWindowShows) {
    QFile::remove(privateBook);
    QFile::remove(localCopy);
    atFirstLoaderBox([this] {
        exitFromTray();
        // Nothing is torn down under the running load.
        EXPECT_TRUE(TXLMain::HasSettings());
        EXPECT_NE(window->manApp(), nullptr);
    });
    window->Form_Load();
    EXPECT_EQ(texts(), QStringList{kPrivateError}); // the public book's box never came
    expectExitedAndSaved();
}

TEST_F(Reentry, ExitFromALoaderBoxAtRefreshRunsOnceTheRefreshHasUnwound) {
    window->Form_Load();
    QFile::remove(privateBook);
    atFirstLoaderBox([this] {
        exitFromTray();
        EXPECT_NE(window->trayIcon(), nullptr);
    });
    window->mnuFile_Refresh_Click();
    EXPECT_EQ(texts(), QStringList{kPrivateError});
    expectExitedAndSaved();
}

TEST_F(Reentry, ExitFromALoaderBoxAfterADownloadKeepsTheNewBookAndTheAnswers) {
    startServer();
    window->Form_Load();
    QFile::remove(privateBook);
    atFirstLoaderBox([this] { exitFromTray(); });
    window->mnuFile_GetTxl_Click();
    EXPECT_EQ(texts(), (QStringList{kDone, kPrivateError}));
    EXPECT_EQ(readFile(localCopy), newBook);
    EXPECT_EQ(readFile(localCopy + QStringLiteral(".bak")), oldBook);
    expectExitedAndSaved();
    const auto stored = store();
    const QSettings& saved = *stored;
    EXPECT_EQ(saved.value(TXLMain::kFtpServer).toString(), server->url());
    EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(Reentry, ARefreshOrADownloadDuringALoadSupersedesItWithoutDuplicateRows) {
    // From the start-up's loader box: the Refresh shows its own box and list.
    QFile::remove(privateBook);
    atFirstLoaderBox([this] { refreshFromMenu(); });
    window->Form_Load();
    EXPECT_EQ(texts(), (QStringList{kPrivateError, kPrivateError}));
    expectEachOnce(QStringLiteral("旧"), 3);
    EXPECT_EQ(window->searchBox()->text(), QStringLiteral(" "));

    // From a Refresh's loader box: the download's own refresh wins.
    startServer();
    dialogs.messages.clear();
    atFirstLoaderBox([this] { downloadFromTray(); });
    window->mnuFile_Refresh_Click();
    EXPECT_EQ(texts(), (QStringList{kPrivateError, kDone, kPrivateError}));
    expectEachOnce(QStringLiteral("新"), newCount);

    // While a Refresh still reads on its worker, with no box at all.
    writeFile(privateBook, gbk(QStringLiteral("自己\tzj\t1\r\n")));
    dialogs.messages.clear();
    QTimer::singleShot(0, window.get(), [this] { refreshFromMenu(); });
    window->mnuFile_Refresh_Click();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(names().size(), 1 + newCount);
    EXPECT_EQ(window->manApp()->ManItems()->Count(), 1 + newCount);
}

TEST_F(Reentry, RefreshAnswersOnTheOldListAndSwapsAfterTheLoaderBoxes) {
    window->Form_Load();
    ASSERT_EQ(names().size(), 4);
    writeFile(localCopy, newBook);
    QFile::remove(privateBook);

    QStringList duringRead;
    QTimer::singleShot(0, window.get(), [&] {
        window->searchBox()->setText(QStringLiteral("zj"));
        duringRead = names();
    });
    int entriesAtBox = 0;
    int rowsAtBox = 0;
    dialogs.onMessage = [&](const ScriptedDialogs::Shown&) {
        entriesAtBox = window->manApp()->ManItems()->Count();
        window->searchBox()->setText(QStringLiteral("x"));
        rowsAtBox = window->resultModel()->rowCount();
    };
    window->mnuFile_Refresh_Click();
    EXPECT_EQ(duringRead, QStringList{QStringLiteral("自己")});
    EXPECT_EQ(entriesAtBox, 4);
    EXPECT_EQ(rowsAtBox, 3); // the old public book's initials
    EXPECT_EQ(window->searchBox()->text(), QStringLiteral(" "));
    expectEachOnce(QStringLiteral("新"), newCount);
}

// Counts what the list shows while it changes: its rows at every model reset
// and every paint, and at a moment in between (what a box opened then shows).
class ListWatch : public QObject {
public:
    explicit ListWatch(frmMain& window) : m_window(window) {
        window.resultList()->viewport()->installEventFilter(this);
        connect(window.resultModel(), &QAbstractItemModel::modelReset, this, [this] {
            resets << rows();
            QTimer::singleShot(0, this, [this] { between << rows(); });
        });
    }
    int rows() const { return m_window.resultModel()->rowCount(); }
    QList<int> resets, paints, between;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            paints << rows();
        return false;
    }

private:
    frmMain& m_window;
};

TEST_F(Reentry, AReloadGoesFromTheOldRowsToTheNewInOneStep) {
    window->Form_Load();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    // A search typed before the reload began is not kept: it ends with every entry.
    QTest::keyClicks(window->searchBox(), QStringLiteral("x"));
    ASSERT_EQ(names().size(), 3);
    writeFile(localCopy, newBook);

    ListWatch watch(*window);
    window->mnuFile_Refresh_Click();
    TestSupport::waitFor([&] { return !watch.paints.isEmpty() && !watch.between.isEmpty(); });
    EXPECT_EQ(watch.resets, QList<int>{1 + newCount});
    EXPECT_FALSE(watch.paints.contains(0)) << watch.paints.size();
    EXPECT_FALSE(watch.between.contains(0));
    EXPECT_EQ(window->searchBox()->text(), QStringLiteral(" "));
    EXPECT_EQ(names().size(), 1 + newCount);
}

TEST_F(Reentry, TextTypedDuringAReloadStaysAndIsSearchedInTheNewBooks) {
    window->Form_Load();
    writeFile(localCopy, newBook);
    const auto typeWhileReading = [this](const QString& text, QStringList* seen) {
        QTimer::singleShot(0, window.get(), [this, text, seen] {
            window->searchBox()->selectAll();
            QTest::keyClicks(window->searchBox(), text);
            *seen = names();
        });
    };
    // The new book's matches for x1 and x2, in name order.
    const auto newMatches = [](int n) {
        QStringList out{QStringLiteral("新%1").arg(n)};
        for (int i = 0; i < 10; ++i)
            out << QStringLiteral("新%1%2").arg(n).arg(i);
        return out;
    };

    QStringList whileReading;
    typeWhileReading(QStringLiteral("x1"), &whileReading);
    window->mnuFile_Refresh_Click();
    EXPECT_EQ(whileReading, QStringList{QStringLiteral("旧1")}); // the old books until the swap
    EXPECT_EQ(window->searchBox()->text(), QStringLiteral("x1"));
    EXPECT_EQ(names(), newMatches(1));

    // Typed while a download runs: kept through the reload at its end.
    startServer();
    typeWhileReading(QStringLiteral("x2"), &whileReading);
    window->mnuFile_GetTxl_Click();
    EXPECT_EQ(texts(), QStringList{kDone});
    EXPECT_EQ(window->searchBox()->text(), QStringLiteral("x2"));
    EXPECT_EQ(names(), newMatches(2));
}
