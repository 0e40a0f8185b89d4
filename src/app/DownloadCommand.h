#pragma once

#include "FtpLogin.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class Dialogs;
class FtpItem;

// Fetching the public book: asks for the server and the remote file (answers
// kept in the settings, a password that logged in in the keyring), fetches the
// file into a hidden file beside the local copy and swaps it in only when the
// transfer completed: the new file is forced to disk, the previous copy goes
// to ".bak", then the new file takes the local copy's name in one rename, all
// on a thread aside while the window keeps running. A failed, cancelled or timed-out transfer leaves the local copy
// exactly as it was, says "无法下载文件！" with the reason on a second line
// and writes one log line. Cancel on any prompt leaves the settings as they were.
class DownloadCommand : public QObject {
    Q_OBJECT
public:
    enum class Outcome {
        Done,      // swapped in, success box shown: the books want reloading
        Failed,    // failure box shown and logged
        Cancelled, // a prompt was cancelled, or Cancel() ended the transfer
    };

    explicit DownloadCommand(Dialogs& dialogs, QObject* parent = nullptr);
    ~DownloadCommand() override;

    // Runs the command; `title` heads its prompts and boxes. The transfer's wait
    // lets events through, so anything may run meanwhile; a second Run while one
    // is under way does nothing and answers Cancelled.
    Outcome Run(const QString& title);
    // Ends a transfer under way at once; its Run then leaves no trace.
    void Cancel();
    bool Running() const { return moFtp != nullptr; }

    // Seconds a transfer may stall before it is given up (30 for users).
    void setTimeout(int seconds) { m_timeout = seconds; }

signals:
    // Around the transfer itself, after the prompts.
    void transferStarted();
    void transferEnded();

private:
    // The public book read from the directory server at `text` (an ldap:// or ldaps:// address).
    Outcome fromDirectory(const QString& title, const QString& text, const QString& tempPath, const QString& localPath,
                          const std::function<void()>& undo);
    // Puts the file at `tempPath` in place of the local copy (the old one
    // kept as ".bak"); `swapped` says whether it worked. False when the
    // command was cancelled or its object deleted meanwhile.
    bool swapIn(const QString& tempPath, const QString& localPath, QString& error, bool& diskFull, bool& swapped);
    // The success box; `useTime` in ten-thousandths of a second.
    Outcome succeeded(const QString& title, qint64 useTime);
    Outcome failed(const QString& title, const QString& message, const QString& tempPath, const QString& localPath);

    Dialogs& m_dialogs;
    FtpLogin m_login;                                  // the server's password: keyring, prompt, or this download only
    std::unique_ptr<FtpItem> moFtp;                    // the session of a running download, else empty
    std::shared_ptr<std::atomic<bool>> m_stopFileWork; // set by Cancel while the new file is put in place
    int m_timeout = 30;
};
