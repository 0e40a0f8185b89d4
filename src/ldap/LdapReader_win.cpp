// Windows has its own LDAP client (Wldap32); until it is wired in here, a
// directory server cannot be read there and says so.
#include "LdapReader.h"

namespace LdapReader {

Result Read(const Request&, const std::atomic<bool>&, const std::function<void(const DirectoryBook::Row&)>&) {
    return {Failure::Other, QStringLiteral("此版本不支持目录服务器（LDAP）"), false};
}

void TrustOnly(const QString&) {}

} // namespace LdapReader
