#include "FtpServer.h"
#include "ScriptedDialogs.h"
#include "TestSupport.h"
#include "app/TXLMain.h"
#include "phonebook/ManApp.h"
#include "toolkit/ProgramLauncher.h"
#include "ui/ResultModel.h"
#include "ui/frmMain.h"

#include <QAction>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
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
class Commands : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(store.isValid() && books.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, store.path());
        writeFile(privateBook(), gbk(QStringLiteral("自己\tzj\t1\r\n")));
        writeFile(localCopy(), kOldBook);
        storeValue(TXLMain::kLocalTxlFile, privateBook());
        storeValue(TXLMain::kSrvTxlFile, localCopy());
        storeValue(TXLMain::kLogFilePath, logFile());
        startServer(FtpServer::Options());
        writeFile(server->path(QStringLiteral("PublicTel.txt")), kNewBook);
        storeValue(TXLMain::kFtpServer, server->url());
        window = std::make_unique<frmMain>(dialogs);
        window->setLauncher(&launcher);
        window->Form_Load();
    }
    void TearDown() override {
        window.reset();
        TXLMain::ReleaseSettings();
    }

    void startServer(const FtpServer::Options& options) {
        server = std::make_unique<FtpServer>(options);
        QString error;
        ASSERT_TRUE(server->start(&error)) << error.toStdString();
    }
    void storeValue(const QString& key, const QVariant& value) {
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Pellinor"),
                    QStringLiteral("Mirodex"));
        s.setValue(key, value);
    }
    QString book(const QString& name) const { return books.filePath(name); }
    QString privateBook() const { return book(QStringLiteral("Private Tel.txt")); }
    QString localCopy() const { return book(QStringLiteral("PublicTel.txt")); }
    QString logFile() const { return book(QStringLiteral("txl.log")); }
    QStringList logLines() const {
        const QByteArray text = readFile(logFile());
        return text.isEmpty() ? QStringList() : QString::fromUtf8(text).split(u'\n', Qt::SkipEmptyParts);
    }
    QStringList leftovers() const {
        return QDir(books.path()).entryList({QStringLiteral(".*.part")}, QDir::Files | QDir::Hidden);
    }
    int rows() const { return window->resultModel()->rowCount(); }
    void download(const QString& serverAnswer, const QString& fileAnswer = QStringLiteral("/PublicTel.txt")) {
        dialogs.answers = {serverAnswer, fileAnswer};
        window->mnuFile_GetTxl_Click();
    }
    void expectFailedAndUntouched() {
        EXPECT_EQ(readFile(localCopy()), kOldBook);
        EXPECT_FALSE(QFile::exists(localCopy() + QStringLiteral(".bak")));
        EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(u' ').toStdString();
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].text.section(u'\n', 0, 0), QStringLiteral("无法下载文件！"));
        EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("获取最新公共电话簿"));
        EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Icon::Error);
        const QStringList lines = logLines();
        ASSERT_EQ(lines.size(), 1);
        EXPECT_TRUE(lines[0].endsWith(u',' + localCopy())) << lines[0].toStdString();
        EXPECT_FALSE(window->downloadRunning());
        EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
    }

    QTemporaryDir store;
    QTemporaryDir books;
    ScriptedDialogs dialogs;
    RecordingLauncher launcher;
    std::unique_ptr<FtpServer> server;
    std::unique_ptr<frmMain> window;
};

} // namespace

TEST_F(Commands, DownloadReplacesTheLocalCopyKeepsABackupAndRefreshes) {
    EXPECT_EQ(rows(), 2);
    writeFile(books.filePath(QStringLiteral(".PublicTel.txt.killed.part")), "left by a killed run");
    download(server->url());

    ASSERT_EQ(dialogs.asked.size(), 2u);
    EXPECT_EQ(dialogs.asked[0].title, QStringLiteral("获取最新公共电话簿"));
    EXPECT_EQ(dialogs.asked[0].prompt, QStringLiteral("FTP服务器地址："));
    EXPECT_EQ(dialogs.asked[0].prefilled, server->url());
    EXPECT_EQ(dialogs.asked[1].prompt, QStringLiteral("通讯录文件："));
    EXPECT_EQ(dialogs.asked[1].prefilled, QStringLiteral("/PublicTel.txt"));

    EXPECT_EQ(readFile(localCopy()), kNewBook);
    EXPECT_EQ(readFile(localCopy() + QStringLiteral(".bak")), kOldBook);
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
    EXPECT_EQ(readFile(localCopy()), kOldBook);
    EXPECT_EQ(readFile(localCopy() + QStringLiteral(".bak")), kNewBook);
}

TEST_F(Commands, FirstDownloadWithoutALocalCopyBecomesTheLocalCopy) {
    QFile::remove(localCopy());
    download(server->url());
    EXPECT_EQ(readFile(localCopy()), kNewBook);
    EXPECT_FALSE(QFile::exists(localCopy() + QStringLiteral(".bak")));
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
    FtpServer::Options slow;
    slow.writeLimit = 16 * 1024;
    startServer(slow);
    writeFile(server->path(QStringLiteral("PublicTel.txt")), QByteArray(1024 * 1024, 'x'));
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
    EXPECT_EQ(readFile(localCopy()), kOldBook);
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
    FtpServer::Options slow;
    slow.writeLimit = 16 * 1024;
    startServer(slow);
    writeFile(server->path(QStringLiteral("PublicTel.txt")), QByteArray(1024 * 1024, 'x'));
    bool entriesDisabled = false;
    QTimer::singleShot(300, window.get(), [&] {
        entriesDisabled =
            !window->fileMenu()->actions().at(0)->isEnabled() && !window->popupMenu()->actions().at(3)->isEnabled();
        window->popupMenu()->actions().at(1)->trigger(); // "退出电话簿"
    });
    download(server->url());
    EXPECT_TRUE(entriesDisabled);
    EXPECT_FALSE(TXLMain::HasSettings());
    EXPECT_EQ(window->trayIcon(), nullptr);
    EXPECT_EQ(readFile(localCopy()), kOldBook);
    EXPECT_TRUE(leftovers().isEmpty());
    EXPECT_TRUE(logLines().isEmpty());
    QSettings saved(store.filePath(QStringLiteral("Pellinor/Mirodex.conf")), QSettings::IniFormat);
    EXPECT_EQ(saved.value(QStringLiteral("FtpServer")).toString(), server->url());
}

TEST_F(Commands, RefreshRebuildsTheListEvenWhenTheBoxHoldsABlank) {
    ASSERT_EQ(window->searchBox()->text(), QStringLiteral(" "));
    writeFile(localCopy(), kNewBook);
    window->mnuFile_Refresh_Click();
    EXPECT_EQ(rows(), 3);
    EXPECT_EQ(window->searchBox()->text(), QStringLiteral(" "));
    EXPECT_EQ(window->manApp()->ManItems()->Item(1)->FullName(), QStringLiteral("自己"));
}

TEST_F(Commands, EditOpensThePrivateBookAsOneArgumentCreatingItWhenMissing) {
    window->mnuPopup_EditTXL_Click();
    ASSERT_EQ(launcher.started.size(), 1u);
    EXPECT_EQ(launcher.started[0].program, ProgramLauncher::TextEditor());
    EXPECT_EQ(launcher.started[0].arguments, QStringList{privateBook()});
    EXPECT_EQ(readFile(privateBook()), gbk(QStringLiteral("自己\tzj\t1\r\n"))); // never rewritten

    QFile::remove(privateBook());
    window->mnuFile_EditTXL_Click();
    EXPECT_EQ(readFile(privateBook()), gbk(QStringLiteral("'姓名\t缩写\t分机\t手机\t房号/直拨\r\n")));

    launcher.fail = true;
    window->mnuFile_EditTXL_Click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("无法启动文本编辑器：")));
}

TEST_F(Commands, WebPageStartsTheBrowserOrExplainsInFourLines) {
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
    EXPECT_EQ(lines[2], QStringLiteral("您的系统可能没有装IE浏览器，请用其他浏览器访问以下网址。"));
    EXPECT_EQ(lines[3], frmMain::MakerUrl());
}
