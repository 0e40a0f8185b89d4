#include "FtpProtocol.h"

#include "FtpAddress.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QUrl>

namespace {

using Op = FtpOperation::Verb;

const QString kMask = QStringLiteral("******");

// Where an operation goes, taken apart from the URL it was given.
struct Target {
    QByteArray base; // scheme://host[:port], no credentials
    QString user;
    QString password;
    QString urlDir; // the URL's path: a directory relative to the login directory
    QString owner;  // server and login, to know when the current directory no longer applies
    bool tls = false;
};

// A line break (or NUL) in anything that ends up in an FTP command would let
// it carry a second command of its own.
bool breaksLine(const QString& text) {
    return text.contains(u'\r') || text.contains(u'\n') || text.contains(QChar(0));
}

FtpError invalidOperation(const QString& text) {
    return {FtpErrors::kInvalidOperation, QStringLiteral("无法识别的操作：") + text};
}

FtpError invalidUrl() {
    return {FtpErrors::kInvalidUrl, QStringLiteral("URL 格式不正确")};
}

bool parseTarget(const QString& url, const FtpProtocol::Login& login, Target& t, FtpError& err) {
    const qsizetype sep = url.indexOf(QStringLiteral("://"));
    if (sep <= 0) {
        err = invalidUrl();
        return false;
    }
    const QString scheme = url.left(sep).toLower();
    if (!isFtpScheme(scheme)) {
        err = {FtpErrors::kProtocolNotSupported, QStringLiteral("不支持的协议：") + scheme};
        return false;
    }
    QString rest = url.mid(sep + 3);
    // The control's own credentials are inserted verbatim by the session, so
    // they are stripped by exact match; anything else up to the last '@' of the
    // authority is taken as user[:password]. A password with '/' or '@' in it
    // cannot be told apart from the path in that way, so a control without
    // credentials of its own matches those the session last put into the URL.
    const QString ownPrefix = login.user + u':' + login.password + u'@';
    const QString verbatimPrefix = login.verbatimUser + u':' + login.verbatimPassword + u'@';
    QString urlUser, urlPassword;
    if (!login.user.isEmpty() && rest.startsWith(ownPrefix)) {
        rest = rest.mid(ownPrefix.size());
    } else if (login.user.isEmpty() && !login.verbatimUser.isEmpty() && rest.startsWith(verbatimPrefix)) {
        urlUser = login.verbatimUser;
        urlPassword = login.verbatimPassword;
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
        err = invalidUrl();
        return false;
    }
    QString path = slash < 0 ? QString() : rest.mid(slash + 1);
    while (path.endsWith(u'/') && path.size() > 1)
        path.chop(1);
    if (path == QLatin1String("/"))
        path.clear();
    // ftpes is ftp to libcurl, with TLS required on top.
    const bool explicitTls = scheme == QLatin1String("ftpes");
    t.base = ((explicitTls ? QStringLiteral("ftp") : scheme) + QStringLiteral("://") + hostPort).toUtf8();
    t.tls = scheme != QLatin1String("ftp");
    t.urlDir = QUrl::fromPercentEncoding(path.toUtf8());
    t.user = login.user.isEmpty() ? urlUser : login.user;
    t.password = login.user.isEmpty() ? urlPassword : login.password;
    if (breaksLine(t.urlDir) || breaksLine(t.user) || breaksLine(t.password)) {
        err = invalidUrl();
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

QString lastReply(const QList<QByteArray>& replies, int code) {
    const QByteArray prefix = QByteArray::number(code) + ' ';
    for (qsizetype i = replies.size() - 1; i >= 0; --i) {
        if (replies.at(i).startsWith(prefix))
            return decodeText(replies.at(i));
    }
    return QString();
}

// The code of the last complete reply ("nnn text"), 0 when none came.
int lastReplyCode(const QList<QByteArray>& replies) {
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

// Masks what follows `at` up to `length` characters and answers where to go on.
qsizetype maskAt(QString& text, qsizetype at, qsizetype length) {
    text.replace(at, length, kMask);
    return at + kMask.size();
}

bool userInfoBefore(const QString& text, qsizetype colon) {
    const qsizetype scheme = text.lastIndexOf(QStringLiteral("://"), colon);
    if (scheme < 0)
        return false;
    for (qsizetype i = scheme + 3; i < colon; ++i) {
        const QChar c = text.at(i);
        if (c.isSpace() || c == u'/')
            return false;
    }
    return true;
}

} // namespace

QString hidePasswords(QString text, const QStringList& passwords) {
    // Known passwords first: they may hold '/', '@' or ':', which no reading
    // of the URL's form could place.
    for (const QString& password : passwords) {
        if (password.isEmpty())
            continue;
        const QString inUrl = u':' + password + u'@';
        for (qsizetype at = text.indexOf(inUrl); at >= 0; at = text.indexOf(inUrl, at + 1)) {
            if (userInfoBefore(text, at))
                at = maskAt(text, at + 1, password.size());
        }
        const QString inLogin = QStringLiteral("PASS ") + password;
        for (qsizetype at = text.indexOf(inLogin); at >= 0; at = text.indexOf(inLogin, at + 1)) {
            const qsizetype end = at + inLogin.size();
            if (end == text.size() || text.at(end) == u'\r' || text.at(end) == u'\n')
                at = maskAt(text, at + 5, password.size());
        }
    }
    // Then any other URL's user-info: the authority ends at the first '/' or blank.
    for (qsizetype scheme = text.indexOf(QStringLiteral("://")); scheme >= 0;
         scheme = text.indexOf(QStringLiteral("://"), scheme + 3)) {
        qsizetype end = scheme + 3;
        while (end < text.size() && text.at(end) != u'/' && !text.at(end).isSpace())
            ++end;
        const qsizetype at = text.lastIndexOf(u'@', end - 1);
        if (at <= scheme + 3)
            continue;
        const qsizetype colon = text.indexOf(u':', scheme + 3);
        if (colon < 0 || colon >= at || QStringView(text).mid(colon + 1, at - colon - 1) == kMask)
            continue;
        maskAt(text, colon + 1, at - colon - 1);
    }
    return text;
}

FtpFailure failureForReply(int code) {
    switch (code) {
    case 530:
        return FtpFailure::LoginRefused;
    case 550:
        return FtpFailure::RemoteFileMissing;
    default:
        return FtpFailure::Other;
    }
}

QString partPathFor(const QString& target) {
    const QFileInfo info(target);
    const QString name = info.fileName().startsWith(u'.') ? info.fileName() : u'.' + info.fileName();
    const QString tag = QString::number(QRandomGenerator::global()->generate64(), 36);
    return info.dir().filePath(name + u'.' + tag + QStringLiteral(".part"));
}

FtpError FtpProtocol::prepare(const QString& url, const QString& operation, const QStringList& arguments,
                              const Login& login, int timeoutSeconds, Plan& plan) {
    Target target;
    FtpError err;
    if (!parseTarget(url, login, target, err))
        return err;
    const FtpOperation op = parseOperation(operation, arguments);
    if (!op.valid())
        return invalidOperation(operation);
    plan.operation = op;
    plan.urlPassword = target.password;
    if (target.owner != m_dirOwner) {
        m_dirOwner = target.owner;
        m_currentDir.clear();
    }
    if (op.verb == Op::Quit || op.verb == Op::Close) {
        // Every operation has its own connection, so there is none to close;
        // what goes is the remembered directory.
        m_currentDir.clear();
        plan.local = true;
        return {};
    }

    TransferJob& job = plan.job;
    const QString startDir = m_currentDir.isEmpty() ? target.urlDir : m_currentDir;
    QByteArray requestUrl = target.base + '/';
    QStringList quote;
    if (!startDir.isEmpty())
        quote << QStringLiteral("CWD ") + startDir;
    switch (op.verb) {
    case Op::Get:
        requestUrl += QUrl::toPercentEncoding(op.a, "/");
        job.body = TransferJob::Body::Download;
        plan.target = op.b;
        job.localFile = partPathFor(op.b);
        job.target = op.b;
        break;
    case Op::Put: {
        QFile probe(op.a);
        if (!probe.open(QIODevice::ReadOnly))
            return {FtpErrors::kLocalFile, QStringLiteral("无法打开本地文件：") + op.a};
        requestUrl += QUrl::toPercentEncoding(op.b, "/");
        job.body = TransferJob::Body::Upload;
        job.localFile = op.a;
        break;
    }
    case Op::List:
    case Op::Dir: {
        const QString verb = op.verb == Op::List ? QStringLiteral("NLST") : QStringLiteral("LIST");
        job.listCommand = (op.a.isEmpty() ? verb : verb + u' ' + op.a).toUtf8();
        job.body = TransferJob::Body::Listing;
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
        plan.fallbackDir = joinDir(startDir, op.a);
        break;
    case Op::Cdup:
        quote << QStringLiteral("CDUP") << QStringLiteral("PWD");
        plan.fallbackDir = joinDir(startDir, QStringLiteral(".."));
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
    for (const QString& command : quote) {
        if (breaksLine(command))
            return invalidOperation(operation);
        job.quote << command.toUtf8();
    }
    job.url = requestUrl;
    job.user = target.user.toUtf8();
    job.password = target.password.toUtf8();
    job.timeoutSeconds = timeoutSeconds;
    job.tls = target.tls;
    return {};
}

FtpProtocol::Result FtpProtocol::conclude(const Plan& plan, const TransferOutcome& outcome) {
    Result result;
    const Op verb = plan.operation.verb;
    if (outcome.failure == FtpFailure::None) {
        switch (verb) {
        case Op::Size:
            result.response = lastReply(outcome.replies, 213).mid(4).trimmed();
            break;
        case Op::Pwd:
            result.response = quotedPath(lastReply(outcome.replies, 257));
            break;
        case Op::Cd:
        case Op::Cdup: {
            // The server's word for the new directory is used only when it
            // could not smuggle a command into the next CWD.
            QString dir = quotedPath(lastReply(outcome.replies, 257));
            if (breaksLine(dir))
                dir.clear();
            m_currentDir = dir.isEmpty() ? plan.fallbackDir : dir;
            break;
        }
        case Op::List:
        case Op::Dir:
            result.response = decodeText(outcome.data);
            break;
        default:
            break;
        }
        return result;
    }
    result.failure = outcome.failure;
    if (outcome.local) {
        if (verb == Op::Get) {
            Result written = cannotWrite(plan, outcome.text);
            written.failure = outcome.failure; // disk full stays told apart
            return written;
        }
        result.info = QStringLiteral("无法读取本地文件：") + plan.operation.a + QStringLiteral("（") + outcome.text +
                      QStringLiteral("）");
        return result;
    }
    if (const int code = lastReplyCode(outcome.replies); code >= 400) {
        result.code = code;
        result.info = lastReply(outcome.replies, code);
        // libcurl says "quote command failed" where the server said why.
        const bool aboutAFile = verb == Op::Get || verb == Op::Size || verb == Op::Cd || verb == Op::Delete;
        if (result.failure == FtpFailure::Other && (code == 530 || aboutAFile))
            result.failure = failureForReply(code);
    } else {
        result.info = outcome.text;
    }
    return result;
}

FtpProtocol::Result FtpProtocol::cannotWrite(const Plan& plan, const QString& why) {
    Result result;
    result.failure = FtpFailure::LocalWrite;
    result.info =
        QStringLiteral("无法写入本地文件：") + plan.target + QStringLiteral("（") + why + QStringLiteral("）");
    return result;
}
