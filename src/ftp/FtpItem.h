#pragma once

#include "FtpError.h"

#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class InetControl;
class frmInetTrans;

#ifdef DELETE // winnt.h
#undef DELETE
#endif

// One FTP session. Each command method hands one operation to the transfer
// control, waits for it (letting window events through) until it completes,
// fails or runs past RequestTimeout, and leaves the outcome in Status,
// OptStatus, OptString, ResponseString and UseTime. Command methods never pass
// a failure to their caller; with the IsDebug setting on, every failure is also
// appended as a tagged record to the file named by DebugFilePath.
//
// The object may be destroyed while one of its commands waits (from a handler
// run by the wait's event passes): the waiting command then returns at once.
class FtpItem : public QObject {
    Q_OBJECT
public:
    enum StatusValue { Idle = 0, Busy = 1, Completed = 2, TimedOut = 4, Failed = 5 };
    using ControlFactory = std::function<InetControl*()>;
    using Clock = std::function<qint64()>; // monotonic nanoseconds

    explicit FtpItem(QObject* parent = nullptr);
    // Every control the session creates comes from `factory`; `clock` replaces
    // the monotonic clock. Either may be empty. Meant for tests.
    FtpItem(ControlFactory factory, Clock clock, QObject* parent = nullptr);
    ~FtpItem() override;

    int Status() const { return m_status; }
    QString ResponseString() const { return m_responseString; }

    // Stores the address as an ftp, ftpes or ftps URL (any other scheme is
    // replaced by ftp://, a bare host gets ftp:// in front) and rebuilds the
    // request URL. ftpes:// and ftps:// (FTP over TLS) are kept, so a password
    // never goes out in the clear where the user asked for encryption. Fails and
    // changes nothing when the toolkit's position answer is not a usable number:
    // the result then holds the run-time error (13 type mismatch, 6 overflow).
    FtpError Server(const QString& vData);
    QString Server() const { return m_server; }

    void SIZE(const QString& remoteFile);
    void RmDir(const QString& remoteDir);
    void RENAME(const QString& oldName, const QString& newName);
    void QUIT();
    void PWD();
    void PUT_FILE(const QString& localFile, const QString& remoteFile);
    void MkDir(const QString& remoteDir);
    void GET_FILE(const QString& remoteFile, const QString& localFile);
    void DIR_FILES(const QString& remotePath);
    void DELETE(const QString& remoteFile);
    void CLOSE_FTP();
    void CDUP();
    void CD(const QString& remoteDir);

    // Seconds of the last completed command, in ten-thousandths.
    qint64 UseTime() const { return m_useTime; }
    int OptStatus() const { return m_optStatus; }
    // True when the last command ended in the control's completion: not failed,
    // not refused, not timed out. Mutating commands end with Status 0 either way.
    bool LastCommandCompleted() const { return m_lastCompleted; }
    // True when the server accepted the last command's login, even if the
    // command then failed: the password is right.
    bool LastCommandLoggedIn() const { return m_lastLoggedIn; }
    QString OptString() const { return m_optString; }

    // Why the last command did not complete, for telling the user: the kind of
    // failure (None when it completed, or while it runs) and the server's own
    // reply where one explains it, else the control's own words. A password
    // never appears in either.
    struct Failure {
        FtpFailure kind = FtpFailure::None;
        QString serverReply;
        QString detail;
    };
    Failure LastFailure() const { return m_lastFailure; }

    QString UserName() const;
    void UserName(const QString& vData);
    QString Password() const;
    void Password(const QString& vData);
    // Seconds a command may go without progress (no data moved and no reply
    // from the server) before it times out; a slow transfer that keeps moving
    // is never cut off. Read from the control; written to the control and kept
    // for fresh ones.
    int RequestTimeout() const;
    void RequestTimeout(int vData);

    // Replaces the control (cancelling whatever it still runs) by a fresh one.
    void ReNew();

    // The URL handed over with every command. It may carry the password: it is
    // for checks, never for display or files.
    QString requestUrl() const { return msUrl; }

    // Ten-thousandths of a second as text: at most four decimals, no trailing
    // zeros ("2.5", "0.0781", "3").
    static QString formatUseTime(qint64 tenThousandths);

private:
    void runCommand(int command, const QString& operation, const QStringList& arguments = {});
    void BuildUrl();
    bool WaitForCompletion();
    bool IsTimedOut() const;
    void timedOut();
    void LogError(const QString& procedure, const FtpError& error, int lineNumber,
                  const QString& extraData = QString());
    void writeRecord(const QString& procedure, int lineNumber, const QString& extraData) const;
    QString hidden(const QString& text) const;
    void moInet_StateChanged(int state);
    qint64 now() const;

    int m_status = Idle;
    bool m_lastCompleted = false;
    bool m_lastLoggedIn = false;
    int m_optStatus = 0;
    QString m_optString;
    QString m_responseString;
    qint64 m_useTime = 0;
    int m_requestTimeout = 60;
    QString m_server;
    QString msUrl;
    QString m_urlUser;     // the credentials BuildUrl put into msUrl
    QString m_urlPassword; // (the password is kept out of files)
    qint64 msngStartTime = 0;
    qint64 m_lastProgress = 0; // when the running command last moved data or heard a reply
    Failure m_lastFailure;
    InetControl* moInet = nullptr;
    frmInetTrans* mfrmTrans = nullptr;
    QMetaObject::Connection m_inetConnection;
    ControlFactory m_factory;
    Clock m_clock;
};
