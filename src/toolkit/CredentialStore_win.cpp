#include "CredentialStore.h"

#include <windows.h>
// After windows.h, which it builds on.
#include <wincred.h>

#include <string>

// Windows keeps the passwords in its Credential Manager, one generic
// credential per key, named "<service>/<key>". The calls answer at once, so
// there is no wait during which the caller could go away; it is asked once
// before the call.

namespace {

using Result = CredentialStore::Result;
using Status = CredentialStore::Status;

std::wstring targetName(const QString& service, const QString& key) {
    return (service + u'/' + key).toStdWString();
}

QString systemMessage(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    QString message =
        length ? QString::fromWCharArray(text, int(length)).trimmed() : QStringLiteral("Windows error %1").arg(code);
    LocalFree(text);
    return message;
}

Result failure(DWORD code) {
    if (code == ERROR_NOT_FOUND)
        return {Status::NotFound, QString(), QString()};
    // No logon session (a service account), a policy that forbids saving: the
    // password cannot be kept.
    return {Status::Unavailable, QString(), systemMessage(code)};
}

bool abandoned(const CredentialStore::StillWanted& stillWanted) {
    return stillWanted && !stillWanted();
}

} // namespace

Result CredentialStore::Read(const QString& key, const StillWanted& stillWanted) const {
    if (abandoned(stillWanted))
        return {Status::Abandoned, QString(), QString()};
    PCREDENTIALW credential = nullptr;
    if (!CredReadW(targetName(m_service, key).c_str(), CRED_TYPE_GENERIC, 0, &credential))
        return failure(GetLastError());
    Result result{Status::Ok, QString(), QString()};
    result.password = QString::fromUtf16(reinterpret_cast<const char16_t*>(credential->CredentialBlob),
                                         qsizetype(credential->CredentialBlobSize / sizeof(char16_t)));
    SecureZeroMemory(credential->CredentialBlob, credential->CredentialBlobSize);
    CredFree(credential);
    return result;
}

Result CredentialStore::Write(const QString& key, const QString& password, const StillWanted& stillWanted) const {
    if (abandoned(stillWanted))
        return {Status::Abandoned, QString(), QString()};
    const qsizetype bytes = password.size() * qsizetype(sizeof(char16_t));
    if (bytes > CRED_MAX_CREDENTIAL_BLOB_SIZE)
        return {Status::Unavailable, QString(),
                QStringLiteral("the Credential Manager keeps at most %1 characters")
                    .arg(CRED_MAX_CREDENTIAL_BLOB_SIZE / sizeof(char16_t))};
    std::wstring target = targetName(m_service, key);
    std::wstring user = key.toStdWString();
    CREDENTIALW credential{};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = target.data();
    credential.UserName = user.data();
    // This computer only: an FTP password is no business of other machines in a domain.
    credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
    credential.CredentialBlobSize = DWORD(bytes);
    credential.CredentialBlob = reinterpret_cast<LPBYTE>(const_cast<QChar*>(password.constData()));
    if (!CredWriteW(&credential, 0))
        return failure(GetLastError());
    return {Status::Ok, QString(), QString()};
}

Result CredentialStore::Remove(const QString& key, const StillWanted& stillWanted) const {
    if (abandoned(stillWanted))
        return {Status::Abandoned, QString(), QString()};
    if (!CredDeleteW(targetName(m_service, key).c_str(), CRED_TYPE_GENERIC, 0))
        return failure(GetLastError());
    return {Status::Ok, QString(), QString()};
}
