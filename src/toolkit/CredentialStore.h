#pragma once

#include <QString>

#include <functional>

// The user's keyring: the Secret Service on Linux desktops, the Credential
// Manager on Windows, the Keychain on macOS. Passwords are kept there under
// this store's service name and a key, never in a file of the program's.
//
// Every call waits for the keyring while letting events through, as a modal
// box does, so anything may run meanwhile (Exit, another command, the store's
// owner going away). `stillWanted` is asked before every wait; once it says
// no, the call answers Abandoned at once and touches nothing of the store.
class CredentialStore {
public:
    enum class Status {
        Ok,          // done; a read has the password
        NotFound,    // the keyring answers but holds nothing under the key
        Unavailable, // no keyring: none running, locked and not unlocked, refused, broken
        Abandoned,   // no longer wanted before the keyring answered
    };
    struct Result {
        Status status = Status::Unavailable;
        QString password; // what a read found
        QString reason;   // the keyring's own words when it failed; never a password
    };
    using StillWanted = std::function<bool()>;

    explicit CredentialStore(const QString& service) : m_service(service) {}

    QString Service() const { return m_service; }

    Result Read(const QString& key, const StillWanted& stillWanted = {}) const;
    // Replaces whatever the key held.
    Result Write(const QString& key, const QString& password, const StillWanted& stillWanted = {}) const;
    Result Remove(const QString& key, const StillWanted& stillWanted = {}) const;

private:
    QString m_service;
};
