#include "DownloadTest.h"

#include "FtpTickWatch.h"
#include "TestSupport.h"
#include "ui/frmMain.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QTimer>

std::unique_ptr<FtpServer> DownloadTest::serveBook(const QByteArray& book, const FtpServer::Options& options) {
    auto server = std::make_unique<FtpServer>(options);
    QString error;
    EXPECT_TRUE(server->start(&error)) << error.toStdString();
    TestSupport::writeFile(server->path(QStringLiteral("PublicTel.txt")), book);
    return server;
}

DownloadTest::Wait DownloadTest::download(const QString& serverAnswer, const QString& fileAnswer,
                                          const std::function<void()>& whileWaiting) {
    Wait wait;
    dialogs.answers = {serverAnswer, fileAnswer};
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (!window->downloadRunning())
            return;
        ++wait.ticks;
        if (whileWaiting)
            whileWaiting();
    });
    tick.start(20);
    // Watched for the whole command: the transfer and the file work after it.
    TickWatch watch([&] { return window->downloadRunning(); });
    // Posted before the command: it must run while the command waits. Tied
    // to `posted`, so it never runs after this returns.
    QObject posted;
    QTimer::singleShot(0, &posted, [&] { wait.postedRanDuringWait = window->downloadRunning(); });
    window->mnuFile_GetTxl_Click();
    wait.longestGapMs = watch.longestGapMs();
    return wait;
}

QStringList DownloadTest::logLines() const {
    const QByteArray text = TestSupport::readFile(logFile);
    return text.isEmpty() ? QStringList() : QString::fromUtf8(text).split(u'\n', Qt::SkipEmptyParts);
}

QStringList DownloadTest::leftovers() const {
#ifdef Q_OS_WIN
    // Windows removes no file still open: a cancelled transfer's part file
    // goes a moment later, once the transfer's thread has closed it.
    TestSupport::waitFor([this] { return hiddenBesideTheCopy().isEmpty(); }, 1000);
#endif
    return hiddenBesideTheCopy();
}

QStringList DownloadTest::hiddenBesideTheCopy() const {
    QStringList names;
    QDirIterator it(QFileInfo(localCopy).path(), QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileName().startsWith(u'.'))
            names << path;
    }
    return names;
}

void DownloadTest::expectFailedAndUntouched(const QByteArray& before) {
    EXPECT_EQ(TestSupport::readFile(localCopy), before);
    EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(u' ').toStdString();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text.section(u'\n', 0, 0), QStringLiteral("无法下载文件！"));
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("获取最新公共电话簿"));
    EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Icon::Error);
    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].endsWith(u',' + localCopy)) << lines[0].toStdString();
    EXPECT_FALSE(window->downloadRunning());
    EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
}
