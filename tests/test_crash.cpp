// Crash safety of the public-book download: a real download runs in a child
// process that is killed with SIGKILL at a random moment (seeded). Whatever
// the moment, the local copy must afterwards be the complete old book or the
// complete new one, and a fresh start must load it.
#include "BookGenerator.h"
#include "DownloadTest.h"
#include "TestSupport.h"
#include "phonebook/BookReader.h"
#include "phonebook/ManItems.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

using TestSupport::gbk;
using TestSupport::readFile;
using TestSupport::writeFile;

namespace {

// The sanitized build reads and sorts about ten times slower and starts more
// slowly: smaller books and half the trials keep it near the plain build's time.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kScale = 10;
constexpr int kTrials = 100;
#elif defined(_WIN32)
// Under Wine each start of a program takes about a second.
constexpr int kScale = 1;
constexpr int kTrials = 50;
#else
constexpr int kScale = 1;
constexpr int kTrials = 200;
#endif

int entriesOf(const QString& path) {
    ManItems items;
    QString error;
    return BookReader::Read(path, items, error) ? items.Count() : -1;
}

class CrashHarness : public DownloadTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(DownloadTest::SetUp());
        server = serveBook(newBook);
        writeFile(privateBook, gbk(QStringLiteral("自己\tzj\t1\r\n")));
        const QString runtime = storeFolder() + QStringLiteral("/runtime");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QStringList arguments(const char* mode) const {
        QStringList args{storeFolder(), privateBook, localCopy, logFile, QString::fromLatin1(mode)};
        if (QByteArray(mode) == "download")
            args << server->url() << QStringLiteral("/PublicTel.txt");
        return args;
    }

    // A start with no command: the entries it loaded, -1 when it did not finish.
    int startAndCount() {
        QProcess p;
        p.start(QStringLiteral(MIRODEX_CRASH_HELPER), arguments("start"));
        if (!p.waitForFinished(60000) || p.exitCode() != 0)
            return -1;
        for (const QByteArray& line : p.readAllStandardOutput().split('\n'))
            if (line.startsWith("entries "))
                return line.mid(8).toInt();
        return -1;
    }

    // Starts a download; answers once it is under way (after start-up).
    bool startDownload(QProcess& p) {
        p.start(QStringLiteral(MIRODEX_CRASH_HELPER), arguments("download"));
        if (!p.waitForStarted(10000))
            return false;
        while (!p.canReadLine())
            if (!p.waitForReadyRead(60000))
                return false;
        return p.readLine().trimmed() == "downloading";
    }

    // Removes what a killed run may leave beside the local copy (hidden
    // temporary files); answers how many there were.
    int sweepLeftovers() {
        const QStringList files = leftovers();
        for (const QString& file : files)
            QFile::remove(file);
        return int(files.size());
    }

    std::unique_ptr<FtpServer> server;
    const int oldCount = 20000 / kScale;
    const int newCount = 30000 / kScale;
    const QByteArray oldBook = BookGenerator::Numbered(QStringLiteral("旧"), oldCount, 6);
    const QByteArray newBook = BookGenerator::Numbered(QStringLiteral("新"), newCount, 6);
};

} // namespace

TEST_F(CrashHarness, KilledAtAnyMomentTheLocalCopyIsTheOldOrTheNewBookWhole) {
    const int trials = qEnvironmentVariableIntValue("MIRODEX_CRASH_TRIALS") > 0
                           ? qEnvironmentVariableIntValue("MIRODEX_CRASH_TRIALS")
                           : kTrials;
    // How long an undisturbed download command takes (transfer, swap, reload);
    // the kills fall anywhere in that span and a little past it.
    qint64 span = 0;
    for (int i = 0; i < 3; ++i) {
        writeFile(localCopy, oldBook);
        QProcess p;
        ASSERT_TRUE(startDownload(p));
        QElapsedTimer clock;
        clock.start();
        while (!p.canReadLine())
            ASSERT_TRUE(p.waitForReadyRead(60000));
        span = qMax(span, clock.nsecsElapsed());
        ASSERT_EQ(p.readLine().trimmed(), "done");
        // It may have ended already, seen while its last line was read.
        p.waitForFinished(60000);
        ASSERT_EQ(p.state(), QProcess::NotRunning);
        const QByteArray out = p.readAllStandardOutput();
        ASSERT_TRUE(out.contains("message 操作成功")) << out.toStdString();
        ASSERT_EQ(readFile(localCopy), newBook);
    }
    ASSERT_EQ(startAndCount(), 1 + newCount);

    QRandomGenerator random(20240611);
    int sawOld = 0, sawNew = 0, corrupt = 0, leftovers = 0, finished = 0;
    for (int trial = 0; trial < trials; ++trial) {
        writeFile(localCopy, oldBook);
        QFile::remove(localCopy + QStringLiteral(".bak"));
        QProcess p;
        ASSERT_TRUE(startDownload(p)) << "trial " << trial;
        const qint64 delayNs = qint64(random.bounded(double(span) * 1.1));
        QThread::usleep(quint64(delayNs / 1000));
        if (p.state() == QProcess::Running)
            p.kill(); // SIGKILL; TerminateProcess on Windows
        else
            ++finished;
        p.waitForFinished(10000);

        const QByteArray now = readFile(localCopy);
        if (now == oldBook) {
            ++sawOld;
        } else if (now == newBook) {
            ++sawNew;
        } else {
            ++corrupt;
            ADD_FAILURE() << "trial " << trial << ": local copy of " << now.size() << " bytes is neither book";
        }
        const int expected = now == newBook ? 1 + newCount : 1 + oldCount;
        EXPECT_EQ(entriesOf(localCopy), expected - 1) << "trial " << trial;
        // Now and then the whole start-up, as the next run of the program would do it.
        if (trial % 25 == 0) {
            EXPECT_EQ(startAndCount(), expected) << "trial " << trial;
        }
        leftovers += sweepLeftovers();
    }
    std::printf("command span %.0f ms; crash trials: %d, old book kept %d, new book whole %d, corrupt %d, finished "
                "before the kill %d, "
                "temporary files left by killed runs %d\n",
                double(span) / 1e6, trials, sawOld, sawNew, corrupt, finished, leftovers);
    EXPECT_EQ(corrupt, 0);
    EXPECT_GT(sawOld, 0);
    EXPECT_GT(sawNew, 0);
}
