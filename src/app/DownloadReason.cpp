#include "DownloadReason.h"

namespace {
const QString kRefused = QStringLiteral("连接被拒绝：服务器没有接受连接");
const QString kHostNotFound = QStringLiteral("找不到服务器，请检查服务器地址");
const QString kLoginRefused = QStringLiteral("用户名或密码错误");
const QString kNewPassword = QStringLiteral("（密码已更改时，请按 ftp://用户名:新密码@服务器 输入服务器地址）");
const QString kRemoteMissing = QStringLiteral("服务器上没有该文件：%1");
const QString kTimedOut = QStringLiteral("超时：服务器%1秒没有响应");
const QString kDiskFull = QStringLiteral("磁盘已满，无法写入 %1");
const QString kLocalWrite = QStringLiteral("无法写入本地文件：%1");
const QString kServerSaid = QStringLiteral("服务器返回错误：%1");
const QString kUntrusted = QStringLiteral("服务器证书不受信任：%1");
const QString kNoTls = QStringLiteral("服务器不支持加密连接（FTP over TLS）");
const QString kTlsRequired = QStringLiteral("服务器要求加密连接，请按 ftpes://服务器 输入服务器地址（%1）");
const QString kTransferError = QStringLiteral("传输出错");
const QString kUnreachable = QStringLiteral("无法连接目录服务器");
const QString kNoSuchBase = QStringLiteral("目录服务器上没有该条目：%1");
const QString kNoEntries = QStringLiteral("目录服务器没有返回任何有姓名的条目，公共电话簿未更改");

// Servers that want TLS before the login say so in their refusal ("530
// Non-anonymous sessions must use encryption", "SSL/TLS required ...").
bool asksForTls(const QString& reply) {
    for (const char* word : {"TLS", "SSL", "encrypt"})
        if (reply.contains(QLatin1String(word), Qt::CaseInsensitive))
            return true;
    return false;
}

// The system's own words in brackets after `text`, where there are some.
QString withWords(const QString& text, const QString& words) {
    return words.trimmed().isEmpty() ? text : text + QStringLiteral("（") + words.trimmed() + QStringLiteral("）");
}
} // namespace

namespace DownloadReason {

QString TransferFailure(const Facts& facts, const FtpItem::Failure& failure) {
    switch (failure.kind) {
    case FtpFailure::ConnectionRefused:
        return kRefused;
    case FtpFailure::HostNotFound:
        return kHostNotFound;
    case FtpFailure::LoginRefused:
        if (asksForTls(failure.serverReply))
            return kTlsRequired.arg(failure.serverReply.trimmed());
        // A password kept from an earlier download may be the stale one.
        return facts.withPassword ? kLoginRefused + kNewPassword : kLoginRefused;
    case FtpFailure::UntrustedCertificate:
        return kUntrusted.arg(failure.detail.trimmed());
    case FtpFailure::NoTls:
        return kNoTls;
    case FtpFailure::RemoteFileMissing:
        return kRemoteMissing.arg(facts.remoteFile);
    case FtpFailure::TimedOut:
        return kTimedOut.arg(facts.timeout);
    case FtpFailure::DiskFull:
        return kDiskFull.arg(facts.localPath);
    case FtpFailure::LocalWrite:
        return kLocalWrite.arg(facts.localPath);
    case FtpFailure::None:
    case FtpFailure::Other:
        break;
    }
    if (!failure.serverReply.trimmed().isEmpty())
        return kServerSaid.arg(failure.serverReply.trimmed());
    return withWords(kTransferError, failure.detail);
}

QString DirectoryFailure(const Facts& facts, const LdapReader::Result& result, const QString& base) {
    using LdapReader::Failure;
    switch (result.failure) {
    case Failure::Unreachable:
        return withWords(kUnreachable, result.words);
    case Failure::BindRefused:
        return withWords(kLoginRefused, result.words);
    case Failure::UntrustedCertificate:
        return kUntrusted.arg(result.words.trimmed());
    case Failure::NoSuchBase:
        return kNoSuchBase.arg(base);
    case Failure::TimedOut:
        return kTimedOut.arg(facts.timeout);
    case Failure::None:
    case Failure::Cancelled:
    case Failure::Other:
        break;
    }
    if (!result.words.trimmed().isEmpty())
        return kServerSaid.arg(result.words.trimmed());
    return kTransferError;
}

QString DirectoryEmpty() {
    return kNoEntries;
}

QString LocalFailure(const Facts& facts, const QString& error, bool diskFull) {
    return diskFull ? kDiskFull.arg(facts.localPath) : withWords(kLocalWrite.arg(facts.localPath), error);
}

} // namespace DownloadReason
