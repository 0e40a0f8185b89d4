#include "LdapServer.h"

#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <vector>

#if defined(_WIN32)
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <map>
#include <memory>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

// A port nothing listens on now; slapd takes it a moment later.
quint16 freePort() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

bool accepts(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(200);
}

#if defined(_WIN32)
// A Windows program under Wine cannot start Linux programs: the test broker
// outside Wine (MIRODEX_TEST_FTP_BROKER) runs them, in `dir`, and says when
// they end. A process here is its connection to the broker.
std::map<qint64, std::unique_ptr<QTcpSocket>> brokered;
qint64 lastBrokered = 0;

qint64 spawn(const QString& program, const QStringList& args, const QString& dir) {
    const QString broker = qEnvironmentVariable("MIRODEX_TEST_FTP_BROKER");
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QStringLiteral("127.0.0.1"), quint16(broker.section(u':', -1).toUInt()));
    if (broker.isEmpty() || !socket->waitForConnected(10000))
        return -1;
    const QJsonObject request{{QStringLiteral("run"), QJsonArray::fromStringList(QStringList{program} + args)},
                              {QStringLiteral("cwd"), dir}};
    socket->write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    while (!socket->canReadLine())
        if (!socket->waitForReadyRead(15000))
            return -1;
    if (socket->readLine().trimmed() != "started")
        return -1;
    brokered[++lastBrokered] = std::move(socket);
    return lastBrokered;
}
// True once `pid` has ended, with its exit status (-1: killed or not started).
bool finished(qint64 pid, int* status) {
    const auto it = brokered.find(pid);
    *status = -1;
    if (it == brokered.end())
        return true;
    QTcpSocket& socket = *it->second;
    socket.waitForReadyRead(0);
    if (!socket.canReadLine())
        return socket.state() != QAbstractSocket::ConnectedState;
    const QByteArray line = socket.readLine().trimmed();
    *status = line.startsWith("exited ") ? line.mid(7).toInt() : -1;
    brokered.erase(it);
    return true;
}
void end(qint64 pid) {
    const auto it = brokered.find(pid);
    if (it == brokered.end())
        return;
    // Answered once the process is gone, so its ports refuse from here on.
    it->second->write("kill\n");
    while (it->second->waitForReadyRead(5000) && !it->second->canReadLine()) {
    }
    brokered.erase(it);
}
#else
// Processes are started with a plain fork and exec: under ThreadSanitizer a
// QProcess child runs uninstrumented code on the parent's state (see FtpServer).
qint64 spawn(const QString& program, const QStringList& args, const QString& dir) {
    TestSupport::ExecArgs exec(QFile::encodeName(program), args);
    const QByteArray where = QFile::encodeName(dir);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Their chatter would bury the test's own output.
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        if (::chdir(where.constData()) == 0)
            ::execv(exec.argv[0], exec.argv.data());
        ::_exit(127);
    }
    return pid;
}
// True once `pid` has ended, with its exit status (-1: killed or not started).
bool finished(qint64 pid, int* status) {
    int raw = 0;
    if (pid <= 0 || ::waitpid(pid_t(pid), &raw, WNOHANG) == 0)
        return pid <= 0 ? (*status = -1, true) : false;
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return true;
}
void end(qint64 pid) {
    ::kill(pid_t(pid), SIGKILL);
    ::waitpid(pid_t(pid), nullptr, 0);
}
#endif

// Runs a tool to its end; empty when it worked, else what failed.
QString run(const QString& program, const QStringList& args, const QString& dir) {
    const qint64 pid = spawn(program, args, dir);
    QElapsedTimer clock;
    clock.start();
    int status = -1;
    while (!finished(pid, &status)) {
        if (clock.hasExpired(120000)) {
            end(pid);
            return program + QStringLiteral(" did not finish");
        }
        QThread::msleep(10);
    }
    return status == 0 ? QString() : program + QStringLiteral(" failed (status %1)").arg(status);
}

} // namespace

QByteArray LdapServer::person(const QString& uid, const QStringList& attributes) {
    QByteArray ldif = "dn: " + dnOf(uid).toUtf8() +
                      "\nobjectClass: account\nobjectClass: extensibleObject\nuid: " + uid.toUtf8() + '\n';
    for (const QString& line : attributes)
        ldif += line.toUtf8() + '\n';
    return ldif + '\n';
}

QString LdapServer::dnOf(const QString& uid) {
    return QStringLiteral("uid=") + uid + u',' + QLatin1String(kPeople);
}

LdapServer::LdapServer() : LdapServer(Options()) {}

LdapServer::LdapServer(const Options& options) : m_options(options) {}

LdapServer::~LdapServer() {
    kill();
}

bool LdapServer::start(const QByteArray& people, QString* error) {
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        kill();
        return false;
    };
    if (!m_dir.isValid() || !QDir(m_dir.path()).mkdir(QStringLiteral("db")))
        return fail(QStringLiteral("no temporary folder"));
    const QString dir = m_dir.path();
    if (m_options.tls) {
        // The FTP fixture's certificate maker serves here too.
        const QString made = run(QStringLiteral(MIRODEX_PYTHON),
                                 {QStringLiteral("-c"),
                                  QStringLiteral("import sys; sys.path.insert(0, sys.argv[1]); "
                                                 "from ftp_server import make_certificate; "
                                                 "make_certificate(sys.argv[2])"),
                                  QStringLiteral(MIRODEX_TEST_SUPPORT_DIR), dir},
                                 dir);
        if (!made.isEmpty())
            return fail(made);
    }
    // Paths are relative to the folder the tools run in, which a Windows
    // test names otherwise than slapd does.
    QByteArray conf = "include /etc/ldap/schema/core.schema\n"
                      "include /etc/ldap/schema/cosine.schema\n"
                      "include /etc/ldap/schema/inetorgperson.schema\n"
                      "include /etc/ldap/schema/nis.schema\n"
                      "include /etc/ldap/schema/msuser.schema\n"
                      "modulepath /usr/lib/ldap\n"
                      "moduleload back_mdb\n"
                      "pidfile slapd.pid\n";
    if (m_options.tls)
        conf += "TLSCertificateFile cert.pem\nTLSCertificateKeyFile key.pem\n";
    conf += "database mdb\nsuffix \"" + QByteArray(kBase) + "\"\ndirectory db\nmaxsize 1073741824\n";
    const auto limit = [](int n) { return n > 0 ? QByteArray::number(n) : QByteArray("unlimited"); };
    conf += "sizelimit size.soft=" + limit(m_options.sizeLimit) + " size.hard=" + limit(m_options.sizeLimit) +
            " size.pr=unlimited size.prtotal=" + limit(m_options.pagedLimit) + '\n';
    conf += "access to attrs=userPassword by anonymous auth by * none\naccess to * by * read\n";
    const QString confPath = dir + QStringLiteral("/slapd.conf");
    const QString ldifPath = dir + QStringLiteral("/people.ldif");
    TestSupport::writeFile(confPath, conf);
    TestSupport::writeFile(ldifPath, "dn: " + QByteArray(kBase) +
                                         "\nobjectClass: dcObject\nobjectClass: organization\ndc: example\no: "
                                         "Example\n\ndn: " +
                                         QByteArray(kPeople) + "\nobjectClass: organizationalUnit\nou: people\n\n" +
                                         people);
    if (const QString loaded =
            run(QStringLiteral("/usr/sbin/slapadd"),
                {QStringLiteral("-q"), QStringLiteral("-f"), confPath, QStringLiteral("-l"), ldifPath}, dir);
        !loaded.isEmpty())
        return fail(loaded);

    m_port = freePort();
    QString listen = QStringLiteral("ldap://127.0.0.1:%1/").arg(m_port);
    if (m_options.tls) {
        m_tlsPort = freePort();
        listen += QStringLiteral(" ldaps://127.0.0.1:%1/").arg(m_tlsPort);
    }
    // "-d 0": in the foreground, so the process is the server.
    m_pid = spawn(
        QStringLiteral("/usr/sbin/slapd"),
        {QStringLiteral("-f"), confPath, QStringLiteral("-h"), listen, QStringLiteral("-d"), QStringLiteral("0")}, dir);
    if (m_pid <= 0)
        return fail(QStringLiteral("cannot start slapd"));
    QElapsedTimer clock;
    clock.start();
    while (!accepts(m_port) || (m_options.tls && !accepts(m_tlsPort))) {
        int status = 0;
        if (finished(m_pid, &status) || clock.hasExpired(15000))
            return fail(QStringLiteral("slapd did not come up on %1").arg(listen));
        QThread::msleep(20);
    }
    return true;
}

void LdapServer::kill() {
    if (m_pid <= 0)
        return;
    end(m_pid);
    m_pid = -1;
}

QString LdapServer::url() const {
    return QStringLiteral("ldap://127.0.0.1:%1").arg(m_port);
}

QString LdapServer::tlsUrl() const {
    return QStringLiteral("ldaps://127.0.0.1:%1").arg(m_tlsPort);
}
