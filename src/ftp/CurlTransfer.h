#pragma once

#include "FtpError.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

// One transfer in terms libcurl needs, whatever FTP operation it stands for.
struct TransferJob {
    enum class Body { None, Download, Upload, Listing };
    QByteArray url;  // scheme://host[:port]/path, without credentials
    QByteArray user; // empty: anonymous
    QByteArray password;
    QList<QByteArray> quote; // commands sent after the login, before the transfer
    QByteArray listCommand;  // "NLST p" or "LIST p" for a listing
    Body body = Body::None;
    // Download: the part file to create (never an existing file); Upload: the file to send.
    QString localFile;
    // Download: the name the complete part file takes (replacing a file there).
    QString target;
    int timeoutSeconds = 0; // bounds connecting, each reply and any stall; 0 = no limit
    // TLS on the control and every data connection or no transfer at all:
    // through AUTH TLS for an ftp:// URL, from the first byte for ftps://.
    bool tls = false;
};

// How a transfer ended.
struct TransferOutcome {
    FtpFailure failure = FtpFailure::None;
    bool local = false;        // the failure lies with the local file
    bool loggedIn = false;     // the server accepted the login
    QString text;              // libcurl's or the file system's words for a failure
    QList<QByteArray> replies; // the server's reply lines, except those to the closing QUIT
    QByteArray data;           // a listing
};

// One transfer on a libcurl easy handle: its options, set from the job, and
// what its callbacks gather. Lives and dies on the worker thread that runs it.
class CurlTransfer {
public:
    // What the transfer asks of the worker running it (from libcurl's callbacks).
    class Host {
    public:
        virtual void replied(const CurlTransfer& transfer) = 0; // the first reply came
        virtual void moved(const CurlTransfer& transfer) = 0;   // data moved or a reply came
        // Creates the download's part file (CurlTransfer::openPart) unless the
        // request was dropped meanwhile.
        virtual bool createPart(CurlTransfer& transfer) = 0;
        // Every socket libcurl opens for the host's transfers, and its closing
        // (done by the host). libcurl may close a connection after its
        // transfer is gone, so these know the host alone.
        virtual bool socketOpened(std::intptr_t socket) = 0;
        virtual bool closeSocket(std::intptr_t socket) = 0;

    protected:
        ~Host() = default;
    };

    CurlTransfer(Host& host, quint64 serial, TransferJob job);
    ~CurlTransfer();
    CurlTransfer(const CurlTransfer&) = delete;
    CurlTransfer& operator=(const CurlTransfer&) = delete;

    // Makes the easy handle ready; a refusal comes back as the outcome.
    std::optional<TransferOutcome> setUp();

    // Server certificates are checked against the system's trusted ones, or,
    // after this, against those in `caFile` alone (empty: the system's again).
    // For tests with a server of their own.
    static void TrustOnly(const QString& caFile);
    void* easyHandle() const { return m_easy; }
    quint64 serial() const { return m_serial; }
    const TransferJob& job() const { return m_job; }

    bool openPart();
    bool partTried() const { return m_partTried; }
    // What the transfer came to, given libcurl's result; closes the local file.
    TransferOutcome finish(int curlResult);
    void closeFile() { m_file.close(); }

private:
    struct Callbacks;
    void noteLocalFault();

    Host& m_host;
    quint64 m_serial;
    TransferJob m_job;
    void* m_easy = nullptr;
    void* m_quote = nullptr;
    QFile m_file;
    bool m_partTried = false;
    bool m_localFault = false;
    bool m_diskFull = false;
    QString m_localError;
    TransferOutcome m_outcome;
    bool m_sawReply = false;
    bool m_quitting = false; // replies to the closing QUIT say nothing about the operation
    QByteArray m_errorBuffer;
};
