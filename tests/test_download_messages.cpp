// What the user reads after a download that failed or was cancelled, and after
// an exit whose settings could not be saved: always against the real server.
#include "DownloadTest.h"
#include "TestSupport.h"
#include "app/TXLMain.h"
#include "ftp/CurlTransfer.h"
#include "ui/frmMain.h"

#include <QDir>
#include <QScopeGuard>

#include <gtest/gtest.h>

#include <algorithm>

#ifdef __linux__
#include <sys/mount.h>
#include <unistd.h>
#endif

using TestSupport::writeFile;

namespace {

class DownloadMessages : public DownloadTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(DownloadTest::SetUp());
        // The local copy and the log apart from the settings store: a test mounts a small disk over their folder.
        ASSERT_TRUE(QDir().mkpath(folder()));
        localCopy = folder() + QStringLiteral("/PublicTel.txt");
        logFile = folder() + QStringLiteral("/txl.log");
        useBooks(QByteArray(), QByteArray());
        FtpServer::Options both; // anonymous, and alice with a password
        both.user = QStringLiteral("alice");
        both.password = QStringLiteral("right");
        server = serveBook(QByteArray(64 * 1024, 'x'), both);
        ASSERT_TRUE(server->isRunning());
        storeValues({{TXLMain::kFtpServer, server->url()}});
    }
    void open() {
        writeFile(localCopy, "old\to\t1\r\n");
        makeWindow().setDownloadTimeout(2);
        window->Form_Load();
    }
    QString folder() const { return path(QStringLiteral("books")); }

    // The failure box's second line; its first line checked on the way.
    QString reasonFor(const QString& address, const QString& file = QStringLiteral("/PublicTel.txt")) {
        dialogs.messages.clear();
        download(address, file);
        const QStringList lines = dialogs.messages.empty() ? QStringList() : dialogs.messages[0].text.split(u'\n');
        EXPECT_EQ(lines.size(), 2) << lines.join(u'|').toStdString();
        EXPECT_EQ(lines.value(0), QStringLiteral("无法下载文件！"));
        return lines.value(1);
    }

    std::unique_ptr<FtpServer> server;
};

TEST_F(DownloadMessages, EachFailureSaysWhyOnItsSecondLine) {
    open();
    EXPECT_EQ(reasonFor(server->url(), QStringLiteral("/gone.txt")), QStringLiteral("服务器上没有该文件：/gone.txt"));
    EXPECT_EQ(reasonFor(QStringLiteral("127.0.0.1:1")), QStringLiteral("连接被拒绝：服务器没有接受连接"));

    // A wrong password is named, never shown, and the way to a new one is told.
    const QString wrong = QStringLiteral("Wr0ng-Pa55");
    const QString reason = reasonFor(QStringLiteral("ftp://alice:%1@127.0.0.1:%2").arg(wrong).arg(server->port()));
    EXPECT_TRUE(reason.startsWith(QStringLiteral("用户名或密码错误"))) << reason.toStdString();
    EXPECT_TRUE(reason.contains(QStringLiteral("ftp://用户名:新密码@服务器")));
    EXPECT_FALSE(dialogs.messages[0].text.contains(wrong));

    FtpServer::Options stalling;
    stalling.stallAfter = 8 * 1024;
    const auto stalled = serveBook(QByteArray(64 * 1024, 'x'), stalling);
    ASSERT_TRUE(stalled->isRunning());
    EXPECT_EQ(reasonFor(stalled->url()), QStringLiteral("超时：服务器2秒没有响应"));

    // The new book cannot take the place of a folder.
    QFile::remove(localCopy);
    ASSERT_TRUE(QDir().mkpath(localCopy + QStringLiteral("/inside")));
    EXPECT_TRUE(reasonFor(server->url()).startsWith(QStringLiteral("无法写入本地文件：") + localCopy));
}

TEST_F(DownloadMessages, FullDiskIsNamed) {
#ifndef __linux__
    GTEST_SKIP() << "a small disk is made with a Linux tmpfs mount";
#else
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system needs root";
    const QByteArray books = QFile::encodeName(folder());
    ASSERT_EQ(::mount("tmpfs", books.constData(), "tmpfs", 0, "size=256k"), 0);
    const auto unmount = qScopeGuard([&] { ::umount2(books.constData(), MNT_DETACH); });
    open();
    const std::string full = "磁盘已满，无法写入 " + localCopy.toStdString();
    writeFile(server->path(QStringLiteral("PublicTel.txt")), QByteArray(512 * 1024, 'x')); // no room for it
    EXPECT_EQ(reasonFor(server->url()).toStdString(), full);
    writeFile(server->path(QStringLiteral("PublicTel.txt")), QByteArray(16 * 1024, 'x'));
    writeFile(localCopy, QByteArray(160 * 1024, 'o')); // no room for its backup
    EXPECT_EQ(reasonFor(server->url()).toStdString(), full);
#endif
}

TEST_F(DownloadMessages, CertificateNobodyVouchesForIsRefused) {
    if (TestSupport::underWine())
        GTEST_SKIP() << "Wine's Schannel accepts any server certificate when the system's trusted ones are asked";
    open();
    FtpServer::Options options;
    options.tls = true;
    const auto secure = serveBook("new\tn\t2\r\n", options);
    ASSERT_TRUE(secure->isRunning());
    const QString reason = reasonFor(QStringLiteral("ftpes://127.0.0.1:%1").arg(secure->port()));
    EXPECT_TRUE(reason.startsWith(QStringLiteral("服务器证书不受信任："))) << reason.toStdString();
    EXPECT_EQ(TestSupport::readFile(localCopy), QByteArray("old\to\t1\r\n"));
}

TEST_F(DownloadMessages, EncryptedServerIsReachedOnlyOverTlsWithATrustedCertificate) {
    open();
    FtpServer::Options options;
    options.tls = true;
    const auto secure = serveBook("new\tn\t2\r\n", options);
    ASSERT_TRUE(secure->isRunning());
    const QString hostPort = QStringLiteral("127.0.0.1:%1").arg(secure->port());
    const QString address = QStringLiteral("ftpes://") + hostPort;
    const auto refusedFor = [&](const QString& answer, const QString& start, const QString& words) {
        SCOPED_TRACE(answer.toStdString());
        const QString reason = reasonFor(answer);
        EXPECT_TRUE(reason.startsWith(start) && reason.contains(words)) << reason.toStdString();
        EXPECT_EQ(TestSupport::readFile(localCopy), QByteArray("old\to\t1\r\n"));
    };

    // A certificate trusted but made for another name.
    CurlTransfer::TrustOnly(secure->certificate());
    const auto trustTheSystemAgain = qScopeGuard([] { CurlTransfer::TrustOnly(QString()); });
    refusedFor(QStringLiteral("ftpes://localhost:%1").arg(secure->port()), QStringLiteral("服务器证书不受信任："),
               QStringLiteral("localhost"));
    // Plain FTP gets a refused login, and the way to the right address.
    refusedFor(QStringLiteral("ftp://") + hostPort, QStringLiteral("服务器要求加密连接，请按 ftpes://"),
               QStringLiteral("530"));
    // Implicit TLS where the server expects AUTH first, and AUTH TLS to a
    // server without TLS: refused, never plain.
    refusedFor(QStringLiteral("ftps://") + hostPort, QString(), QString());
    refusedFor(QStringLiteral("ftpes://") + server->url().mid(6), QStringLiteral("服务器不支持加密连接"), QString());

    dialogs.messages.clear();
    download(address);
    ASSERT_FALSE(dialogs.messages.empty()); // then the reload's word on the missing private book
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("操作成功")))
        << dialogs.messages[0].text.toStdString();
    EXPECT_EQ(TestSupport::readFile(localCopy), QByteArray("new\tn\t2\r\n"));
    EXPECT_EQ(TXLMain::Text(TXLMain::kFtpServer), address); // kept as typed
}

TEST_F(DownloadMessages, CancelOnAnyPromptLeavesServerAndFileAsTheyWere) {
    open();
    const QString other = QStringLiteral("ftp://127.0.0.1:%1").arg(server->port() + 1);
    const QString bob = QStringLiteral("ftp://bob@127.0.0.1:%1").arg(server->port());
    // At the server prompt, at the file prompt, at the password box.
    using Answers = std::deque<std::optional<QString>>;
    for (const Answers& answers : {Answers{std::nullopt}, Answers{other, std::nullopt}, Answers{bob}}) {
        dialogs.answers = answers;
        window->mnuFile_GetTxl_Click();
        EXPECT_EQ(TXLMain::Text(TXLMain::kFtpServer), server->url());
        EXPECT_EQ(TXLMain::Text(TXLMain::kFtpFile), QStringLiteral("/PublicTel.txt"));
    }
    EXPECT_EQ(dialogs.passwordPrompts.size(), 1u);
    EXPECT_FALSE(QFile::exists(logFile));
}

TEST_F(DownloadMessages, ExitThatCannotSaveSaysTheSettingsAreLost) {
#ifdef Q_OS_WIN
    GTEST_SKIP() << "a broken store is a file where its folder belongs; the registry has no such state";
#endif
    open();
    const QString vendor = storeFolder() + QStringLiteral("/Pellinor");
    ASSERT_TRUE(QDir(vendor).removeRecursively());
    writeFile(vendor, "a file where the store's folder belongs");
    dialogs.messages.clear();
    window->close();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("无法保存设置：无法访问设置文件 ") + vendor))
        << dialogs.messages[0].text.toStdString();

    // Once start-up has said the store is broken, exit does not say it again.
    window.reset();
    dialogs.messages.clear();
    open();
    window.reset();
    const auto said = [&](const QString& start) {
        return std::count_if(dialogs.messages.begin(), dialogs.messages.end(),
                             [&](const ScriptedDialogs::Shown& m) { return m.text.startsWith(start); });
    };
    EXPECT_EQ(said(QStringLiteral("无法读写设置，将使用默认设置：")), 1);
    EXPECT_EQ(said(QStringLiteral("无法保存设置")), 0);
}

} // namespace
