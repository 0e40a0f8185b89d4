// Arbitrary server addresses, user names and passwords for the session: the
// `Server` setter and the request URL it builds must not crash and must keep
// their rules. The session's control never touches the network here.
#include "FuzzText.h"
#include "ftp/FtpItem.h"
#include "ftp/InetControl.h"
#include "toolkit/Toolkit.h"

#include <QCoreApplication>

#include <cstdlib>

namespace {

// Refuses every operation, so no command could reach a server.
class OfflineControl : public InetControl {
public:
    FtpError Execute(const QString&, const QString&, const QStringList&) override {
        return {FtpErrors::kTransferSetup, QStringLiteral("offline")};
    }
};

bool isFtpScheme(const QString& scheme) {
    return scheme == QLatin1String("ftp") || scheme == QLatin1String("ftpes") || scheme == QLatin1String("ftps");
}

// "ftp", "ftpes" or "ftps", as the address has it; empty for anything else.
QString ftpScheme(const QString& s) {
    const QString scheme = s.left(s.indexOf(QStringLiteral("://"))).toLower();
    return isFtpScheme(scheme) ? scheme : QString();
}

void check(const QString& address, const QString& user, const QString& password) {
    FtpItem ftp([] { return new OfflineControl; }, FtpItem::Clock());
    if (ftp.Server(address).failed()) {
        // A refused address changes nothing.
        if (!ftp.Server().isEmpty() || !ftp.requestUrl().isEmpty())
            std::abort();
        return;
    }
    const QString server = ftp.Server();
    const QString kept = ftpScheme(server);
    if (kept.isEmpty())
        std::abort();
    // An ftp, ftpes or ftps address is kept as typed; any other gets ftp:// in front
    // of what follows its scheme, or of the whole text when it has none.
    QString head = address;
    const QString scheme = Toolkit::GetBetween(head, QString(), QStringLiteral("://"), false).toLower();
    if (isFtpScheme(scheme)) {
        if (server != address)
            std::abort();
    } else {
        const qsizetype sep = address.indexOf(QStringLiteral("://"));
        const QString rest = sep < 0 ? address : address.mid(sep + 3);
        if (server != QStringLiteral("ftp://") + rest)
            std::abort();
    }
    if (ftp.requestUrl() != server.toLower())
        std::abort();
    // Normalising twice changes nothing.
    if (ftp.Server(server).failed() || ftp.Server() != server)
        std::abort();

    ftp.Password(password);
    if (ftp.requestUrl() != server.toLower()) // a password alone is never used
        std::abort();
    ftp.UserName(user);
    const QString url = ftp.requestUrl();
    if (user.isEmpty()) {
        if (url != server.toLower())
            std::abort();
    } else {
        const QString prefix = kept + QStringLiteral("://") + user + u':' + password + u'@';
        if (!url.startsWith(prefix) || url.mid(prefix.size()) != server.toLower().mid(kept.size() + 3))
            std::abort();
    }
    // The control refuses, and the session records that without trying anything else.
    ftp.PWD();
    if (ftp.Status() != FtpItem::Failed || ftp.OptStatus() != FtpErrors::kTransferSetup)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    return 0;
}

// Three texts separated by NUL bytes (a NUL cannot come from a prompt): the
// address, then the user name and the password.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = fuzzText(data, size);
    const QStringList parts = text.split(QChar(0));
    check(parts.value(0), parts.value(1), parts.value(2));
    return 0;
}
