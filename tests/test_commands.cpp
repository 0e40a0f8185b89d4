#include "DownloadTest.h"
#include "TestSupport.h"
#include "app/TXLMain.h"
#include "phonebook/ManApp.h"
#include "toolkit/ProgramLauncher.h"
#include "ui/ResultModel.h"
#include "ui/frmMain.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using TestSupport::gbk;
using TestSupport::readFile;
using TestSupport::writeFile;

namespace {

class RecordingLauncher : public ProgramLauncher {
public:
    bool Start(const QString& program, const QStringList& arguments, QString& error) override {
        started.push_back({program, arguments});
        if (fail)
            error = QStringLiteral("No such file or directory");
        return !fail;
    }
    struct Call {
        QString program;
        QStringList arguments;
    };
    std::vector<Call> started;
    bool fail = false;
};

const QByteArray kOldBook = gbk(QStringLiteral("'旧\r\n旧同事\tjts\t1001\r\n"));
const QByteArray kNewBook = gbk(QStringLiteral("'新\r\n新同事\txts\t2002\r\n另一位\tlyw\t2003\r\n"));

// A window started on its own settings store, with both books in a folder of
// its own and a real FTP server holding the next public book.
class Commands : public DownloadTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(DownloadTest::SetUp());
        privateBook = path(QStringLiteral("Private Tel.txt"));
        useBooks(gbk(QStringLiteral("自己\tzj\t1\r\n")), kOldBook);
        server = serveBook(kNewBook);
        storeValues({{TXLMain::kFtpServer, server->url()}});
        makeWindow().setLauncher(&launcher);
        window->Form_Load();
    }

    // A server that takes a minute for a book of 1 MB.
    void startSlowServer() {
        FtpServer::Options slow;
        slow.writeLimit = 16 * 1024;
        server = serveBook(QByteArray(1024 * 1024, 'x'), slow);
    }
    int rows() const { return window->resultModel()->rowCount(); }
    void expectFailedAndUntouched() {
        DownloadTest::expectFailedAndUntouched(kOldBook);
        EXPECT_FALSE(QFile::exists(localCopy + QStringLiteral(".bak")));
    }

    RecordingLauncher launcher;
    std::unique_ptr<FtpServer> server;
};

} // namespace

TEST_F(Commands, DownloadReplacesTheLocalCopyKeepsABackupAndRefreshes) {
    EXPECT_EQ(rows(), 2);
    writeFile(path(QStringLiteral(".PublicTel.txt.killed.part")), "left by a killed run");
    download(server->url());

    ASSERT_EQ(dialogs.asked.size(), 2u);
    EXPECT_EQ(dialogs.asked[0].title, QStringLiteral("获取最新公共电话簿"));
    EXPECT_EQ(dialogs.asked[0].prompt, QStringLiteral("FTP服务器地址："));
    EXPECT_EQ(dialogs.asked[0].prefilled, server->url());
    EXPECT_EQ(dialogs.asked[1].prompt, QStringLiteral("通讯录文件："));
    EXPECT_EQ(dialogs.asked[1].prefilled, QStringLiteral("/PublicTel.txt"));

    EXPECT_EQ(readFile(localCopy), kNewBook);
    EXPECT_EQ(readFile(localCopy + QStringLiteral(".bak")), kOldBook);
    EXPECT_TRUE(leftovers().isEmpty());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Icon::Information);
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("获取最新公共电话簿"));
    EXPECT_TRUE(dialogs.messages[0].text.contains(
        QRegularExpression(QStringLiteral("^操作成功，使用时间：\\d+(\\.\\d{0,3}[1-9])?$"))))
        << dialogs.messages[0].text.toStdString();
    EXPECT_TRUE(logLines().isEmpty());
    EXPECT_EQ(rows(), 3); // private entry and the two new ones
    EXPECT_EQ(window->searchBox()->text(), QStringLiteral(" "));
    EXPECT_FALSE(window->downloadRunning());
    EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);

    // A second run backs up what the first one brought.
    writeFile(server->path(QStringLiteral("PublicTel.txt")), kOldBook);
    download(server->url());
    EXPECT_EQ(readFile(localCopy), kOldBook);
    EXPECT_EQ(readFile(localCopy + QStringLiteral(".bak")), kNewBook);
}

TEST_F(Commands, FirstDownloadWithoutALocalCopyBecomesTheLocalCopy) {
    QFile::remove(localCopy);
    download(server->url());
    EXPECT_EQ(readFile(localCopy), kNewBook);
    EXPECT_FALSE(QFile::exists(localCopy + QStringLiteral(".bak")));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Icon::Information);
}

TEST_F(Commands, MissingRemoteFileChangesNothing) {
    download(server->url(), QStringLiteral("/nope.txt"));
    expectFailedAndUntouched();
}

TEST_F(Commands, StoppedServerChangesNothing) {
    server->kill();
    download(server->url());
    expectFailedAndUntouched();
}

TEST_F(Commands, AddressWithoutAServerChangesNothing) {
    const QString nowhere = QStringLiteral("127.0.0.1:1");
    download(nowhere);
    expectFailedAndUntouched();
    EXPECT_EQ(TXLMain::Text(TXLMain::kFtpServer), nowhere);
}

TEST_F(Commands, TransferPastTheTimeOutChangesNothing) {
    startSlowServer();
    window->setDownloadTimeout(1);
    int ticks = 0;
    QTimer clock;
    QObject::connect(&clock, &QTimer::timeout, [&] { ++ticks; });
    clock.start(20);
    download(server->url());
    expectFailedAndUntouched();
    EXPECT_GT(ticks, 10); // the window kept running during the wait
}

TEST_F(Commands, CancelOnEitherPromptEndsQuietly) {
    const QString server0 = TXLMain::Text(TXLMain::kFtpServer);
    dialogs.answers = {std::nullopt};
    window->mnuFile_GetTxl_Click();
    EXPECT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(TXLMain::Text(TXLMain::kFtpServer), server0);

    dialogs.answers = {server->url(), std::nullopt};
    window->mnuFile_GetTxl_Click();
    EXPECT_EQ(TXLMain::Text(TXLMain::kFtpFile), QStringLiteral("/PublicTel.txt"));

    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(logLines().isEmpty());
    EXPECT_EQ(readFile(localCopy), kOldBook);
    EXPECT_TRUE(leftovers().isEmpty());
    EXPECT_FALSE(window->downloadRunning());
}

TEST_F(Commands, PromptAnswersSurviveARestartAfterANormalExit) {
    download(server->url(), QStringLiteral("/elsewhere.txt"));
    window->close();
    window.reset();
    ScriptedDialogs again;
    frmMain second(again);
    second.Form_Load();
    EXPECT_EQ(TXLMain::Text(TXLMain::kFtpServer), server->url());
    EXPECT_EQ(TXLMain::Text(TXLMain::kFtpFile), QStringLiteral("/elsewhere.txt"));
}

TEST_F(Commands, ExitDuringADownloadCancelsItAndUnloadsNormally) {
    startSlowServer();
    bool entriesDisabled = false;
    bool exited = false;
    // Once the transfer is under way.
    download(server->url(), QStringLiteral("/PublicTel.txt"), [&] {
        if (exited)
            return;
        exited = true;
        entriesDisabled =
            !window->fileMenu()->actions().at(0)->isEnabled() && !window->popupMenu()->actions().at(3)->isEnabled();
        window->popupMenu()->actions().at(1)->trigger(); // "退出电话簿"
    });
    EXPECT_TRUE(entriesDisabled);
    EXPECT_FALSE(TXLMain::HasSettings());
    EXPECT_EQ(window->trayIcon(), nullptr);
    EXPECT_EQ(readFile(localCopy), kOldBook);
    EXPECT_TRUE(leftovers().isEmpty());
    EXPECT_TRUE(logLines().isEmpty());
    const auto stored = store();
    QSettings& saved = *stored;
    EXPECT_EQ(saved.value(QStringLiteral("FtpServer")).toString(), server->url());
}

TEST_F(Commands, RefreshRebuildsTheListEvenWhenTheBoxHoldsABlank) {
    ASSERT_EQ(window->searchBox()->text(), QStringLiteral(" "));
    writeFile(localCopy, kNewBook);
    window->mnuFile_Refresh_Click();
    EXPECT_EQ(rows(), 3);
    EXPECT_EQ(window->searchBox()->text(), QStringLiteral(" "));
    EXPECT_EQ(window->manApp()->ManItems()->Item(1)->FullName(), QStringLiteral("自己"));
}

TEST_F(Commands, EditOpensThePrivateBookAsOneArgumentCreatingItWhenMissing) {
    window->mnuPopup_EditTXL_Click();
    ASSERT_EQ(launcher.started.size(), 1u);
    EXPECT_EQ(launcher.started[0].program, ProgramLauncher::TextEditor());
    EXPECT_EQ(launcher.started[0].arguments, QStringList{privateBook});
    EXPECT_EQ(readFile(privateBook), gbk(QStringLiteral("自己\tzj\t1\r\n"))); // never rewritten

    QFile::remove(privateBook);
    window->mnuFile_EditTXL_Click();
    EXPECT_EQ(readFile(privateBook), gbk(QStringLiteral("'姓名\t缩写\t分机\t手机\t房号/直拨\r\n")));

    launcher.fail = true;
    window->mnuFile_EditTXL_Click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("无法打开个人电话簿：") + privateBook));
}

TEST_F(Commands, WebPageStartsTheBrowserOrExplainsInFourLines) {
#ifdef Q_OS_WIN
    GTEST_SKIP() << "the Linux look-up of the browser (xdg-open on PATH); Windows answers explorer.exe";
#endif
    QTemporaryDir bin;
    const QString opener = bin.filePath(QStringLiteral("xdg-open"));
    writeFile(opener, "#!/bin/sh\n");
    QFile::setPermissions(opener, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray oldPath = qgetenv("PATH");

    qputenv("PATH", QFile::encodeName(bin.path()));
    window->mnuPopup_ToUrl_Click();
    EXPECT_EQ(window->regStatus(), QStringLiteral("OK"));
    ASSERT_EQ(launcher.started.size(), 1u);
    EXPECT_EQ(launcher.started[0].program, opener);
    EXPECT_EQ(launcher.started[0].arguments, QStringList{frmMain::MakerUrl()});
    EXPECT_TRUE(frmMain::MakerUrl().startsWith(QStringLiteral("http://")));

    qputenv("PATH", QFile::encodeName(bin.filePath(QStringLiteral("nothing"))));
    window->mnuPopup_ToUrl_Click();
    qputenv("PATH", oldPath);
    EXPECT_EQ(launcher.started.size(), 1u);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("Mirodex"));
    EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Icon::Question);
    const QStringList lines = dialogs.messages[0].text.split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], QStringLiteral("发生以下错误："));
    EXPECT_EQ(lines[1], window->regStatus());
    // What was tried, not a browser of another system.
    EXPECT_TRUE(lines[2].contains(QStringLiteral("xdg-open")));
    EXPECT_FALSE(lines[2].contains(QStringLiteral("IE")));
    EXPECT_EQ(lines[3], frmMain::MakerUrl());
}

TEST_F(Commands, OpenersThatFailAreReportedWithTheirOwnWords) {
#ifdef Q_OS_WIN
    GTEST_SKIP() << "the openers here are Linux shell scripts on PATH; test_windows checks the Notepad and browser "
                    "command lines";
#endif
    QTemporaryDir bin;
    const QString opener = bin.filePath(QStringLiteral("xdg-open"));
    const auto fakeOpener = [&](const QByteArray& body) {
        writeFile(opener, "#!/bin/sh\n" + body);
        QFile::setPermissions(opener, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    };
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()) + ":/usr/bin:/bin");
    window->setLauncher(nullptr); // the real one
    const auto nextMessage = [&] { return QTest::qWaitFor([&] { return !dialogs.messages.empty(); }, 10000); };

    // The editor's opener runs, cannot open the book, and says why.
    fakeOpener("echo 'x-terminal-emulator: not found' >&2\nexit 4\n");
    window->mnuFile_EditTXL_Click();
    ASSERT_TRUE(nextMessage());
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("编辑个人电话簿(本地)"));
    EXPECT_TRUE(dialogs.messages[0].text.contains(privateBook));
    EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("x-terminal-emulator: not found")));

    // The browser's opener finds no browser: what was tried, in Chinese, with its words.
    dialogs.messages.clear();
    fakeOpener("echo 'xdg-open: no method available' >&2\nexit 3\n");
    window->mnuPopup_ToUrl_Click();
    ASSERT_TRUE(nextMessage());
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("Mirodex"));
    const QStringList lines = dialogs.messages[0].text.split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[1], QStringLiteral("xdg-open: no method available"));
    EXPECT_TRUE(lines[2].contains(QStringLiteral("xdg-open")));
    EXPECT_EQ(lines[3], frmMain::MakerUrl());

    // An opener that succeeds says nothing; none at all is named at once.
    dialogs.messages.clear();
    const QString done = bin.filePath(QStringLiteral("done"));
    fakeOpener("touch '" + QFile::encodeName(done) + "'\n");
    window->mnuFile_EditTXL_Click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(done); }, 10000));
    QTest::qWait(500);
    EXPECT_TRUE(dialogs.messages.empty());
    qputenv("PATH", QFile::encodeName(bin.filePath(QStringLiteral("nothing"))));
    window->mnuFile_EditTXL_Click();
    qputenv("PATH", oldPath);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.contains(privateBook));
    EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("xdg-open")));
}
