#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class QTcpSocket;

// A real FTP server (pyftpdlib) on 127.0.0.1 and a free port, serving a fresh
// temporary folder with full rights. Stopped when destroyed.
class FtpServer {
public:
    struct Options {
        bool anonymous = true;
        QString user; // empty: no password login
        QString password;
        int readLimit = 0;  // bytes/s accepted on uploads, 0 = unthrottled
        int writeLimit = 0; // bytes/s sent on downloads, 0 = unthrottled
        // Faults of a download, counted in bytes sent; -1 = never. Stalling
        // keeps the connections open and sends nothing more; dropping closes
        // the control connection (and with it the data connection).
        int stallAfter = -1;
        int dropControlAfter = -1;
        // A download moves this many bytes every 0.1 s: slow, but never still.
        int trickle = 0;
        // Seconds the server sits on a download's closing "226" (negative:
        // never sends it) and on its answer to QUIT.
        double hold226 = 0;
        double hold221 = 0;
        // PWD answers a path outside the root with a bare CR in it; NLST lists
        // absolute and parent paths instead of the folder.
        bool hostile = false;
        // AUTH TLS required before the login and on every data connection
        // (plain logins get "530"), with a certificate made for 127.0.0.1 at
        // start that nothing trusts unless a test says so.
        bool tls = false;
    };

    FtpServer();
    explicit FtpServer(const Options& options);
    ~FtpServer();
    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    // Starts the server and waits for its port; false with the reason in `error`.
    bool start(QString* error = nullptr);
    // Ends the server at once (the port then refuses connections).
    void kill();

    bool isRunning() const;
    quint16 port() const { return m_port; }
    QString url() const; // "ftp://127.0.0.1:<port>"
    QString root() const { return m_root.path(); }
    QString path(const QString& name) const { return m_root.filePath(name); }
    // The server's certificate (PEM) with the tls option, for a test to trust.
    QString certificate() const { return m_tlsDir.filePath(QStringLiteral("cert.pem")); }

private:
    // Starts the interpreter with `args`; its first line of output (the port),
    // or "!" and the reason it could not start.
    QString launch(const QStringList& args);

    Options m_options;
    QTemporaryDir m_root;
    QTemporaryDir m_tlsDir; // outside the served folder
    QProcess m_process;
    quint16 m_port = 0;
    qint64 m_pid = -1; // the server started without QProcess (ThreadSanitizer builds)
    int m_out = -1;
    // Under Wine: the connection to the broker that started the server
    // (support/ftp_server_broker.py); the server lives as long as it does.
    std::unique_ptr<QTcpSocket> m_broker;
};
