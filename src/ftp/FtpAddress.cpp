#include "FtpAddress.h"

bool isFtpScheme(const QString& scheme) {
    return scheme == QLatin1String("ftp") || scheme == QLatin1String("ftpes") || scheme == QLatin1String("ftps");
}

FtpAddress::FtpAddress(const QString& text) : m_text(text) {
    const qsizetype sep = text.indexOf(QStringLiteral("://"));
    if (sep >= 0) {
        m_scheme = text.left(sep).toLower();
        m_loginStart = sep + 3;
    }
    const qsizetype slash = text.indexOf(u'/', m_loginStart);
    m_hostEnd = slash < 0 ? text.size() : slash;
    const qsizetype at = text.left(m_hostEnd).lastIndexOf(u'@');
    if (at < m_loginStart)
        return;
    m_at = at;
    const QString login = text.mid(m_loginStart, at - m_loginStart);
    const qsizetype colon = login.indexOf(u':');
    m_hasPassword = colon >= 0;
    m_user = m_hasPassword ? login.left(colon) : login;
    m_password = m_hasPassword ? login.mid(colon + 1) : QString();
}

QString FtpAddress::WithoutPassword() const {
    if (!m_hasPassword)
        return m_text;
    return m_text.left(m_loginStart + m_user.size()) + m_text.mid(m_at);
}

QString FtpAddress::WithoutLogin() const {
    if (m_at < 0)
        return m_text;
    return m_text.left(m_loginStart) + m_text.mid(m_at + 1);
}

QString FtpAddress::LoginKey() const {
    const qsizetype hostStart = m_at < 0 ? m_loginStart : m_at + 1;
    const QString hostPort = m_text.mid(hostStart, m_hostEnd - hostStart).toLower();
    // An IPv6 host is bracketed and full of ':'; its port follows the ']'.
    const qsizetype close = hostPort.startsWith(u'[') ? hostPort.indexOf(u']') : -1;
    const qsizetype colon = hostPort.indexOf(u':', close < 0 ? 0 : close);
    QString host = colon < 0 ? hostPort : hostPort.left(colon);
    QString port = colon < 0 ? QString() : hostPort.mid(colon + 1);
    if (port.isEmpty())
        port = m_scheme == QLatin1String("ftps") ? QStringLiteral("990") : QStringLiteral("21");
    return m_user + u'@' + host + u':' + port;
}
