#include "FtpLogin.h"

#include "ftp/FtpAddress.h"
#include "toolkit/AppInfo.h"
#include "toolkit/Dialogs.h"

#include <utility>

namespace {
const QString kPasswordPrompt = QStringLiteral("FTP密码（%1）：");
const QString kDirectoryPasswordPrompt = QStringLiteral("目录服务器密码（%1）：");
const QString kNoKeyring = QStringLiteral("没有可用的密钥环：密码只用于这次下载，不会保存，下次下载时会再次询问。");

// By custom these users need no password: they are never asked for one.
bool isAnonymous(const QString& user) {
    return user.compare(QLatin1String("anonymous"), Qt::CaseInsensitive) == 0 ||
           user.compare(QLatin1String("ftp"), Qt::CaseInsensitive) == 0;
}
} // namespace

FtpLogin::FtpLogin(Dialogs& dialogs) : m_dialogs(dialogs) {}

CredentialStore FtpLogin::Keyring() {
    return CredentialStore(AppInfo::Title());
}

FtpLogin::Account FtpLogin::AccountOf(const FtpAddress& address) {
    return {address.User(), address.LoginKey(), address.HasPassword(), address.Password()};
}

bool FtpLogin::Password(const Account& address, const QString& title, const CredentialStore::StillWanted& stillWanted,
                        QString& password) {
    password.clear();
    m_pendingKey.clear();
    m_pendingPassword.clear();
    // Without a user name the session logs in anonymously: a password has no use.
    if (address.user.isEmpty())
        return true;
    const QString key = address.key;
    // Read for a typed password too: whether a keyring is there is told now, before the transfer.
    const CredentialStore::Result stored = Keyring().Read(key, stillWanted);
    if (stored.status == CredentialStore::Status::Abandoned)
        return false;
    if (address.hasPassword) {
        password = address.password;
        if (stored.status == CredentialStore::Status::Unavailable)
            return tellNoKeyring(title, stillWanted);
        if (stored.status != CredentialStore::Status::Ok || stored.password != password) {
            m_pendingKey = key;
            m_pendingPassword = password;
        }
        return true;
    }
    if (stored.status == CredentialStore::Status::Ok) {
        password = stored.password;
        return true;
    }
    if (!address.directory && isAnonymous(address.user))
        return true;
    QString answer;
    const QString prompt = (address.directory ? kDirectoryPasswordPrompt : kPasswordPrompt).arg(key);
    const bool ok = m_dialogs.Password(title, prompt, answer);
    if (!ok || (stillWanted && !stillWanted()))
        return false;
    password = answer;
    if (stored.status != CredentialStore::Status::NotFound)
        return tellNoKeyring(title, stillWanted);
    m_pendingKey = key;
    m_pendingPassword = password;
    return true;
}

bool FtpLogin::Settle(bool accepted, const QString& title, const CredentialStore::StillWanted& stillWanted) {
    const QString key = std::exchange(m_pendingKey, QString());
    const QString password = std::exchange(m_pendingPassword, QString());
    if (!accepted || key.isEmpty())
        return true;
    const CredentialStore::Result kept = Keyring().Write(key, password, stillWanted);
    if (kept.status == CredentialStore::Status::Abandoned)
        return false;
    if (kept.status == CredentialStore::Status::Ok)
        return true;
    qWarning("mirodex: the keyring cannot keep the FTP password: %s", qPrintable(kept.reason));
    return tellNoKeyring(title, stillWanted);
}

bool FtpLogin::tellNoKeyring(const QString& title, const CredentialStore::StillWanted& stillWanted) {
    if (m_toldNoKeyring)
        return true;
    m_toldNoKeyring = true;
    m_dialogs.Notice(title, kNoKeyring);
    return !stillWanted || stillWanted();
}
