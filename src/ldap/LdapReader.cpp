// Every call into the LDAP client library lives in this file.
#include "LdapReader.h"

#include "LdapAddress.h"

#include <QElapsedTimer>
#include <QFile>

#include <ldap.h>

#include <sys/socket.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace LdapReader {

namespace {

constexpr int kPageSize = 1000;
constexpr int kLookEveryUs = 100 * 1000;

std::mutex trustMutex;
QByteArray trustedFile;

QString words(LDAP* ld, int code) {
    QString text = QString::fromUtf8(ldap_err2string(code));
    char* diagnostic = nullptr;
    if (ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &diagnostic) == LDAP_OPT_SUCCESS && diagnostic) {
        const QString more = QString::fromUtf8(diagnostic).trimmed();
        if (!more.isEmpty())
            text += QStringLiteral(": ") + more;
        ldap_memfree(diagnostic);
    }
    return text;
}

// Whether ldap.conf (or the user's ldaprc) names the certificates to trust.
bool configuredStore() {
    bool named = false;
    for (const int option : {LDAP_OPT_X_TLS_CACERTFILE, LDAP_OPT_X_TLS_CACERTDIR}) {
        char* value = nullptr;
        if (ldap_get_option(nullptr, option, &value) == LDAP_OPT_SUCCESS && value) {
            named = named || value[0] != '\0';
            ldap_memfree(value);
        }
    }
    return named;
}

class Session {
public:
    Session(const Request& request, const std::atomic<bool>& stop) : m_request(request), m_stop(stop) {}
    ~Session() {
        if (m_ld)
            ldap_unbind_ext_s(m_ld, nullptr, nullptr);
    }

    Result run(const std::function<void(const DirectoryBook::Row&)>& take);

private:
    // Connecting and the TLS handshake block inside libldap, out of reach of
    // `stop`: a watch shuts the session's socket down when `stop` is set, so
    // the blocked call returns at once.
    void watchStop();
    static int socketAdded(LDAP*, Sockbuf* sb, LDAPURLDesc*, sockaddr*, ldap_conncb* context);
    static void socketRemoved(LDAP*, Sockbuf* sb, ldap_conncb* context);

    bool open();
    bool bind();
    bool searchPage(berval& cookie, const std::function<void(const DirectoryBook::Row&)>& take);
    // The next message of `msgid` into `message`; false (and m_result set)
    // when the read was stopped, timed out or the connection failed.
    bool next(int msgid, LDAPMessage*& message);
    bool fail(Failure failure, const QString& text) {
        m_result.failure = failure;
        m_result.words = text;
        return false;
    }
    // A failed call: its code says which failure it was.
    bool failWith(int code);
    bool connectsUnchecked();
    void setCommonOptions(LDAP* ld);

    const Request& m_request;
    const std::atomic<bool>& m_stop;
    LDAP* m_ld = nullptr;
    Result m_result;
    QElapsedTimer m_sinceProgress;
    std::vector<QByteArray> m_attributeNames;
    std::vector<char*> m_attributes;
    std::mutex m_socketMutex; // guards the two below, so a closed socket's number is never shut down
    int m_socket = -1;
    bool m_finished = false;
    std::condition_variable m_finishedChanged;
    ldap_conncb m_callbacks{&Session::socketAdded, &Session::socketRemoved, this};
};

int Session::socketAdded(LDAP*, Sockbuf* sb, LDAPURLDesc*, sockaddr*, ldap_conncb* context) {
    auto* self = static_cast<Session*>(context->lc_arg);
    int fd = -1;
    ber_sockbuf_ctrl(sb, LBER_SB_OPT_GET_FD, &fd);
    std::lock_guard lock(self->m_socketMutex);
    self->m_socket = fd;
    return 0;
}

void Session::socketRemoved(LDAP*, Sockbuf* sb, ldap_conncb* context) {
    auto* self = static_cast<Session*>(context->lc_arg);
    if (!sb)
        return; // the handle itself goes
    std::lock_guard lock(self->m_socketMutex);
    self->m_socket = -1;
}

void Session::watchStop() {
    std::unique_lock lock(m_socketMutex);
    while (!m_finished) {
        if (m_stop.load()) {
            if (m_socket >= 0)
                ::shutdown(m_socket, SHUT_RDWR);
            return;
        }
        m_finishedChanged.wait_for(lock, std::chrono::milliseconds(20));
    }
}

bool Session::failWith(int code) {
    if (m_stop.load())
        return fail(Failure::Cancelled, QString());
    const QString text = words(m_ld, code);
    switch (code) {
    case LDAP_SERVER_DOWN:
    case LDAP_CONNECT_ERROR:
        // libldap reports a refused certificate as a failed connection, with
        // words that do not say so: a handshake that works unchecked tells.
        if (m_request.address.Tls() && !m_result.bound && connectsUnchecked())
            return fail(Failure::UntrustedCertificate, m_request.address.ServerUri());
        return fail(Failure::Unreachable, text);
    case LDAP_TIMEOUT:
        return fail(Failure::TimedOut, text);
    case LDAP_NO_SUCH_OBJECT:
        return fail(Failure::NoSuchBase, text);
    default:
        return fail(Failure::Other, text);
    }
}

void Session::setCommonOptions(LDAP* ld) {
    const int version = LDAP_VERSION3;
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    // Active Directory refers to its other partitions; they hold no one else.
    ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    // The connection and the TLS handshake block; this bounds them.
    timeval network{m_request.timeoutSeconds, 0};
    ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &network);
}

bool Session::connectsUnchecked() {
    LDAP* probe = nullptr;
    const QByteArray uri = m_request.address.ServerUri().toUtf8();
    if (m_stop.load() || ldap_initialize(&probe, uri.constData()) != LDAP_SUCCESS)
        return false;
    setCommonOptions(probe);
    const int never = LDAP_OPT_X_TLS_NEVER;
    ldap_set_option(probe, LDAP_OPT_X_TLS_REQUIRE_CERT, &never);
    const int client = 0;
    ldap_set_option(probe, LDAP_OPT_X_TLS_NEWCTX, &client);
    const bool connected = ldap_connect(probe) == LDAP_SUCCESS;
    ldap_unbind_ext_s(probe, nullptr, nullptr);
    return connected;
}

bool Session::open() {
    const QByteArray uri = m_request.address.ServerUri().toUtf8();
    if (const int rc = ldap_initialize(&m_ld, uri.constData()); rc != LDAP_SUCCESS) {
        m_ld = nullptr;
        return fail(Failure::Other, QString::fromUtf8(ldap_err2string(rc)));
    }
    setCommonOptions(m_ld);
    ldap_set_option(m_ld, LDAP_OPT_CONNECT_CB, &m_callbacks);
    if (m_request.address.Tls()) {
        // Certificate and host name checked, whatever a user's ldaprc says.
        const int demand = LDAP_OPT_X_TLS_DEMAND;
        ldap_set_option(m_ld, LDAP_OPT_X_TLS_REQUIRE_CERT, &demand);
        QByteArray caFile;
        {
            std::lock_guard lock(trustMutex);
            caFile = trustedFile;
        }
        if (!caFile.isEmpty()) {
            ldap_set_option(m_ld, LDAP_OPT_X_TLS_CACERTFILE, caFile.constData());
            ldap_set_option(m_ld, LDAP_OPT_X_TLS_CACERTDIR, nullptr);
        } else if (!configuredStore()) {
            // Without ldap.conf's TLS_CACERT the GnuTLS build trusts nothing at all.
            static const char* const kSystemStore = "/etc/ssl/certs/ca-certificates.crt";
            if (QFile::exists(QLatin1String(kSystemStore)))
                ldap_set_option(m_ld, LDAP_OPT_X_TLS_CACERTFILE, kSystemStore);
        }
        const int client = 0;
        ldap_set_option(m_ld, LDAP_OPT_X_TLS_NEWCTX, &client);
    }
    return true;
}

bool Session::next(int msgid, LDAPMessage*& message) {
    for (;;) {
        if (m_stop.load())
            return fail(Failure::Cancelled, QString());
        timeval look{0, kLookEveryUs};
        const int rc = ldap_result(m_ld, msgid, LDAP_MSG_ONE, &look, &message);
        if (rc > 0) {
            m_sinceProgress.restart();
            return true;
        }
        if (rc < 0) {
            int code = LDAP_OTHER;
            ldap_get_option(m_ld, LDAP_OPT_RESULT_CODE, &code);
            return failWith(code);
        }
        if (m_sinceProgress.hasExpired(qint64(m_request.timeoutSeconds) * 1000))
            return fail(Failure::TimedOut, QString());
    }
}

bool Session::bind() {
    const QByteArray name = m_request.address.BindName().toUtf8();
    QByteArray password = m_request.password.toUtf8();
    berval credentials{ber_len_t(password.size()), password.data()};
    int msgid = 0;
    m_sinceProgress.start();
    int rc = ldap_sasl_bind(m_ld, name.isEmpty() ? nullptr : name.constData(), LDAP_SASL_SIMPLE, &credentials, nullptr,
                            nullptr, &msgid);
    if (rc != LDAP_SUCCESS)
        return failWith(rc);
    LDAPMessage* message = nullptr;
    if (!next(msgid, message))
        return false;
    int code = LDAP_OTHER;
    char* diagnostic = nullptr;
    rc = ldap_parse_result(m_ld, message, &code, nullptr, &diagnostic, nullptr, nullptr, 1);
    const QString said = diagnostic ? QString::fromUtf8(diagnostic).trimmed() : QString();
    ldap_memfree(diagnostic);
    if (rc != LDAP_SUCCESS)
        return failWith(rc);
    if (code == LDAP_SUCCESS) {
        m_result.bound = true;
        return true;
    }
    QString text = QString::fromUtf8(ldap_err2string(code));
    if (!said.isEmpty())
        text += QStringLiteral(": ") + said;
    if (code == LDAP_INVALID_CREDENTIALS || code == LDAP_INAPPROPRIATE_AUTH || code == LDAP_INVALID_DN_SYNTAX)
        return fail(Failure::BindRefused, text);
    return fail(Failure::Other, text);
}

bool Session::searchPage(berval& cookie, const std::function<void(const DirectoryBook::Row&)>& take) {
    LDAPControl* page = nullptr;
    int rc = ldap_create_page_control(m_ld, kPageSize, cookie.bv_len ? &cookie : nullptr, 0, &page);
    if (rc != LDAP_SUCCESS)
        return failWith(rc);
    LDAPControl* controls[] = {page, nullptr};
    const QByteArray base = m_request.address.BaseDn().toUtf8();
    const QByteArray filter = m_request.address.Filter().toUtf8();
    const int scope = m_request.address.SearchScope() == LdapAddress::Scope::Base  ? LDAP_SCOPE_BASE
                      : m_request.address.SearchScope() == LdapAddress::Scope::One ? LDAP_SCOPE_ONELEVEL
                                                                                   : LDAP_SCOPE_SUBTREE;
    int msgid = 0;
    rc = ldap_search_ext(m_ld, base.constData(), scope, filter.constData(), m_attributes.data(), 0, controls, nullptr,
                         nullptr, LDAP_NO_LIMIT, &msgid);
    ldap_control_free(page);
    if (rc != LDAP_SUCCESS)
        return failWith(rc);

    const DirectoryBook::FieldAttributes& fields = m_request.fields;
    std::array<std::vector<QByteArray>, DirectoryBook::kFields> names;
    for (size_t f = 0; f < fields.size(); ++f)
        for (const QString& name : fields[f])
            names[f].push_back(name.toUtf8());
    for (;;) {
        LDAPMessage* message = nullptr;
        if (!next(msgid, message))
            return false;
        const int type = ldap_msgtype(message);
        if (type == LDAP_RES_SEARCH_ENTRY) {
            const DirectoryBook::Row row = DirectoryBook::Fill(fields, [&](size_t f, qsizetype i) {
                QString value;
                berval** values = ldap_get_values_len(m_ld, message, names[f][size_t(i)].constData());
                if (!values)
                    return value;
                if (values[0])
                    value = QString::fromUtf8(values[0]->bv_val, qsizetype(values[0]->bv_len));
                ldap_value_free_len(values);
                return value;
            });
            ldap_msgfree(message);
            take(row);
            continue;
        }
        if (type != LDAP_RES_SEARCH_RESULT) {
            // References to other servers: this read stays on the one it was given.
            ldap_msgfree(message);
            continue;
        }
        int code = LDAP_OTHER;
        char* diagnostic = nullptr;
        LDAPControl** answered = nullptr;
        rc = ldap_parse_result(m_ld, message, &code, nullptr, &diagnostic, nullptr, &answered, 1);
        const QString said = diagnostic ? QString::fromUtf8(diagnostic).trimmed() : QString();
        ldap_memfree(diagnostic);
        if (rc != LDAP_SUCCESS) {
            ldap_controls_free(answered);
            return failWith(rc);
        }
        ber_memfree(cookie.bv_val);
        cookie = berval{0, nullptr};
        if (LDAPControl* response = ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, answered, nullptr)) {
            ber_int_t estimate = 0;
            ldap_parse_pageresponse_control(m_ld, response, &estimate, &cookie);
        }
        ldap_controls_free(answered);
        if (code == LDAP_SUCCESS)
            return true;
        // A result cut short (a size or time limit) is a failure too: a book
        // missing people must not replace a whole one.
        QString text = QString::fromUtf8(ldap_err2string(code));
        if (!said.isEmpty())
            text += QStringLiteral(": ") + said;
        return fail(code == LDAP_NO_SUCH_OBJECT ? Failure::NoSuchBase : Failure::Other, text);
    }
}

Result Session::run(const std::function<void(const DirectoryBook::Row&)>& take) {
    for (const QStringList& field : m_request.fields)
        for (const QString& name : field)
            m_attributeNames.push_back(name.toUtf8());
    for (QByteArray& name : m_attributeNames)
        m_attributes.push_back(name.data());
    m_attributes.push_back(nullptr);

    std::thread watch(&Session::watchStop, this);
    berval cookie{0, nullptr};
    if (open() && bind()) {
        while (searchPage(cookie, take) && cookie.bv_len > 0) {
        }
    }
    ber_memfree(cookie.bv_val);
    {
        std::lock_guard lock(m_socketMutex);
        m_finished = true;
    }
    m_finishedChanged.notify_all();
    watch.join();
    return m_result;
}

} // namespace

Result Read(const Request& request, const std::atomic<bool>& stop,
            const std::function<void(const DirectoryBook::Row&)>& take) {
    return Session(request, stop).run(take);
}

void TrustOnly(const QString& caFile) {
    std::lock_guard lock(trustMutex);
    trustedFile = QFile::encodeName(caFile);
}

} // namespace LdapReader
