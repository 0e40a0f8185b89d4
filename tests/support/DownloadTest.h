#pragma once

#include "FtpServer.h"
#include "ProgramTest.h"

#include <QStringList>

#include <functional>
#include <memory>

// The program on temporary books, with the helpers of a download test: real
// FTP servers holding the next public book, the command run as a user runs
// it, and what it left behind.
class DownloadTest : public ProgramTest {
protected:
    // A started server holding `book` as /PublicTel.txt (the test fails when it cannot start).
    static std::unique_ptr<FtpServer> serveBook(const QByteArray& book,
                                                const FtpServer::Options& options = FtpServer::Options());

    // What the window's event loop did while a command waited for its transfer.
    struct Wait {
        int ticks = 0;                    // of a 20 ms timer, only while the command ran
        qint64 longestGapMs = 0;          // between two of them, the machine's own pauses left out
        bool postedRanDuringWait = false; // an event posted before the command ran within it
    };
    // Runs the download command with the two answers. `whileWaiting` runs from
    // the event loop every 20 ms while the command waits.
    Wait download(const QString& serverAnswer, const QString& fileAnswer = QStringLiteral("/PublicTel.txt"),
                  const std::function<void()>& whileWaiting = {});

    QStringList logLines() const;
    // Hidden files below the local copy's folder: the download's and the backup's temporaries.
    QStringList leftovers() const;
    QStringList hiddenBesideTheCopy() const;
    // The command failed, said so once (the reason below the first line) and logged one line, and left the
    // local copy as `before`, with no temporary file and the window idle.
    void expectFailedAndUntouched(const QByteArray& before);
};
