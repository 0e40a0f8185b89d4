#include "LdapServer.h"

#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <vector>

#if !defined(_WIN32)
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
qint64 spawn(const QString&, const QStringList&) {
    return -1;
}
bool finished(qint64, int* status) {
    *status = -1;
    return true;
}
void end(qint64) {}
#else
// Processes are started with a plain fork and exec: under ThreadSanitizer a
// QProcess child runs uninstrumented code on the parent's state (see FtpServer).
qint64 spawn(const QString& program, const QStringList& args) {
    TestSupport::ExecArgs exec(QFile::encodeName(program), args);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Their chatter would bury the test's own output.
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
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
QString run(const QString& program, const QStringList& args) {
    const qint64 pid = spawn(program, args);
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
        const QString made =
            run(QStringLiteral(MIRODEX_PYTHON), {QStringLiteral("-c"),
                                                 QStringLiteral("import sys; sys.path.insert(0, sys.argv[1]); "
                                                                "from ftp_server import make_certificate; "
                                                                "make_certificate(sys.argv[2])"),
                                                 QStringLiteral(MIRODEX_TEST_SUPPORT_DIR), dir});
        if (!made.isEmpty())
            return fail(made);
    }
    QByteArray conf = "include /etc/ldap/schema/core.schema\n"
                      "include /etc/ldap/schema/cosine.schema\n"
                      "include /etc/ldap/schema/inetorgperson.schema\n"
                      "include /etc/ldap/schema/nis.schema\n"
                      "include /etc/ldap/schema/msuser.schema\n"
                      "modulepath /usr/lib/ldap\n"
                      "moduleload back_mdb\n"
                      "pidfile " +
                      QFile::encodeName(dir) + "/slapd.pid\n";
    if (m_options.tls)
        conf += "TLSCertificateFile " + QFile::encodeName(dir) + "/cert.pem\nTLSCertificateKeyFile " +
                QFile::encodeName(dir) + "/key.pem\n";
    conf += "database mdb\nsuffix \"" + QByteArray(kBase) + "\"\ndirectory " + QFile::encodeName(dir) +
            "/db\nmaxsize 1073741824\n";
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
    if (const QString loaded = run(QStringLiteral("/usr/sbin/slapadd"), {QStringLiteral("-q"), QStringLiteral("-f"),
                                                                         confPath, QStringLiteral("-l"), ldifPath});
        !loaded.isEmpty())
        return fail(loaded);

    m_port = freePort();
    QString listen = QStringLiteral("ldap://127.0.0.1:%1/").arg(m_port);
    if (m_options.tls) {
        m_tlsPort = freePort();
        listen += QStringLiteral(" ldaps://127.0.0.1:%1/").arg(m_tlsPort);
    }
    // "-d 0": in the foreground, so the process is the server.
    m_pid = spawn(QStringLiteral("/usr/sbin/slapd"), {QStringLiteral("-f"), confPath, QStringLiteral("-h"), listen,
                                                      QStringLiteral("-d"), QStringLiteral("0")});
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
