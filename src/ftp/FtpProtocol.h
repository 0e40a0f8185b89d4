#pragma once

#include "CurlTransfer.h"
#include "FtpError.h"
#include "FtpOperation.h"

#include <QString>
#include <QStringList>

// What the transfer control's operations mean, apart from how libcurl runs
// them: the FTP commands an operation text stands for, the remote folder it
// starts in, and what the server's replies say about it.
//
// Keeps the control's current remote folder: set by CD and CDUP, forgotten by
// QUIT and CLOSE and whenever the server or the login changes. Every operation
// has a connection of its own and starts in that folder, so relative names
// resolve against it.
class FtpProtocol {
public:
    // Who logs in. The control's own credentials win; without them, those in
    // the URL. `verbatim*` are what the session puts into its URLs exactly as
    // given, so they are recognised whole even when they hold '/' or '@'.
    struct Login {
        QString user;
        QString password;
        QString verbatimUser;
        QString verbatimPassword;
    };

    struct Plan {
        FtpOperation operation;
        TransferJob job;
        bool local = false;  // QUIT, CLOSE: nothing goes to the server
        QString target;      // GET: the caller's file; job.localFile replaces it once complete
        QString fallbackDir; // CD, CDUP: the folder to assume when the server does not name it
        QString urlPassword; // a password taken from the URL, to keep it out of texts
    };

    struct Result {
        FtpFailure failure = FtpFailure::None; // None: the operation completed
        QString response;                      // SIZE, PWD, LS, DIR: the text to hand out
        int code = 0;                          // a failure's reply code, 0 when no reply explains it
        QString info;                          // a failure's description
    };

    // Plans one operation. `arguments`, when given, are GET's, PUT's or
    // RENAME's two arguments exactly as the caller had them before they were
    // joined with a blank into `operation`. A refusal comes back as the error.
    FtpError prepare(const QString& url, const QString& operation, const QStringList& arguments, const Login& login,
                     int timeoutSeconds, Plan& plan);
    // What an ended transfer means for the operation; CD and CDUP move the
    // current folder here.
    Result conclude(const Plan& plan, const TransferOutcome& outcome);
    // A completed download whose file could not take the caller's name.
    static Result cannotWrite(const Plan& plan, const QString& why);

private:
    QString m_dirOwner; // which server and login m_currentDir belongs to
    QString m_currentDir;
};

// `text` with each password hidden where it stands as a password: in a URL's
// user-info ("scheme://user:password@") and after "PASS ". Nothing else in the
// text is altered, even where the same characters occur. `passwords` are the
// ones known to be in use; other URLs' user-info is found by its form.
QString hidePasswords(QString text, const QStringList& passwords);

// The kind of failure a server's reply code stands for.
FtpFailure failureForReply(int code);

// A fresh hidden name beside `target` for a download to be written under
// before it takes the target's name: ".name.<tag>.part" (a name that already
// starts with '.' keeps its one dot, so a download into a hidden file shares
// that file's pattern).
QString partPathFor(const QString& target);
