#pragma once

#include "DirectoryBook.h"

#include <QString>

#include <atomic>
#include <functional>

class LdapAddress;

// Reads every entry an address names from its directory server: a simple
// bind (anonymous without a bind name), then a search in pages of 1000
// (the paged-results control), so neither a server's size limit nor Active
// Directory's page size cuts the result short. Blocking: it runs off the
// window's thread and looks at `stop` at least every 100 ms.
namespace LdapReader {

enum class Failure {
    None,
    Unreachable,          // nothing answers at the server's address
    BindRefused,          // the server refused the bind name or password
    UntrustedCertificate, // the server's certificate is not trusted, or not made for its name
    NoSuchBase,           // the server has no entry at the base DN
    TimedOut,             // nothing came from the server for the time allowed
    Cancelled,            // `stop` was set
    Other,                // anything else; `words` holds what the server or library said
};

struct Result {
    Failure failure = Failure::None;
    QString words;      // the server's or the library's own words about a failure
    bool bound = false; // the bind succeeded (the password, if any, was right)
};

struct Request {
    const LdapAddress& address;
    QString password;
    DirectoryBook::FieldAttributes fields;
    int timeoutSeconds = 30; // longest time without a message from the server
};

// Hands each entry's fields (the first value of the first attribute of a
// field that has one, as UTF-8 text) to `take`.
Result Read(const Request& request, const std::atomic<bool>& stop,
            const std::function<void(const DirectoryBook::Row&)>& take);

// Tests trust this CA file alone instead of the system's store; empty: the system's store again.
void TrustOnly(const QString& caFile);

} // namespace LdapReader
