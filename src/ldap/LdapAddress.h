#pragma once

#include <QString>
#include <QStringList>

// A directory server address as a user types it:
// "ldap[s]://[user[:password]@]host[:port]/<base DN>?<attributes>?<scope>?<filter>?<extensions>",
// the LDAP URL form with a login in front of the host. The base DN, the
// filter, the user and the extensions' values are percent-decoded. The
// scope defaults to the whole subtree ("sub"): a phone book wants every
// entry below the base, not the base alone. The filter defaults to
// "(objectClass=*)".
class LdapAddress {
public:
    enum class Scope { Base, One, Sub };

    explicit LdapAddress(const QString& text);

    // True for an ldap:// or ldaps:// address, valid or not.
    static bool isLdap(const QString& text);

    // Empty when the address can be used, else why not (plain Chinese).
    QString Problem() const { return m_problem; }

    bool Tls() const { return m_tls; }
    QString Host() const { return m_host; } // as typed, lower case; IPv6 in brackets
    int Port() const { return m_port; }
    // "ldap://host:port" or "ldaps://host:port": where to connect.
    QString ServerUri() const;
    QString BaseDn() const { return m_baseDn; }
    // The attributes the address lists, in order; may be empty or hold empty names.
    QStringList Attributes() const { return m_attributes; }
    Scope SearchScope() const { return m_scope; }
    QString Filter() const { return m_filter; }

    // Who binds: the "bindname" extension, else the user part; empty for an anonymous bind.
    QString BindName() const { return m_bindName; }
    bool HasPassword() const { return m_hasPassword; }
    QString Password() const { return m_password; }
    // Who binds where: "bind name@host:port", as the keyring keys it.
    QString LoginKey() const;

private:
    void parse(const QString& text);

    QString m_problem;
    bool m_tls = false;
    QString m_host;
    int m_port = 389;
    QString m_baseDn;
    QStringList m_attributes;
    Scope m_scope = Scope::Sub;
    QString m_filter = QStringLiteral("(objectClass=*)");
    QString m_bindName;
    bool m_hasPassword = false;
    QString m_password;
};
