#include "FtpServer.h"

#include <QElapsedTimer>

FtpServer::FtpServer() : FtpServer(Options()) {}

FtpServer::FtpServer(const Options& options) : m_options(options) {}

FtpServer::~FtpServer() {
    kill();
}

bool FtpServer::start(QString* error) {
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        kill();
        return false;
    };
    if (!m_root.isValid())
        return fail(QStringLiteral("no temporary folder"));
    QStringList args{QStringLiteral(MIRODEX_FTP_SERVER_SCRIPT), QStringLiteral("--root"), m_root.path()};
    if (m_options.anonymous)
        args << QStringLiteral("--anonymous");
    if (!m_options.user.isEmpty())
        args << QStringLiteral("--user") << m_options.user << QStringLiteral("--password") << m_options.password;
    if (m_options.readLimit > 0)
        args << QStringLiteral("--read-limit") << QString::number(m_options.readLimit);
    if (m_options.writeLimit > 0)
        args << QStringLiteral("--write-limit") << QString::number(m_options.writeLimit);
    if (m_options.stallAfter >= 0)
        args << QStringLiteral("--stall-after") << QString::number(m_options.stallAfter);
    if (m_options.dropControlAfter >= 0)
        args << QStringLiteral("--drop-control-after") << QString::number(m_options.dropControlAfter);
    if (m_options.trickle > 0)
        args << QStringLiteral("--trickle") << QString::number(m_options.trickle);
    if (m_options.hold226 != 0)
        args << QStringLiteral("--hold-226") << QString::number(m_options.hold226);
    if (m_options.hold221 != 0)
        args << QStringLiteral("--hold-221") << QString::number(m_options.hold221);
    if (m_options.hostile)
        args << QStringLiteral("--hostile");

    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(MIRODEX_PYTHON), args);
    if (!m_process.waitForStarted(10000))
        return fail(QStringLiteral("cannot start %1: %2").arg(QStringLiteral(MIRODEX_PYTHON), m_process.errorString()));
    QElapsedTimer clock;
    clock.start();
    while (!m_process.canReadLine()) {
        if (clock.elapsed() > 15000 || !m_process.waitForReadyRead(15000))
            return fail(QStringLiteral("the FTP server printed no port"));
    }
    bool ok = false;
    m_port = quint16(m_process.readLine().trimmed().toUInt(&ok));
    if (!ok || m_port == 0)
        return fail(QStringLiteral("the FTP server printed no port"));
    return true;
}

void FtpServer::kill() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
}

QString FtpServer::url() const {
    return QStringLiteral("ftp://127.0.0.1:%1").arg(m_port);
}
