// Passwords typed into the server address live in the user's keyring, never
// in the settings file. ctest runs this program through
// support/keyring_session.sh: WithKeyring.* on a private bus with a real,
// unlocked Secret Service (gnome-keyring-daemon), WithoutKeyring.* and
// LoginAddress.* on a private bus where nothing keeps passwords.
#include "DownloadTest.h"
#include "LdapServer.h"
#include "TestSupport.h"
#include "app/FtpLogin.h"
#include "app/TXLMain.h"
#include "ftp/FtpAddress.h"
#include "ui/frmMain.h"

#include <QDirIterator>
#include <QSettings>

#include <gtest/gtest.h>

using TestSupport::readFile;
using TestSupport::writeFile;

namespace {

// Mixed case, ':' and '@' (kept whole), a Chinese character and '%' (never
// decoded). "Kx7" stands in any form the password could be written in.
const QString kPassword = QStringLiteral("Kx7:@Qz密%9");
const QByteArray kMark = "Kx7";
const QString kWrong = QStringLiteral("Kx7-wrong");
const QByteArray kBook = "Zhang San\tzs\t8001\r\n";

class Downloads : public DownloadTest {
protected:
    void SetUp() override {
        if (qgetenv("MIRODEX_TEST_BUS_MODE") != mode())
            GTEST_SKIP() << "needs the " << mode().constData() << " bus of support/keyring_session.sh";
        ASSERT_NO_FATAL_FAILURE(DownloadTest::SetUp());
        FtpServer::Options options;
        options.anonymous = false;
        options.user = QStringLiteral("Clerk");
        options.password = kPassword;
        server = serveBook(kBook, options);
        useBooks("self\ts\t1\r\n", "old\to\t2\r\n");
        storeValues({{TXLMain::kDebugFilePath, path(QStringLiteral("debug.txt"))}, {TXLMain::kIsDebug, true}});
        if (mode() == "keyring")
            FtpLogin::Keyring().Remove(key());
    }

    virtual QByteArray mode() const = 0;

    void start() {
        makeWindow().setDownloadTimeout(10);
        window->Form_Load();
    }
    // Runs the command: the server prompt answered with `address` (or OK on
    // what it shows), the file prompt with `file` (nullopt: OK, or Cancel
    // where an address was given). True when it succeeded.
    bool download(const std::optional<QString>& address = std::nullopt,
                  const std::optional<QString>& file = QStringLiteral("/PublicTel.txt")) {
        dialogs.messages.clear();
        dialogs.asked.clear();
        dialogs.answers.clear();
        if (address)
            dialogs.answers = {*address, file};
        window->mnuFile_GetTxl_Click();
        return dialogs.messages.size() == 1 && dialogs.messages[0].text.startsWith(QStringLiteral("操作成功"));
    }

    QString host() const { return QStringLiteral("127.0.0.1:") + QString::number(server->port()); }
    QString withPassword(const QString& password) const {
        return QStringLiteral("ftp://Clerk:") + password + u'@' + host();
    }
    QString withoutPassword() const { return QStringLiteral("ftp://Clerk@") + host(); }
    QString key() const { return QStringLiteral("Clerk@") + host(); }
    QString storedServer() const { return store()->value(TXLMain::kFtpServer).toString(); }
    // Every file of the test (settings, books, logs, error records) that
    // holds the password, in its name or its bytes.
    QStringList filesHoldingThePassword() const {
        QStringList hits;
        QDirIterator it(dir.path(), QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            if (file.contains(QString::fromLatin1(kMark)) || readFile(file).contains(kMark))
                hits << file;
        }
        return hits;
    }

    std::unique_ptr<FtpServer> server;
};

class WithKeyring : public Downloads {
    QByteArray mode() const override { return "keyring"; }

protected:
    QString inKeyring() const {
        const CredentialStore::Result found = FtpLogin::Keyring().Read(key());
        return found.status == CredentialStore::Status::Ok ? found.password : QStringLiteral("<none>");
    }
};

class WithoutKeyring : public Downloads {
    QByteArray mode() const override { return "bare"; }
};

// A bind to a directory server: the password asked for, kept only once a bind took it.
class DirectoryWithKeyring : public DownloadTest {
protected:
    void SetUp() override {
        if (qgetenv("MIRODEX_TEST_BUS_MODE") != "keyring")
            GTEST_SKIP() << "needs the keyring bus of support/keyring_session.sh";
        ASSERT_NO_FATAL_FAILURE(DownloadTest::SetUp());
        QString error;
        ASSERT_TRUE(server.start(
            LdapServer::person(QStringLiteral("clerk"),
                               {QStringLiteral("cn: Clerk"), QStringLiteral("userPassword:: ") +
                                                                 QString::fromLatin1(kPassword.toUtf8().toBase64())}),
            &error))
            << error.toStdString();
        useBooks("self\ts\t1\r\n", kOld);
        FtpLogin::Keyring().Remove(key());
        makeWindow().setDownloadTimeout(10);
        window->Form_Load();
    }
    QString hostPort() const { return server.url().mid(7); }
    QString key() const { return LdapServer::dnOf(QStringLiteral("clerk")) + u'@' + hostPort(); }
    QString address() const { return QStringLiteral("ldap://") + key() + u'/' + QLatin1String(LdapServer::kPeople); }
    QString inKeyring() const {
        const CredentialStore::Result found = FtpLogin::Keyring().Read(key());
        return found.status == CredentialStore::Status::Ok ? found.password : QStringLiteral("<none>");
    }
    bool read(const std::optional<QString>& answer) {
        dialogs.messages.clear();
        dialogs.answers.clear();
        if (answer)
            dialogs.answers = {*answer};
        window->mnuFile_GetTxl_Click();
        return dialogs.messages.size() == 1 && dialogs.messages[0].text.startsWith(QStringLiteral("操作成功"));
    }

    const QByteArray kOld = "old\to\t2\r\n";
    LdapServer server;
};

} // namespace

TEST_F(WithKeyring, TypedOnceKeptInTheKeyringOnlyAndReplacedWhenTypedAgain) {
    start();
    // A wrong password is not kept: the server refused it.
    EXPECT_FALSE(download(withPassword(kWrong)));
    EXPECT_EQ(inKeyring(), QStringLiteral("<none>"));
    EXPECT_EQ(TXLMain::Text(TXLMain::kFtpServer), withoutPassword());
    // Typed again, it replaces the kept one.
    EXPECT_TRUE(download(withPassword(kPassword)));
    EXPECT_EQ(inKeyring(), kPassword);
    // The prompt shows the address as stored; the password comes from the keyring.
    EXPECT_TRUE(download());
    ASSERT_EQ(dialogs.asked.size(), 2u);
    EXPECT_EQ(dialogs.asked[0].prefilled, withoutPassword());
    EXPECT_TRUE(dialogs.passwordPrompts.empty());
    EXPECT_TRUE(dialogs.notices.empty());
    EXPECT_EQ(readFile(localCopy), kBook);

    window.reset(); // Exit: the settings are saved
    EXPECT_EQ(storedServer(), withoutPassword());
    EXPECT_EQ(filesHoldingThePassword(), QStringList());
}

TEST_F(WithKeyring, OnlyAPasswordTheServerAcceptedIsKept) {
    start();
    // Typed into the address, then Cancel on the file prompt: nothing was tried, nothing kept.
    EXPECT_FALSE(download(withPassword(kPassword), std::nullopt));
    EXPECT_EQ(dialogs.asked.size(), 2u);
    EXPECT_EQ(inKeyring(), QStringLiteral("<none>"));
    // Logged in, though the file is missing: the password is right, so it is kept.
    EXPECT_FALSE(download(withPassword(kPassword), QStringLiteral("/gone.txt")));
    EXPECT_EQ(inKeyring(), kPassword);
    // A wrong one typed over it is refused; the kept one stays, and the box says how to type a new one.
    EXPECT_FALSE(download(withPassword(kWrong)));
    EXPECT_EQ(inKeyring(), kPassword);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("ftp://用户名:新密码@服务器")));
    EXPECT_TRUE(download());

    // A wrong answer in the password box is not kept either, so the box comes again.
    FtpLogin::Keyring().Remove(key());
    dialogs.passwords = {kWrong, kPassword};
    EXPECT_FALSE(download());
    EXPECT_EQ(inKeyring(), QStringLiteral("<none>"));
    EXPECT_TRUE(download());
    EXPECT_EQ(inKeyring(), kPassword);
    EXPECT_EQ(dialogs.passwordPrompts.size(), 2u);
    EXPECT_EQ(readFile(localCopy), kBook);
}

TEST_F(WithKeyring, AUserWithoutAKeptPasswordIsAskedOnceAndTheAnswerKept) {
    storeValues({{TXLMain::kFtpServer, withoutPassword()}});
    start();
    dialogs.passwords = {std::nullopt};
    EXPECT_FALSE(download()); // Cancel on the password box ends the command quietly
    EXPECT_TRUE(dialogs.messages.empty());
    ASSERT_EQ(dialogs.passwordPrompts.size(), 1u);
    EXPECT_TRUE(dialogs.passwordPrompts[0].prompt.contains(key())) << dialogs.passwordPrompts[0].prompt.toStdString();
    EXPECT_EQ(dialogs.asked.size(), 1u);

    dialogs.passwords = {kPassword};
    EXPECT_TRUE(download());
    EXPECT_EQ(inKeyring(), kPassword);
    EXPECT_TRUE(download());
    EXPECT_EQ(dialogs.passwordPrompts.size(), 2u);
    EXPECT_TRUE(dialogs.notices.empty());
}

TEST_F(WithKeyring, AnOldSettingsFileGivesItsPasswordToTheKeyringOnStart) {
    storeValues({{TXLMain::kFtpServer, withPassword(kPassword)}});
    ASSERT_TRUE(store()->value(TXLMain::kFtpServer).toString().contains(QString::fromLatin1(kMark)));
    start();
    // Stored at once, not only at exit.
    EXPECT_EQ(storedServer(), withoutPassword());
    EXPECT_EQ(filesHoldingThePassword(), QStringList());
    EXPECT_EQ(inKeyring(), kPassword);
    EXPECT_TRUE(dialogs.notices.empty());
    EXPECT_TRUE(download());
    EXPECT_TRUE(dialogs.passwordPrompts.empty());
}

TEST_F(WithKeyring, ExitWhileTheKeyringIsAskedEndsTheCommandQuietly) {
#ifdef Q_OS_WIN
    GTEST_SKIP() << "the Credential Manager answers at once: there is no wait in which to choose Exit";
#endif
    start();
    // Posted before the command, so it runs in the keyring's wait.
    QMetaObject::invokeMethod(
        window.get(), [this] { window->mnuFile_Exit_Click(); }, Qt::QueuedConnection);
    EXPECT_FALSE(download(withPassword(kPassword)));
    EXPECT_TRUE(window->unloaded());
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(dialogs.asked.size(), 1u); // never reached the file prompt
    EXPECT_EQ(readFile(localCopy), QByteArray("old\to\t2\r\n"));
    EXPECT_EQ(storedServer(), withoutPassword());
    EXPECT_EQ(filesHoldingThePassword(), QStringList());
}

TEST_F(WithoutKeyring, APasswordServesOneDownloadAndIsKeptNowhere) {
    // An old settings file keeps its address; the user is told once, for good.
    storeValues({{TXLMain::kFtpServer, withPassword(kPassword)}});
    start();
    ASSERT_EQ(dialogs.notices.size(), 1u);
    EXPECT_EQ(TXLMain::Text(TXLMain::kFtpServer), withPassword(kPassword));
    window.reset();
    start();
    EXPECT_EQ(dialogs.notices.size(), 1u);
    // Confirmed at the prompt, the password serves this download and leaves the settings.
    EXPECT_TRUE(download());
    ASSERT_EQ(dialogs.notices.size(), 2u);
    EXPECT_EQ(TXLMain::Text(TXLMain::kFtpServer), withoutPassword());
    // Next time it is asked for, and the user is not told again.
    dialogs.passwords = {kPassword, kWrong};
    EXPECT_TRUE(download());
    EXPECT_FALSE(download()); // a failed login writes an error record
    EXPECT_EQ(dialogs.passwordPrompts.size(), 2u);
    EXPECT_EQ(dialogs.notices.size(), 2u);
    for (const auto& notice : dialogs.notices)
        EXPECT_FALSE(notice.text.contains(kPassword));

    window.reset();
    EXPECT_EQ(storedServer(), withoutPassword());
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("debug.txt"))));
    EXPECT_EQ(filesHoldingThePassword(), QStringList());
}

TEST(LoginAddress, IsTakenApartAtItsLoginAsTheSessionReadsIt) {
    struct Case {
        const char* text;
        const char* user;
        const char* password; // nullptr: none given
        const char* kept;
        const char* connect;
        const char* key;
    };
    const Case cases[] = {
        {"ftp://Clerk:p:@ss@Host.Example:2121/Books", "Clerk", "p:@ss", "ftp://Clerk@Host.Example:2121/Books",
         "ftp://Host.Example:2121/Books", "Clerk@host.example:2121"},
        {"clerk:pw@host", "clerk", "pw", "clerk@host", "host", "clerk@host:21"},
        {"FTPS://u:@[::1]/", "u", "", "FTPS://u@[::1]/", "FTPS://[::1]/", "u@[::1]:990"},
        {"ftpes://u:pw@Host/", "u", "pw", "ftpes://u@Host/", "ftpes://Host/", "u@host:21"},
        {"ftp://u@[::1]:2121/a@b", "u", nullptr, "ftp://u@[::1]:2121/a@b", "ftp://[::1]:2121/a@b", "u@[::1]:2121"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const FtpAddress address(QString::fromUtf8(c.text));
        EXPECT_EQ(address.User(), QString::fromUtf8(c.user));
        EXPECT_EQ(address.HasPassword(), c.password != nullptr);
        EXPECT_EQ(address.Password(), QString::fromUtf8(c.password ? c.password : ""));
        EXPECT_EQ(address.WithoutPassword(), QString::fromUtf8(c.kept));
        EXPECT_EQ(address.WithoutLogin(), QString::fromUtf8(c.connect));
        EXPECT_EQ(address.LoginKey(), QString::fromUtf8(c.key));
    }
}

TEST_F(DirectoryWithKeyring, ABindPasswordIsKeptOnlyOnceTheServerTookIt) {
    // A wrong answer in the password box: the bind is refused, nothing is kept or changed.
    dialogs.passwords = {kWrong};
    EXPECT_FALSE(read(address()));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("无法下载文件！\n用户名或密码错误")))
        << dialogs.messages[0].text.toStdString();
    EXPECT_EQ(inKeyring(), QStringLiteral("<none>"));
    EXPECT_EQ(readFile(localCopy), kOld);
    ASSERT_EQ(dialogs.passwordPrompts.size(), 1u);
    EXPECT_TRUE(dialogs.passwordPrompts[0].prompt.startsWith(QStringLiteral("目录服务器密码（")));

    dialogs.passwords = {kPassword};
    EXPECT_TRUE(read(address()));
    EXPECT_EQ(inKeyring(), kPassword);
    EXPECT_EQ(readFile(localCopy), QByteArray("Clerk\t\t\t\t\r\n"));
    // Next time the keyring answers: no password box.
    EXPECT_TRUE(read(std::nullopt));
    EXPECT_EQ(dialogs.passwordPrompts.size(), 2u);
    EXPECT_EQ(TXLMain::Text(TXLMain::kFtpServer), address());
    EXPECT_EQ(readFile(localCopy + QStringLiteral(".bak")), QByteArray("Clerk\t\t\t\t\r\n"));
}
