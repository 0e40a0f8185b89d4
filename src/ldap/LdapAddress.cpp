#include "LdapAddress.h"

#include <QUrl>

namespace {
const QString kBadScheme = QStringLiteral("目录服务器地址应以 ldap:// 或 ldaps:// 开头");
const QString kNoHost = QStringLiteral("目录服务器地址中没有服务器名");
const QString kBadPort = QStringLiteral("目录服务器地址中的端口无效：%1");
const QString kBadScope = QStringLiteral("目录服务器地址中的搜索范围无效：%1（可用 base、one、sub）");
const QString kTooManyParts = QStringLiteral("目录服务器地址中的“?”太多");
const QString kCritical = QStringLiteral("目录服务器地址要求不支持的扩展：%1");

QString decoded(const QString& text) {
    return QUrl::fromPercentEncoding(text.toUtf8());
}
} // namespace

bool LdapAddress::isLdap(const QString& text) {
    const QString t = text.trimmed();
    return t.startsWith(QLatin1String("ldap://"), Qt::CaseInsensitive) ||
           t.startsWith(QLatin1String("ldaps://"), Qt::CaseInsensitive);
}

LdapAddress::LdapAddress(const QString& text) {
    parse(text.trimmed());
}

void LdapAddress::parse(const QString& text) {
    const qsizetype sep = text.indexOf(QLatin1String("://"));
    const QString scheme = sep < 0 ? QString() : text.left(sep).toLower();
    if (scheme != QLatin1String("ldap") && scheme != QLatin1String("ldaps")) {
        m_problem = kBadScheme;
        return;
    }
    m_tls = scheme == QLatin1String("ldaps");
    m_port = m_tls ? 636 : 389;
    const QString rest = text.mid(sep + 3);
    qsizetype hostEnd = rest.indexOf(u'/');
    if (const qsizetype query = rest.indexOf(u'?'); query >= 0 && (hostEnd < 0 || query < hostEnd))
        hostEnd = query;
    if (hostEnd < 0)
        hostEnd = rest.size();
    // The login ends at the last '@' before the path, as in a server address for FTP.
    QString hostPort = rest.left(hostEnd);
    const qsizetype at = hostPort.lastIndexOf(u'@');
    if (at >= 0) {
        const QString login = hostPort.left(at);
        const qsizetype colon = login.indexOf(u':');
        m_hasPassword = colon >= 0;
        m_bindName = decoded(m_hasPassword ? login.left(colon) : login);
        m_password = m_hasPassword ? decoded(login.mid(colon + 1)) : QString();
        hostPort = hostPort.mid(at + 1);
    }
    // An IPv6 host is bracketed and full of ':'; its port follows the ']'.
    const qsizetype close = hostPort.startsWith(u'[') ? hostPort.indexOf(u']') : -1;
    const qsizetype colon = hostPort.indexOf(u':', close < 0 ? 0 : close);
    m_host = (colon < 0 ? hostPort : hostPort.left(colon)).toLower();
    if (m_host.isEmpty() || m_host == QLatin1String("[]")) {
        m_problem = kNoHost;
        return;
    }
    if (colon >= 0 && colon + 1 < hostPort.size()) {
        bool ok = false;
        const int port = hostPort.mid(colon + 1).toInt(&ok);
        if (!ok || port <= 0 || port > 65535) {
            m_problem = kBadPort.arg(hostPort.mid(colon + 1));
            return;
        }
        m_port = port;
    }

    QString path = rest.mid(hostEnd);
    if (path.startsWith(u'/'))
        path.remove(0, 1);
    const QStringList parts = path.split(u'?');
    if (parts.size() > 5) {
        m_problem = kTooManyParts;
        return;
    }
    m_baseDn = decoded(parts.value(0));
    if (!parts.value(1).isEmpty())
        for (const QString& name : parts[1].split(u','))
            m_attributes << decoded(name).trimmed();
    const QString scope = parts.value(2).toLower();
    if (scope == QLatin1String("base"))
        m_scope = Scope::Base;
    else if (scope == QLatin1String("one"))
        m_scope = Scope::One;
    else if (scope.isEmpty() || scope == QLatin1String("sub"))
        m_scope = Scope::Sub;
    else {
        m_problem = kBadScope.arg(parts[2]);
        return;
    }
    if (const QString filter = decoded(parts.value(3)).trimmed(); !filter.isEmpty())
        m_filter = filter;
    // Extensions are separated by ',' (a comma inside a value is written %2C).
    if (!parts.value(4).isEmpty()) {
        for (const QString& extension : parts[4].split(u',')) {
            const bool critical = extension.startsWith(u'!');
            const QString body = critical ? extension.mid(1) : extension;
            const qsizetype eq = body.indexOf(u'=');
            const QString type = decoded(eq < 0 ? body : body.left(eq)).trimmed();
            if (type.compare(QLatin1String("bindname"), Qt::CaseInsensitive) == 0) {
                m_bindName = decoded(eq < 0 ? QString() : body.mid(eq + 1));
                continue;
            }
            if (critical) {
                m_problem = kCritical.arg(type);
                return;
            }
        }
    }
}

QString LdapAddress::ServerUri() const {
    return (m_tls ? QStringLiteral("ldaps://") : QStringLiteral("ldap://")) + m_host + u':' + QString::number(m_port);
}

QString LdapAddress::LoginKey() const {
    return m_bindName + u'@' + m_host + u':' + QString::number(m_port);
}
