#include "SingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

const QByteArray kShowRequest = QByteArrayLiteral("show\n");
const QByteArray kShownReply = QByteArrayLiteral("shown\n");

constexpr int kConnectMs = 1000;
constexpr int kReplyMs = 5000;
// Two starts at once (a double click on the launcher) take turns here.
constexpr int kLockMs = 5000;

QString userTag() {
#ifdef Q_OS_UNIX
    return QString::number(::getuid());
#else
    return qEnvironmentVariable("USERNAME");
#endif
}

void warn(const QString& text) {
    std::fputs((QStringLiteral("mirodex: ") + text + u'\n').toLocal8Bit().constData(), stderr);
}

} // namespace

SingleInstance::SingleInstance(const QString& name, QObject* parent)
    : QObject(parent), m_name(name.isEmpty() ? defaultName() : name) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultName() {
    const QString base = QStringLiteral("mirodex-") + userTag();
#ifndef Q_OS_WIN
    // Windows names a pipe, with no folder to put it in.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime + u'/' + base;
#endif
    return base;
}

bool SingleInstance::isListening() const {
    return m_server && m_server->isListening();
}

bool SingleInstance::claim() {
    const QString lockPath =
        (QFileInfo(m_name).isAbsolute() ? m_name : QDir::tempPath() + u'/' + m_name) + QStringLiteral(".lock");
    QLockFile lock(lockPath);
    if (!lock.tryLock(kLockMs))
        warn(QStringLiteral("could not lock %1; going on without it").arg(lockPath));

    if (askRunningToShow())
        return false;

    // Nobody answered: a socket left behind by a copy that crashed is stale.
    QLocalServer::removeServer(m_name);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    if (!m_server->listen(m_name))
        warn(QStringLiteral("cannot listen on %1 (%2); a second start will not find this one")
                 .arg(m_name, m_server->errorString()));
    return true;
}

bool SingleInstance::askRunningToShow() {
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(kConnectMs))
        return false;
#ifdef Q_OS_WIN
    // Windows lets only the process the user just started take the foreground;
    // this start hands that right to the running copy.
    AllowSetForegroundWindow(ASFW_ANY);
#endif
    socket.write(kShowRequest);
    if (!socket.waitForBytesWritten(kConnectMs))
        return false;
    // The reply says the window is up; a copy busy in a long command still gets
    // the request later, so no reply is not a reason to start a second copy.
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(kReplyMs)) {
            warn(QStringLiteral("the running copy did not answer; it will show its window when it can"));
            break;
        }
    }
    socket.disconnectFromServer();
    return true;
}

void SingleInstance::onNewConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        if (socket->canReadLine())
            onReadyRead(socket);
    }
}

void SingleInstance::onReadyRead(QLocalSocket* socket) {
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine(64);
        if (line == kShowRequest) {
            emit showRequested();
            socket->write(kShownReply);
            socket->flush();
        }
    }
    // Whatever else arrives is not ours to answer.
    if (socket->bytesAvailable() > 64)
        socket->abort();
}
