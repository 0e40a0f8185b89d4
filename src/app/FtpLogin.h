#pragma once

#include "toolkit/CredentialStore.h"

#include <QString>

class Dialogs;
class FtpAddress;

// The password of the server address the download prompt was answered with.
// The settings only ever keep the address without it: a password typed into
// the address goes to the user's keyring, keyed by user, host and port, and an
// address with a user name alone takes it back from there, or asks for it
// (and keeps the answer) where the keyring has none. A typed password is kept
// only once the server has accepted it, so a mistyped one never replaces the
// right one. Without a keyring a password serves the one download it was typed
// for and is kept nowhere; the user is told so once.
class FtpLogin {
public:
    // Who logs in where, as any kind of server address gives it.
    struct Account {
        QString user; // empty: anonymous
        QString key;  // "user@host:port", the keyring's key
        bool hasPassword = false;
        QString password;       // typed into the address
        bool directory = false; // a directory server's bind name: no anonymous FTP names, its own prompt
    };
    static Account AccountOf(const FtpAddress& address);

    explicit FtpLogin(Dialogs& dialogs);

    // The password to log in to `address` with, in `password` ("" for none).
    // Prompts are headed `title`. A password just typed waits for Settle.
    // False when the user cancelled, or `stillWanted` said no during a wait:
    // the object may be gone by then.
    bool Password(const Account& account, const QString& title, const CredentialStore::StillWanted& stillWanted,
                  QString& password);
    // After the transfer: keeps the password just typed when the server
    // `accepted` it, and forgets it either way. False when no longer wanted.
    bool Settle(bool accepted, const QString& title, const CredentialStore::StillWanted& stillWanted);

    // Where the program keeps its logins.
    static CredentialStore Keyring();

private:
    bool tellNoKeyring(const QString& title, const CredentialStore::StillWanted& stillWanted);

    Dialogs& m_dialogs;
    bool m_toldNoKeyring = false;
    QString m_pendingKey; // a typed password and its key, until the server has had its say
    QString m_pendingPassword;
};
