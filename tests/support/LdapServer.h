#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A real OpenLDAP server (slapd) on 127.0.0.1 and a free port, with its own
// configuration and database in a fresh temporary folder, loaded with slapadd
// from the people a test gives. Everyone may read; a person with a password
// may bind as themselves. Stopped when destroyed.
class LdapServer {
public:
    static constexpr const char* kBase = "dc=example,dc=com";
    static constexpr const char* kPeople = "ou=people,dc=example,dc=com";

    struct Options {
        // Entries a plain search returns at most; a paged search gets all (as
        // Active Directory does). 0: no limit.
        int sizeLimit = 0;
        // Entries a paged search returns at most, all pages together (then
        // the search ends in "size limit exceeded"). 0: no limit.
        int pagedLimit = 0;
        // An ldaps:// port too, with a certificate made for 127.0.0.1 at start
        // that nothing trusts unless a test says so.
        bool tls = false;
    };

    // One person below kPeople, as LDIF: "uid=<uid>" and the attributes
    // ("name: value" lines; objectClass extensibleObject allows any).
    static QByteArray person(const QString& uid, const QStringList& attributes);
    // The DN of that person.
    static QString dnOf(const QString& uid);

    LdapServer();
    explicit LdapServer(const Options& options);
    ~LdapServer();
    LdapServer(const LdapServer&) = delete;
    LdapServer& operator=(const LdapServer&) = delete;

    // Loads `people` (LDIF of person()s) below kPeople, starts the server and
    // waits for its ports; false with the reason in `error`.
    bool start(const QByteArray& people, QString* error = nullptr);
    // Ends the server at once (its ports then refuse connections).
    void kill();

    // "ldap://127.0.0.1:<port>" and, with the tls option, "ldaps://127.0.0.1:<port>".
    QString url() const;
    QString tlsUrl() const;
    // The server's certificate (PEM) with the tls option, for a test to trust.
    QString certificate() const { return m_dir.filePath(QStringLiteral("cert.pem")); }

private:
    Options m_options;
    QTemporaryDir m_dir;
    qint64 m_pid = -1; // the running slapd
    quint16 m_port = 0;
    quint16 m_tlsPort = 0;
};
