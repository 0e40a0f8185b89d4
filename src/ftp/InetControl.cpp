#include "InetControl.h"

#include "FtpOperation.h"

#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QPointer>
#include <QSocketNotifier>
#include <QStringDecoder>
#include <QTimer>
#include <QUrl>

#include <curl/curl.h>

#include <map>

namespace {

using Op = FtpOperation::Verb;

// Where an operation goes, taken apart from the URL it was given.
struct Target {
    QByteArray base; // scheme://host[:port], no credentials
    QString user;
    QString password;
    QString urlDir; // the URL's path: a directory relative to the login directory
    QString owner;  // server and login, to know when the current directory no longer applies
};

// A line break (or NUL) in anything that ends up in an FTP command would let
// it carry a second command of its own.
bool breaksLine(const QString& text) {
    return text.contains(u'\r') || text.contains(u'\n') || text.contains(QChar(0));
}

FtpError invalidOperation(const QString& text) {
    return {FtpErrors::kInvalidOperation, QStringLiteral("无法识别的操作：") + text};
}

// `verbatimUser`/`verbatimPassword`: credentials a caller is known to put into
// its URLs as they are; with them the URL's credentials are found by exact match
// even when the control has none of its own.
bool parseTarget(const QString& url, const QString& ctlUser, const QString& ctlPassword, const QString& verbatimUser,
                 const QString& verbatimPassword, Target& t, FtpError& err) {
    const qsizetype sep = url.indexOf(QStringLiteral("://"));
    if (sep <= 0) {
        err = {FtpErrors::kInvalidUrl, QStringLiteral("URL 格式不正确")};
        return false;
    }
    const QString scheme = url.left(sep).toLower();
    if (scheme != QLatin1String("ftp") && scheme != QLatin1String("ftps")) {
        err = {FtpErrors::kProtocolNotSupported, QStringLiteral("不支持的协议：") + scheme};
        return false;
    }
    QString rest = url.mid(sep + 3);
    // The control's own credentials are inserted verbatim by the session, so
    // they are stripped by exact match; anything else up to the last '@' of the
    // authority is taken as user[:password]. A password with '/' or '@' in it
    // cannot be told apart from the path in that way, so a control without
    // credentials of its own matches those the session last put into the URL.
    const QString ownPrefix = ctlUser + u':' + ctlPassword + u'@';
    const QString verbatimPrefix = verbatimUser + u':' + verbatimPassword + u'@';
    QString urlUser, urlPassword;
    if (!ctlUser.isEmpty() && rest.startsWith(ownPrefix)) {
        rest = rest.mid(ownPrefix.size());
    } else if (ctlUser.isEmpty() && !verbatimUser.isEmpty() && rest.startsWith(verbatimPrefix)) {
        urlUser = verbatimUser;
        urlPassword = verbatimPassword;
        rest = rest.mid(verbatimPrefix.size());
    } else {
        const qsizetype slash = rest.indexOf(u'/');
        const qsizetype at = rest.left(slash < 0 ? rest.size() : slash).lastIndexOf(u'@');
        if (at >= 0) {
            const QString info = rest.left(at);
            const qsizetype colon = info.indexOf(u':');
            urlUser = colon < 0 ? info : info.left(colon);
            urlPassword = colon < 0 ? QString() : info.mid(colon + 1);
            rest = rest.mid(at + 1);
        }
    }
    const qsizetype slash = rest.indexOf(u'/');
    const QString hostPort = slash < 0 ? rest : rest.left(slash);
    static const QString forbidden = QStringLiteral(" ?#@\\\t\r\n");
    bool clean = !hostPort.isEmpty();
    for (QChar c : hostPort)
        clean = clean && !forbidden.contains(c) && c.unicode() >= 0x20;
    if (!clean) {
        err = {FtpErrors::kInvalidUrl, QStringLiteral("URL 格式不正确")};
        return false;
    }
    QString path = slash < 0 ? QString() : rest.mid(slash + 1);
    while (path.endsWith(u'/') && path.size() > 1)
        path.chop(1);
    if (path == QLatin1String("/"))
        path.clear();
    t.base = (scheme + QStringLiteral("://") + hostPort).toUtf8();
    t.urlDir = QUrl::fromPercentEncoding(path.toUtf8());
    if (ctlUser.isEmpty()) {
        t.user = urlUser;
        t.password = urlPassword;
    } else {
        t.user = ctlUser;
        t.password = ctlPassword;
    }
    if (breaksLine(t.urlDir) || breaksLine(t.user) || breaksLine(t.password)) {
        err = {FtpErrors::kInvalidUrl, QStringLiteral("URL 格式不正确")};
        return false;
    }
    t.owner = scheme + QStringLiteral("://") + t.user + u'@' + hostPort.toLower() + u'/' + t.urlDir;
    return true;
}

QString decodeText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder gbk("GBK");
    return gbk.isValid() ? gbk(bytes) : QString::fromLatin1(bytes);
}

// The path in a "257" reply: between the first quote and the next lone quote,
// with doubled quotes standing for one.
QString quotedPath(const QString& reply) {
    const qsizetype open = reply.indexOf(u'"');
    if (open < 0)
        return QString();
    QString out;
    for (qsizetype i = open + 1; i < reply.size(); ++i) {
        if (reply.at(i) != u'"') {
            out += reply.at(i);
        } else if (i + 1 < reply.size() && reply.at(i + 1) == u'"') {
            out += u'"';
            ++i;
        } else {
            return out;
        }
    }
    return QString();
}

QString joinDir(const QString& dir, const QString& name) {
    if (name.startsWith(u'/') || dir.isEmpty())
        return name;
    return dir.endsWith(u'/') ? dir + name : dir + u'/' + name;
}

const char* curlProtocols() {
    return "ftp,ftps";
}

} // namespace

struct InetControl::Transfer {
    InetControl* control = nullptr;
    FtpOperation operation;
    CURL* easy = nullptr;
    curl_slist* quote = nullptr;
    QFile file;
    bool fileOpened = false;
    QString localError;
    QByteArray data;
    QList<QByteArray> replies;
    QString fallbackDir;
    bool sawReply = false;
    bool quitting = false; // replies to the closing QUIT say nothing about the operation
    QElapsedTimer progress;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    ~Transfer() {
        if (easy)
            curl_easy_cleanup(easy);
        curl_slist_free_all(quote);
    }

    QString lastReply(int code) const {
        const QByteArray prefix = QByteArray::number(code) + ' ';
        for (qsizetype i = replies.size() - 1; i >= 0; --i) {
            if (replies.at(i).startsWith(prefix))
                return decodeText(replies.at(i));
        }
        return QString();
    }

    // The code of the last complete reply ("nnn text"), 0 when none came.
    int lastReplyCode() const {
        for (qsizetype i = replies.size() - 1; i >= 0; --i) {
            const QByteArray& line = replies.at(i);
            if (line.size() >= 4 && line.at(3) == ' ') {
                bool ok = false;
                const int code = line.left(3).toInt(&ok);
                if (ok)
                    return code;
            }
        }
        return 0;
    }

    bool receive(const char* bytes, size_t length) {
        if (progress.isValid() && progress.elapsed() >= 250) {
            control->postState(InetControl::icReceivingResponse);
            progress.restart();
        }
        if (operation.verb != Op::Get) {
            data.append(bytes, qsizetype(length));
            return true;
        }
        if (!fileOpened && !openLocal())
            return false;
        if (file.write(bytes, qint64(length)) != qint64(length)) {
            localError = QStringLiteral("无法写入本地文件：") + file.fileName() + QStringLiteral("（") +
                         file.errorString() + QStringLiteral("）");
            return false;
        }
        return true;
    }

    // Opened on the first data, so a missing remote file leaves no local one.
    bool openLocal() {
        fileOpened = true;
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return true;
        localError = QStringLiteral("无法写入本地文件：") + file.fileName() + QStringLiteral("（") +
                     file.errorString() + QStringLiteral("）");
        return false;
    }
};

struct InetControl::Private {
    explicit Private(InetControl* q) : q(q) {
        static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
        if (initialised)
            multi = curl_multi_init();
        if (!multi)
            return;
        curl_multi_setopt(multi, CURLMOPT_SOCKETFUNCTION, &Private::onSocket);
        curl_multi_setopt(multi, CURLMOPT_SOCKETDATA, this);
        curl_multi_setopt(multi, CURLMOPT_TIMERFUNCTION, &Private::onTimer);
        curl_multi_setopt(multi, CURLMOPT_TIMERDATA, this);
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, q, [this] { act(CURL_SOCKET_TIMEOUT, 0); });
    }

    ~Private() {
        dropTransfer();
        if (multi)
            curl_multi_cleanup(multi);
        for (auto& [socket, pair] : watches) {
            delete pair.first;
            delete pair.second;
        }
    }

    static int onSocket(CURL*, curl_socket_t socket, int what, void* userp, void*) {
        auto* self = static_cast<Private*>(userp);
        if (what == CURL_POLL_REMOVE)
            self->unwatch(socket);
        else
            self->watch(socket, what);
        return 0;
    }

    static int onTimer(CURLM*, long timeoutMs, void* userp) {
        auto* self = static_cast<Private*>(userp);
        if (timeoutMs < 0)
            self->timer.stop();
        else
            self->timer.start(int(qMin<long>(timeoutMs, INT_MAX)));
        return 0;
    }

    QSocketNotifier* notifier(curl_socket_t socket, QSocketNotifier::Type type, int event) {
        auto* n = new QSocketNotifier(qintptr(socket), type, q);
        n->setEnabled(false);
        QObject::connect(n, &QSocketNotifier::activated, q, [this, socket, event] {
            ++inNotifier;
            act(socket, event);
            --inNotifier;
        });
        return n;
    }

    void watch(curl_socket_t socket, int what) {
        auto& pair = watches[socket];
        if (!pair.first)
            pair.first = notifier(socket, QSocketNotifier::Read, CURL_CSELECT_IN);
        if (!pair.second)
            pair.second = notifier(socket, QSocketNotifier::Write, CURL_CSELECT_OUT);
        pair.first->setEnabled(what == CURL_POLL_IN || what == CURL_POLL_INOUT);
        pair.second->setEnabled(what == CURL_POLL_OUT || what == CURL_POLL_INOUT);
    }

    void unwatch(curl_socket_t socket) {
        auto it = watches.find(socket);
        if (it == watches.end())
            return;
        for (QSocketNotifier* n : {it->second.first, it->second.second}) {
            n->setEnabled(false);
            // The notifier may be the one whose signal is running right now.
            if (inNotifier > 0)
                n->deleteLater();
            else
                delete n;
        }
        watches.erase(it);
    }

    void act(curl_socket_t socket, int events) {
        if (!multi)
            return;
        int running = 0;
        curl_multi_socket_action(multi, socket, events, &running);
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
            if (msg->msg == CURLMSG_DONE && transfer && msg->easy_handle == transfer->easy) {
                const CURLcode result = msg->data.result;
                q->finishTransfer(int(result));
                break;
            }
        }
    }

    void dropTransfer() {
        if (!transfer)
            return;
        curl_multi_remove_handle(multi, transfer->easy);
        transfer.reset();
    }

    InetControl* q;
    CURLM* multi = nullptr;
    QTimer timer;
    std::map<curl_socket_t, std::pair<QSocketNotifier*, QSocketNotifier*>> watches;
    std::unique_ptr<Transfer> transfer;
    int inNotifier = 0;
};

InetControl::InetControl(QObject* parent) : QObject(parent), d(std::make_unique<Private>(this)) {}

InetControl::~InetControl() {
    d.reset();
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
    d->dropTransfer();
    ++m_serial;
    m_finalPending = false;
}

void InetControl::beginRequest() {
    ++m_serial;
    m_finalPending = true;
    m_responseCode = 0;
    m_responseInfo.clear();
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
    m_responseCode = code;
    m_responseInfo = scrub(info);
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

QString InetControl::scrub(QString text) const {
    for (const QString& secret : {m_password, m_urlPassword}) {
        if (!secret.isEmpty())
            text.replace(secret, QStringLiteral("******"));
    }
    return text;
}

FtpError InetControl::Execute(const QString& url, const QString& operation) {
    if (StillExecuting())
        return {FtpErrors::kStillExecuting, QStringLiteral("仍在执行上一个请求")};
    if (m_protocol != icFTP && m_protocol != icDefault && m_protocol != icUnknown)
        return {FtpErrors::kProtocolNotSupported, QStringLiteral("不支持的协议：") + QString::number(m_protocol)};
    return startTransfer(url, operation);
}

FtpError InetControl::startTransfer(const QString& url, const QString& operation) {
    Target target;
    FtpError err;
    if (!parseTarget(url, m_userName, m_password, m_verbatimUser, m_verbatimPassword, target, err))
        return err;
    m_urlPassword = target.password != m_password ? target.password : QString();
    const FtpOperation op = parseOperation(operation);
    if (!op.valid())
        return invalidOperation(operation);
    if (target.owner != m_dirOwner) {
        m_dirOwner = target.owner;
        m_currentDir.clear();
    }
    const QString startDir = m_currentDir.isEmpty() ? target.urlDir : m_currentDir;

    if (op.verb == Op::Quit || op.verb == Op::Close) {
        // Every operation has its own connection, so there is none to close;
        // what goes is the remembered directory.
        m_currentDir.clear();
        beginRequest();
        completeRequest(QString());
        return {};
    }
    if (!d->multi)
        return {FtpErrors::kTransferSetup, QStringLiteral("无法初始化传输")};

    auto t = std::make_unique<Transfer>();
    t->control = this;
    t->operation = op;
    t->easy = curl_easy_init();
    if (!t->easy)
        return {FtpErrors::kTransferSetup, QStringLiteral("无法初始化传输")};
    CURL* e = t->easy;

    QByteArray requestUrl = target.base + '/';
    QStringList quote;
    if (!startDir.isEmpty())
        quote << QStringLiteral("CWD ") + startDir;
    bool noBody = true;
    switch (op.verb) {
    case Op::Get:
        requestUrl += QUrl::toPercentEncoding(op.a, "/");
        t->file.setFileName(op.b);
        noBody = false;
        break;
    case Op::Put: {
        t->file.setFileName(op.a);
        if (!t->file.open(QIODevice::ReadOnly))
            return {FtpErrors::kLocalFile, QStringLiteral("无法打开本地文件：") + op.a};
        requestUrl += QUrl::toPercentEncoding(op.b, "/");
        curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, curl_off_t(t->file.size()));
        // The session looks at the sockets only every few milliseconds; a
        // larger buffer keeps uploads from being paced by that.
        curl_easy_setopt(e, CURLOPT_UPLOAD_BUFFERSIZE, 1024L * 1024L);
        noBody = false;
        break;
    }
    case Op::List:
    case Op::Dir: {
        const QString verb = op.verb == Op::List ? QStringLiteral("NLST") : QStringLiteral("LIST");
        const QByteArray request = (op.a.isEmpty() ? verb : verb + u' ' + op.a).toUtf8();
        curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, request.constData());
        noBody = false;
        break;
    }
    case Op::Size:
        // pyftpdlib and others refuse SIZE in ASCII mode.
        quote << QStringLiteral("TYPE I") << QStringLiteral("SIZE ") + op.a;
        break;
    case Op::Pwd:
        quote << QStringLiteral("PWD");
        break;
    case Op::Cd:
        quote << QStringLiteral("CWD ") + op.a << QStringLiteral("PWD");
        t->fallbackDir = joinDir(startDir, op.a);
        break;
    case Op::Cdup:
        quote << QStringLiteral("CDUP") << QStringLiteral("PWD");
        t->fallbackDir = joinDir(startDir, QStringLiteral(".."));
        break;
    case Op::Mkdir:
        quote << QStringLiteral("MKD ") + op.a;
        break;
    case Op::Rmdir:
        quote << QStringLiteral("RMD ") + op.a;
        break;
    case Op::Delete:
        quote << QStringLiteral("DELE ") + op.a;
        break;
    case Op::Rename:
        quote << QStringLiteral("RNFR ") + op.a << QStringLiteral("RNTO ") + op.b;
        break;
    case Op::Invalid:
    case Op::Quit:
    case Op::Close:
        break;
    }
    for (const QString& command : quote)
        if (breaksLine(command))
            return invalidOperation(operation);
    for (const QString& command : quote)
        t->quote = curl_slist_append(t->quote, command.toUtf8().constData());

    curl_easy_setopt(e, CURLOPT_URL, requestUrl.constData());
#if LIBCURL_VERSION_NUM >= 0x075500
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, curlProtocols());
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, curlProtocols());
#else
    curl_easy_setopt(e, CURLOPT_PROTOCOLS, long(CURLPROTO_FTP | CURLPROTO_FTPS));
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS, long(CURLPROTO_FTP | CURLPROTO_FTPS));
#endif
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    // One connection per operation: the directory set by a quoted CWD must not
    // leak into libcurl's own bookkeeping of a reused connection.
    curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, 1L);
    // Names go to the server exactly as given, relative to the current directory.
    curl_easy_setopt(e, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_NOCWD));
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t->errorBuffer);
    curl_easy_setopt(e, CURLOPT_NOBODY, noBody ? 1L : 0L);
    if (t->quote)
        curl_easy_setopt(e, CURLOPT_QUOTE, t->quote);
    if (!target.user.isEmpty()) {
        curl_easy_setopt(e, CURLOPT_USERNAME, target.user.toUtf8().constData());
        curl_easy_setopt(e, CURLOPT_PASSWORD, target.password.toUtf8().constData());
    }
    if (m_requestTimeout > 0) {
        const long seconds = m_requestTimeout;
        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, seconds);
        curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT, seconds);
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, seconds);
    }
    curl_easy_setopt(
        e, CURLOPT_HEADERFUNCTION, +[](char* bytes, size_t size, size_t count, void* userp) -> size_t {
            auto* tr = static_cast<Transfer*>(userp);
            if (tr->quitting)
                return size * count;
            QByteArray line(bytes, qsizetype(size * count));
            while (line.endsWith('\n') || line.endsWith('\r'))
                line.chop(1);
            tr->replies.append(line);
            if (!tr->sawReply) {
                tr->sawReply = true;
                tr->control->postState(icConnected);
            }
            return size * count;
        });
    curl_easy_setopt(e, CURLOPT_HEADERDATA, t.get());
    // The only way to see which command a reply belongs to; nothing is printed.
    curl_easy_setopt(e, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(
        e, CURLOPT_DEBUGFUNCTION, +[](CURL*, curl_infotype type, char* bytes, size_t size, void* userp) -> int {
            if (type == CURLINFO_HEADER_OUT && size >= 4 && qstrnicmp(bytes, "QUIT", 4) == 0)
                static_cast<Transfer*>(userp)->quitting = true;
            return 0;
        });
    curl_easy_setopt(e, CURLOPT_DEBUGDATA, t.get());
    curl_easy_setopt(
        e, CURLOPT_WRITEFUNCTION, +[](char* bytes, size_t size, size_t count, void* userp) -> size_t {
            return static_cast<Transfer*>(userp)->receive(bytes, size * count) ? size * count : 0;
        });
    curl_easy_setopt(e, CURLOPT_WRITEDATA, t.get());
    if (op.verb == Op::Put) {
        curl_easy_setopt(
            e, CURLOPT_READFUNCTION, +[](char* buffer, size_t size, size_t count, void* userp) -> size_t {
                auto* tr = static_cast<Transfer*>(userp);
                const qint64 got = tr->file.read(buffer, qint64(size * count));
                if (got < 0) {
                    tr->localError = QStringLiteral("无法读取本地文件：") + tr->file.fileName();
                    return CURL_READFUNC_ABORT;
                }
                return size_t(got);
            });
        curl_easy_setopt(e, CURLOPT_READDATA, t.get());
    }
    t->progress.start();

    beginRequest();
    d->transfer = std::move(t);
    if (curl_multi_add_handle(d->multi, e) != CURLM_OK) {
        d->transfer.reset();
        ++m_serial;
        m_finalPending = false;
        return {FtpErrors::kTransferSetup, QStringLiteral("无法初始化传输")};
    }
    postState(icConnecting);
    return {};
}

void InetControl::finishTransfer(int curlCode) {
    std::unique_ptr<Transfer> t = std::move(d->transfer);
    const CURLcode result = CURLcode(curlCode);
    curl_multi_remove_handle(d->multi, t->easy);

    // The file is closed before anyone hears of the outcome.
    if (t->operation.verb == Op::Get) {
        if (result == CURLE_OK && !t->fileOpened)
            t->openLocal(); // an empty remote file still gives a local one
        if (t->file.isOpen() && !t->file.flush() && t->localError.isEmpty())
            t->localError = QStringLiteral("无法写入本地文件：") + t->file.fileName();
    }
    t->file.close();

    if (result == CURLE_OK && t->localError.isEmpty()) {
        QString response;
        switch (t->operation.verb) {
        case Op::Size:
            response = t->lastReply(213).mid(4).trimmed();
            break;
        case Op::Pwd:
            response = quotedPath(t->lastReply(257));
            break;
        case Op::Cd:
        case Op::Cdup: {
            // The server's word for the new directory is used only when it
            // could not smuggle a command into the next CWD.
            QString dir = quotedPath(t->lastReply(257));
            if (breaksLine(dir))
                dir.clear();
            m_currentDir = dir.isEmpty() ? t->fallbackDir : dir;
            break;
        }
        case Op::List:
        case Op::Dir:
            response = decodeText(t->data);
            break;
        default:
            break;
        }
        completeRequest(response);
        return;
    }
    if (!t->localError.isEmpty()) {
        failRequest(0, t->localError);
    } else if (const int code = t->lastReplyCode(); code >= 400) {
        failRequest(code, t->lastReply(code));
    } else {
        const QString text = QString::fromUtf8(t->errorBuffer);
        failRequest(0, text.isEmpty() ? QString::fromUtf8(curl_easy_strerror(result)) : text);
    }
}
