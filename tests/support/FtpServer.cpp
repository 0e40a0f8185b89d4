#include "FtpServer.h"

#include "TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpSocket>

#if defined(__SANITIZE_THREAD__)
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>
#endif

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
    if (m_options.tls)
        args << QStringLiteral("--tls") << m_tlsDir.path();

    const QString portLine = launch(args);
    bool ok = false;
    m_port = quint16(portLine.trimmed().toUInt(&ok));
    if (!ok || m_port == 0)
        return fail(portLine.startsWith(u'!') ? portLine.mid(1) : QStringLiteral("the FTP server printed no port"));
    return true;
}

#if defined(_WIN32)

// A Windows program under Wine cannot start the Linux interpreter and keep
// hold of it: a broker outside Wine, named by MIRODEX_TEST_FTP_BROKER
// ("host:port"), starts the server for it.
QString FtpServer::launch(const QStringList& args) {
    const QString broker = qEnvironmentVariable("MIRODEX_TEST_FTP_BROKER");
    const qsizetype colon = broker.lastIndexOf(u':');
    if (colon < 0)
        return QStringLiteral("!MIRODEX_TEST_FTP_BROKER is not set (support/wine_test.sh sets it)");
    m_broker = std::make_unique<QTcpSocket>();
    m_broker->connectToHost(broker.left(colon), quint16(broker.mid(colon + 1).toUInt()));
    if (!m_broker->waitForConnected(10000))
        return u'!' + QStringLiteral("cannot reach the FTP broker at %1: %2").arg(broker, m_broker->errorString());
    // The script's path is the broker's business.
    const QJsonArray list = QJsonArray::fromStringList(args.mid(1));
    m_broker->write(QJsonDocument(list).toJson(QJsonDocument::Compact) + '\n');
    QElapsedTimer clock;
    clock.start();
    while (!m_broker->canReadLine()) {
        if (clock.elapsed() > 15000 || !m_broker->waitForReadyRead(15000))
            return QString();
    }
    return QString::fromUtf8(m_broker->readLine());
}

void FtpServer::kill() {
    if (!m_broker)
        return;
    if (m_broker->state() == QAbstractSocket::ConnectedState) {
        m_broker->write("kill\n");
        // Answered once the server is gone, so its port refuses from here on.
        while (m_broker->waitForReadyRead(5000) && !m_broker->canReadLine()) {
        }
    }
    m_broker.reset();
}

bool FtpServer::isRunning() const {
    return m_broker && m_broker->state() == QAbstractSocket::ConnectedState;
}

#elif !defined(__SANITIZE_THREAD__)

QString FtpServer::launch(const QStringList& args) {
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(MIRODEX_PYTHON), args);
    if (!m_process.waitForStarted(10000))
        return u'!' +
               QStringLiteral("cannot start %1: %2").arg(QStringLiteral(MIRODEX_PYTHON), m_process.errorString());
    QElapsedTimer clock;
    clock.start();
    while (!m_process.canReadLine()) {
        if (clock.elapsed() > 15000 || !m_process.waitForReadyRead(15000))
            return QString();
    }
    return QString::fromLatin1(m_process.readLine());
}

void FtpServer::kill() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
}

bool FtpServer::isRunning() const {
    return m_process.state() != QProcess::NotRunning;
}

#else

// QProcess starts its children vfork-style; the child then runs Qt's
// uninstrumented exec path on the parent's ThreadSanitizer state, which stays
// blind to the parent's locks from then on. Under ThreadSanitizer the server
// is started with a plain fork, which the sanitizer follows.
QString FtpServer::launch(const QStringList& args) {
    TestSupport::ExecArgs exec(QByteArrayLiteral(MIRODEX_PYTHON), args);
    int out[2];
    if (::pipe(out) != 0)
        return QStringLiteral("!no pipe");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        ::execv(exec.argv[0], exec.argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    m_pid = pid;
    QByteArray line;
    char c = 0;
    pollfd wait{out[0], POLLIN, 0};
    while (pid > 0 && !line.endsWith('\n') && ::poll(&wait, 1, 15000) > 0 && ::read(out[0], &c, 1) == 1)
        line.append(c);
    m_out = out[0];
    return QString::fromLatin1(line);
}

void FtpServer::kill() {
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    ::close(m_out);
    m_pid = -1;
}

bool FtpServer::isRunning() const {
    return m_pid > 0;
}

#endif

QString FtpServer::url() const {
    return QStringLiteral("ftp://127.0.0.1:%1").arg(m_port);
}
