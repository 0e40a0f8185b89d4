#include "InetControl.h"

#include <QPointer>

InetControl::InetControl(QObject* parent) : QObject(parent) {}

InetControl::~InetControl() {
    // The worker finishes off whatever still runs; nothing here waits for it.
    if (m_worker)
        m_worker->release();
}

bool InetControl::StillExecuting() const {
    return m_finalPending;
}

QVariant InetControl::GetChunk(int size, int dataType) {
    if (dataType != icString)
        return QVariant();
    if (size <= 0 || m_chunkPos >= m_response.size())
        return QString();
    qsizetype n = qMin<qsizetype>(size, m_response.size() - m_chunkPos);
    if (n > 1 && m_chunkPos + n < m_response.size() && m_response.at(m_chunkPos + n - 1).isHighSurrogate())
        --n;
    const QString piece = m_response.mid(m_chunkPos, n);
    m_chunkPos += n;
    return piece;
}

void InetControl::Cancel() {
    if (m_worker)
        m_worker->cancel();
    m_plan.reset();
    ++m_serial;
    m_finalPending = false;
}

void InetControl::beginRequest() {
    ++m_serial;
    m_finalPending = true;
    m_responseCode = 0;
    m_responseInfo.clear();
    m_failure = FtpFailure::None;
    m_loggedIn = false;
    m_response.clear();
    m_chunkPos = 0;
}

void InetControl::postState(int state) {
    const quint64 serial = m_serial;
    QMetaObject::invokeMethod(
        this, [this, serial, state] { deliver(serial, state, false); }, Qt::QueuedConnection);
}

void InetControl::completeRequest(const QString& response) {
    m_response = response;
    m_chunkPos = 0;
    const quint64 serial = m_serial;
    QMetaObject::invokeMethod(
        this, [this, serial] { deliver(serial, icResponseCompleted, true); }, Qt::QueuedConnection);
}

void InetControl::failRequest(int code, const QString& info) {
    failRequest(code, info, failureForReply(code));
}

void InetControl::failRequest(int code, const QString& info, FtpFailure failure) {
    m_responseCode = code;
    m_responseInfo = hidePasswords(info, {m_password, m_urlPassword});
    m_failure = failure;
    const quint64 serial = m_serial;
    QMetaObject::invokeMethod(
        this, [this, serial] { deliver(serial, icError, true); }, Qt::QueuedConnection);
}

void InetControl::deliver(quint64 serial, int state, bool final) {
    // Events of a cancelled request, and progress after the outcome, are dropped.
    if (serial != m_serial || !m_finalPending)
        return;
    if (final)
        m_finalPending = false;
    QPointer<InetControl> self(this);
    ++m_delivering;
    emit StateChanged(state);
    if (self)
        --m_delivering;
}

FtpError InetControl::Execute(const QString& url, const QString& operation, const QStringList& arguments) {
    if (StillExecuting())
        return {FtpErrors::kStillExecuting, QStringLiteral("仍在执行上一个请求")};
    if (m_protocol != icFTP && m_protocol != icDefault && m_protocol != icUnknown)
        return {FtpErrors::kProtocolNotSupported, QStringLiteral("不支持的协议：") + QString::number(m_protocol)};
    auto plan = std::make_unique<FtpProtocol::Plan>();
    const FtpProtocol::Login login{m_userName, m_password, m_verbatimUser, m_verbatimPassword};
    if (const FtpError refused = m_ftp.prepare(url, operation, arguments, login, m_requestTimeout, *plan))
        return refused;
    m_urlPassword = plan->urlPassword != m_password ? plan->urlPassword : QString();
    if (plan->local) {
        beginRequest();
        completeRequest(QString());
        return {};
    }
    if (!m_worker)
        m_worker = CurlWorker::start(this);
    beginRequest();
    if (!m_worker || !m_worker->submit(m_serial, plan->job)) {
        ++m_serial;
        m_finalPending = false;
        return {FtpErrors::kTransferSetup, QStringLiteral("无法初始化传输")};
    }
    m_plan = std::move(plan);
    postState(icConnecting);
    return {};
}

void InetControl::takeNews() {
    QPointer<InetControl> self(this);
    TransferNews news;
    while (self && m_worker && m_worker->takeNews(news)) {
        if (news.serial != m_serial || !m_plan)
            continue;
        switch (news.kind) {
        case TransferNews::Kind::Replied:
            deliver(m_serial, icConnected, false);
            break;
        case TransferNews::Kind::Moved:
            deliver(m_serial, icReceivingResponse, false);
            break;
        case TransferNews::Kind::Ended:
            conclude(news.outcome);
            break;
        }
    }
}

void InetControl::conclude(const TransferOutcome& outcome) {
    const std::unique_ptr<FtpProtocol::Plan> plan = std::move(m_plan);
    // A complete download has taken the caller's name on the worker already.
    FtpProtocol::Result result = m_ftp.conclude(*plan, outcome);
    m_loggedIn = outcome.loggedIn;
    if (result.failure != FtpFailure::None) {
        m_responseCode = result.code;
        m_responseInfo = hidePasswords(result.info, {m_password, m_urlPassword});
        m_failure = result.failure;
        deliver(m_serial, icError, true);
    } else {
        m_response = result.response;
        m_chunkPos = 0;
        deliver(m_serial, icResponseCompleted, true);
    }
}
