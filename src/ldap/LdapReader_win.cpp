// Every call into Windows' LDAP client (Wldap32) lives in this file; it
// reads as the libldap one beside it does.
#include "LdapReader.h"

#include "LdapAddress.h"

#include <QElapsedTimer>
#include <QFile>

// clang-format off
#include <windows.h>
#include <wincrypt.h>
#include <winldap.h>
// clang-format on

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace LdapReader {

namespace {

constexpr ULONG kPageSize = 1000;
constexpr LONG kLookEveryUs = 100 * 1000;
constexpr ULONG kFailed = ULONG(-1);

// What the certificate check needs, shared with connections still closing on
// a thread of their own: never destroyed, so such a thread may outlive main().
struct Trust {
    std::mutex mutex;
    QString caFile;
    std::map<LDAP*, std::wstring> hostOf; // the check is told only the handle
};
Trust& trust() {
    static Trust* const shared = new Trust;
    return *shared;
}

void unbind(LDAP* ld) {
    ldap_unbind(ld);
    std::lock_guard lock(trust().mutex);
    trust().hostOf.erase(ld);
}

PWCHAR wide(const std::wstring& text) {
    return const_cast<PWCHAR>(text.c_str());
}

// Connecting, the TLS handshake and (under Wine, whose ldap_connect leaves
// the connection to the first request) sending the bind block inside
// Wldap32, out of reach of `stop`, and Wine's ldap_connect ignores its time
// limit. They run on a thread of their own; a read stopped or out of time
// leaves that thread behind, to unbind once Wldap32 gives up.
class Contact {
public:
    // The bind's message id in `msgid`; LDAP_TIMEOUT when it took longer
    // than `allowedMs`, LDAP_USER_CANCELLED when `stop` was set: the handle
    // is then the thread's.
    static ULONG Run(LDAP* ld, qint64 allowedMs, const std::atomic<bool>& stop, const std::wstring& name,
                     const std::wstring& password, ULONG& msgid) {
        const auto state = std::make_shared<Contact>();
        std::thread([state, ld, allowedMs, name, password] {
            l_timeval wait{LONG(allowedMs / 1000), LONG(allowedMs % 1000 * 1000)};
            ULONG rc = ldap_connect(ld, &wait);
            ULONG id = kFailed;
            if (rc == LDAP_SUCCESS) {
                id =
                    ldap_simple_bindW(ld, name.empty() ? nullptr : wide(name), name.empty() ? nullptr : wide(password));
                if (id == kFailed)
                    rc = LdapGetLastError();
            }
            std::lock_guard lock(state->m_mutex);
            state->m_rc = rc;
            state->m_msgid = id;
            state->m_done = true;
            if (state->m_abandoned)
                unbind(ld);
            state->m_doneChanged.notify_all();
        }).detach();
        QElapsedTimer clock;
        clock.start();
        std::unique_lock lock(state->m_mutex);
        while (!state->m_done) {
            if (stop.load() || clock.hasExpired(allowedMs)) {
                state->m_abandoned = true;
                return stop.load() ? ULONG(LDAP_USER_CANCELLED) : ULONG(LDAP_TIMEOUT);
            }
            state->m_doneChanged.wait_for(lock, std::chrono::milliseconds(20));
        }
        msgid = state->m_msgid;
        return state->m_rc;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_doneChanged;
    ULONG m_rc = LDAP_OTHER;
    ULONG m_msgid = kFailed;
    bool m_done = false;
    bool m_abandoned = false; // the handle is the thread's to unbind
};

QString fromWide(const wchar_t* text) {
    return text ? QString::fromWCharArray(text).trimmed() : QString();
}

QString words(ULONG code, const QString& said) {
    QString text = fromWide(ldap_err2stringW(code));
    if (!said.isEmpty())
        text += QStringLiteral(": ") + said;
    return text;
}

// Whether `server`'s chain ends in the certificate of `caFile` alone and
// was made for `host`.
bool chainTrusted(PCCERT_CONTEXT server, const QString& caFile, const std::wstring& host) {
    QFile file(caFile);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray pem = file.readAll();
    DWORD size = 0;
    if (!CryptStringToBinaryA(pem.constData(), DWORD(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr,
                              nullptr))
        return false;
    std::vector<BYTE> der(size);
    if (!CryptStringToBinaryA(pem.constData(), DWORD(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr,
                              nullptr))
        return false;
    HCERTSTORE roots = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
    if (!roots)
        return false;
    bool trusted = false;
    HCERTCHAINENGINE engine = nullptr;
    CERT_CHAIN_ENGINE_CONFIG config{};
    config.cbSize = sizeof(config);
    config.hExclusiveRoot = roots;
    if (CertAddEncodedCertificateToStore(roots, X509_ASN_ENCODING, der.data(), size, CERT_STORE_ADD_ALWAYS, nullptr) &&
        CertCreateCertificateChainEngine(&config, &engine)) {
        CERT_CHAIN_PARA para{};
        para.cbSize = sizeof(para);
        PCCERT_CHAIN_CONTEXT chain = nullptr;
        if (CertGetCertificateChain(engine, server, nullptr, server->hCertStore, &para, 0, nullptr, &chain)) {
            SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
            ssl.cbSize = sizeof(ssl);
            ssl.dwAuthType = AUTHTYPE_SERVER;
            ssl.pwszServerName = const_cast<WCHAR*>(host.c_str());
            CERT_CHAIN_POLICY_PARA policy{};
            policy.cbSize = sizeof(policy);
            policy.pvExtraPolicyPara = &ssl;
            CERT_CHAIN_POLICY_STATUS status{};
            status.cbSize = sizeof(status);
            trusted =
                CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status) && status.dwError == 0;
            CertFreeCertificateChain(chain);
        }
        CertFreeCertificateChainEngine(engine);
    }
    CertCloseStore(roots, 0);
    return trusted;
}

// Wldap32 hands the callback a pointer to the certificate's context (its
// header says the context itself), which the callback frees.
BOOLEAN LDAPAPI verifyAgainstTrusted(PLDAP connection, PCCERT_CONTEXT certificate) {
    const PCCERT_CONTEXT server = *reinterpret_cast<const PCCERT_CONTEXT*>(certificate);
    QString caFile;
    std::wstring host;
    {
        std::lock_guard lock(trust().mutex);
        caFile = trust().caFile;
        if (const auto it = trust().hostOf.find(connection); it != trust().hostOf.end())
            host = it->second;
    }
    const bool trusted = server && !host.empty() && chainTrusted(server, caFile, host);
    if (server)
        CertFreeCertificateContext(server);
    return trusted ? TRUE : FALSE;
}

BOOLEAN LDAPAPI acceptAny(PLDAP, PCCERT_CONTEXT certificate) {
    if (const PCCERT_CONTEXT server = *reinterpret_cast<const PCCERT_CONTEXT*>(certificate))
        CertFreeCertificateContext(server);
    return TRUE;
}

class Session {
public:
    Session(const Request& request, const std::atomic<bool>& stop)
        : m_request(request), m_stop(stop), m_host(hostName()), m_base(request.address.BaseDn().toStdWString()),
          m_filter(request.address.Filter().toStdWString()) {}
    ~Session() {
        if (m_ld)
            unbind(m_ld);
        if (m_cookie)
            ber_bvfree(m_cookie);
    }

    Result run(const std::function<void(const DirectoryBook::Row&)>& take);

private:
    std::wstring hostName() const {
        QString host = m_request.address.Host();
        if (host.startsWith(u'[') && host.endsWith(u']'))
            host = host.mid(1, host.size() - 2);
        return host.toStdWString();
    }
    // A handle with this program's options, not yet connected; nullptr (and m_result set) on failure.
    LDAP* handle(VERIFYSERVERCERT* check);
    // Connects and sends the bind.
    bool open();
    // The bind's answer.
    bool bind();
    bool searchPage(const std::function<void(const DirectoryBook::Row&)>& take);
    // The next message of `msgid` into `message` and its type into `type`;
    // false (and m_result set) when the read was stopped, timed out or the
    // connection failed.
    bool next(ULONG msgid, LDAPMessage*& message, ULONG& type);
    // A result's code and the server's words; frees the message.
    bool parse(LDAPMessage* message, ULONG& code, QString& said, PLDAPControlW** controls);
    bool fail(Failure failure, const QString& text) {
        m_result.failure = failure;
        m_result.words = text;
        return false;
    }
    // A failed call: its code says which failure it was.
    bool failWith(ULONG code);
    // The connection failed: a server that is down, or a certificate refused.
    bool unreachable(const QString& text);
    bool connectsUnchecked();

    const Request& m_request;
    const std::atomic<bool>& m_stop;
    const std::wstring m_host;
    const std::wstring m_base;
    const std::wstring m_filter;
    LDAP* m_ld = nullptr;
    Result m_result;
    QElapsedTimer m_sinceProgress;
    std::array<std::vector<std::wstring>, DirectoryBook::kFields> m_fieldNames;
    std::vector<std::wstring> m_attributeNames;
    std::vector<PWCHAR> m_attributes;
    berval* m_cookie = nullptr;
    ULONG m_bindId = kFailed;
};

LDAP* Session::handle(VERIFYSERVERCERT* check) {
    const bool tls = m_request.address.Tls();
    LDAP* ld = ldap_sslinitW(wide(m_host), ULONG(m_request.address.Port()), tls ? 1 : 0);
    if (!ld) {
        fail(Failure::Other, words(LdapGetLastError(), QString()));
        return nullptr;
    }
    const ULONG version = LDAP_VERSION3;
    ldap_set_optionW(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    // Active Directory refers to its other partitions; they hold no one else.
    ldap_set_optionW(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    if (tls && check) {
        std::lock_guard lock(trust().mutex);
        trust().hostOf[ld] = m_host;
    }
    // Wine's wldap32 takes no certificate check: then neither a given CA is
    // trusted nor an unchecked probe made.
    if (tls && check) {
        if (const ULONG rc = ldap_set_optionW(ld, LDAP_OPT_SERVER_CERTIFICATE, reinterpret_cast<void*>(check));
            rc != LDAP_SUCCESS) {
            unbind(ld);
            fail(Failure::Other, words(rc, QString()));
            return nullptr;
        }
    }
    return ld;
}

bool Session::failWith(ULONG code) {
    if (m_stop.load())
        return fail(Failure::Cancelled, QString());
    QString said;
    PWCHAR serverError = nullptr;
    if (m_ld && ldap_get_optionW(m_ld, LDAP_OPT_SERVER_ERROR, &serverError) == LDAP_SUCCESS && serverError) {
        said = fromWide(serverError);
        ldap_memfreeW(serverError);
    }
    const QString text = words(code, said);
    switch (code) {
    case LDAP_SERVER_DOWN:
    case LDAP_CONNECT_ERROR:
        return unreachable(text);
    case LDAP_TIMEOUT:
        return fail(Failure::TimedOut, text);
    case LDAP_NO_SUCH_OBJECT:
        return fail(Failure::NoSuchBase, text);
    default:
        return fail(Failure::Other, text);
    }
}

bool Session::unreachable(const QString& text) {
    if (m_stop.load())
        return fail(Failure::Cancelled, QString());
    // A refused certificate ends the connection with the same code as a
    // server that is down: a handshake that works unchecked tells.
    if (m_request.address.Tls() && !m_result.bound && connectsUnchecked())
        return fail(Failure::UntrustedCertificate, m_request.address.ServerUri());
    return fail(Failure::Unreachable, text);
}

bool Session::connectsUnchecked() {
    if (m_stop.load())
        return false;
    const Result kept = m_result;
    LDAP* probe = handle(&acceptAny);
    m_result = kept;
    if (!probe)
        return false;
    ULONG msgid = kFailed;
    const ULONG rc = Contact::Run(probe, qint64(m_request.timeoutSeconds) * 1000, m_stop, {}, {}, msgid);
    if (rc != LDAP_TIMEOUT && rc != LDAP_USER_CANCELLED)
        unbind(probe);
    return rc == LDAP_SUCCESS;
}

bool Session::open() {
    QString caFile;
    {
        std::lock_guard lock(trust().mutex);
        caFile = trust().caFile;
    }
    // Empty: Schannel checks the certificate against the system's store.
    m_ld = handle(caFile.isEmpty() ? nullptr : &verifyAgainstTrusted);
    if (!m_ld)
        return false;
    m_sinceProgress.start();
    const ULONG rc =
        Contact::Run(m_ld, qint64(m_request.timeoutSeconds) * 1000, m_stop, m_request.address.BindName().toStdWString(),
                     m_request.password.toStdWString(), m_bindId);
    if (rc == LDAP_SUCCESS)
        return true;
    if (rc == LDAP_TIMEOUT || rc == LDAP_USER_CANCELLED)
        m_ld = nullptr; // left to the connecting thread
    if (rc == LDAP_USER_CANCELLED)
        return fail(Failure::Cancelled, QString());
    if (rc == LDAP_TIMEOUT)
        return fail(Failure::TimedOut, QString());
    // Connecting and sending the bind: whatever failed, the server was not reached.
    return unreachable(words(rc, QString()));
}

bool Session::next(ULONG msgid, LDAPMessage*& message, ULONG& type) {
    for (;;) {
        if (m_stop.load()) {
            ldap_abandon(m_ld, msgid);
            return fail(Failure::Cancelled, QString());
        }
        l_timeval look{0, kLookEveryUs};
        message = nullptr;
        const ULONG rc = ldap_result(m_ld, msgid, LDAP_MSG_ONE, &look, &message);
        if (rc == kFailed)
            return failWith(LdapGetLastError());
        if (rc != 0 && message) {
            m_sinceProgress.restart();
            type = rc;
            return true;
        }
        if (message)
            ldap_msgfree(message);
        if (m_sinceProgress.hasExpired(qint64(m_request.timeoutSeconds) * 1000))
            return fail(Failure::TimedOut, QString());
    }
}

bool Session::parse(LDAPMessage* message, ULONG& code, QString& said, PLDAPControlW** controls) {
    PWCHAR diagnostic = nullptr;
    code = LDAP_OTHER;
    const ULONG rc = ldap_parse_resultW(m_ld, message, &code, nullptr, &diagnostic, nullptr, controls, TRUE);
    said = fromWide(diagnostic);
    if (diagnostic)
        ldap_memfreeW(diagnostic);
    return rc == LDAP_SUCCESS || failWith(rc);
}

bool Session::bind() {
    LDAPMessage* message = nullptr;
    ULONG type = 0;
    ULONG code = LDAP_OTHER;
    QString said;
    if (!next(m_bindId, message, type) || !parse(message, code, said, nullptr))
        return false;
    if (code == LDAP_SUCCESS) {
        m_result.bound = true;
        return true;
    }
    if (code == LDAP_INVALID_CREDENTIALS || code == LDAP_INAPPROPRIATE_AUTH || code == LDAP_INVALID_DN_SYNTAX)
        return fail(Failure::BindRefused, words(code, said));
    return fail(Failure::Other, words(code, said));
}

bool Session::searchPage(const std::function<void(const DirectoryBook::Row&)>& take) {
    PLDAPControlW page = nullptr;
    ULONG rc = ldap_create_page_controlW(m_ld, kPageSize, m_cookie, FALSE, &page);
    if (rc != LDAP_SUCCESS)
        return failWith(rc);
    PLDAPControlW controls[] = {page, nullptr};
    const ULONG scope = m_request.address.SearchScope() == LdapAddress::Scope::Base  ? LDAP_SCOPE_BASE
                        : m_request.address.SearchScope() == LdapAddress::Scope::One ? LDAP_SCOPE_ONELEVEL
                                                                                     : LDAP_SCOPE_SUBTREE;
    ULONG msgid = 0;
    rc = ldap_search_extW(m_ld, wide(m_base), scope, wide(m_filter), m_attributes.data(), 0, controls, nullptr, 0, 0,
                          &msgid);
    ldap_control_freeW(page);
    if (rc != LDAP_SUCCESS)
        return failWith(rc);

    for (;;) {
        LDAPMessage* message = nullptr;
        ULONG type = 0;
        if (!next(msgid, message, type))
            return false;
        if (type == ULONG(LDAP_RES_SEARCH_ENTRY)) {
            LDAPMessage* entry = ldap_first_entry(m_ld, message);
            const DirectoryBook::Row row = DirectoryBook::Fill(m_request.fields, [&](size_t f, qsizetype i) {
                QString value;
                berval** values = entry ? ldap_get_values_lenW(m_ld, entry, wide(m_fieldNames[f][size_t(i)])) : nullptr;
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
        if (type != ULONG(LDAP_RES_SEARCH_RESULT)) {
            // References to other servers: this read stays on the one it was given.
            ldap_msgfree(message);
            continue;
        }
        ULONG code = LDAP_OTHER;
        QString said;
        PLDAPControlW* answered = nullptr;
        if (!parse(message, code, said, &answered)) {
            if (answered)
                ldap_controls_freeW(answered);
            return false;
        }
        if (m_cookie)
            ber_bvfree(m_cookie);
        m_cookie = nullptr;
        if (answered) {
            ULONG estimate = 0;
            ldap_parse_page_controlW(m_ld, answered, &estimate, &m_cookie);
            ldap_controls_freeW(answered);
        }
        if (code == LDAP_SUCCESS)
            return true;
        // A result cut short (a size or time limit) is a failure too: a book
        // missing people must not replace a whole one.
        return fail(code == LDAP_NO_SUCH_OBJECT ? Failure::NoSuchBase : Failure::Other, words(code, said));
    }
}

Result Session::run(const std::function<void(const DirectoryBook::Row&)>& take) {
    for (size_t f = 0; f < m_request.fields.size(); ++f)
        for (const QString& name : m_request.fields[f]) {
            m_fieldNames[f].push_back(name.toStdWString());
            m_attributeNames.push_back(name.toStdWString());
        }
    for (const std::wstring& name : m_attributeNames)
        m_attributes.push_back(wide(name));
    m_attributes.push_back(nullptr);

    if (open() && bind()) {
        while (searchPage(take) && m_cookie && m_cookie->bv_len > 0) {
        }
    }
    return m_result;
}

} // namespace

Result Read(const Request& request, const std::atomic<bool>& stop,
            const std::function<void(const DirectoryBook::Row&)>& take) {
    return Session(request, stop).run(take);
}

void TrustOnly(const QString& caFile) {
    std::lock_guard lock(trust().mutex);
    trust().caFile = caFile;
}

} // namespace LdapReader
