#pragma once

#include <QString>

// A failure handed back instead of thrown: number 0 means "no error". The
// numbers and texts are what a user sees in "(number) description" messages.
struct FtpError {
    int number = 0;
    QString description;

    bool failed() const { return number != 0; }
    explicit operator bool() const { return failed(); }
};

namespace FtpErrors {
// Run-time errors of the session itself.
constexpr int kOverflow = 6;
constexpr int kTypeMismatch = 13;
constexpr int kObjectNotSet = 91;
// Refusals of the transfer control's Execute.
constexpr int kInvalidUrl = 35750;
constexpr int kProtocolNotSupported = 35751;
constexpr int kInvalidOperation = 35752;
constexpr int kLocalFile = 35753;
constexpr int kTransferSetup = 35754;
constexpr int kStillExecuting = 35764;
} // namespace FtpErrors

// What kind of failure a command had, so a caller can tell the user why.
enum class FtpFailure {
    None,
    ConnectionRefused,    // nothing accepts connections at the server's address
    HostNotFound,         // the server's name does not resolve
    LoginRefused,         // the server refused the user name or password
    RemoteFileMissing,    // the server has no such file (or folder)
    TimedOut,             // no data moved and no reply came for RequestTimeout seconds
    LocalWrite,           // the local file could not be created or written
    DiskFull,             // the same, because the local disk is full
    UntrustedCertificate, // the server's certificate is not trusted, or not made for its name
    NoTls,                // the server offers no TLS where the address asks for it
    Other,                // anything else: a refused request, a protocol error, ...
};
