#include "CurlTransfer.h"

#include "toolkit/FileOps.h"

#include <curl/curl.h>

#include <mutex>

namespace {

std::mutex trustMutex;
QByteArray trustedFile; // empty: the system's trusted certificates

FtpFailure failureOf(CURLcode result) {
    switch (result) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return FtpFailure::HostNotFound;
    case CURLE_COULDNT_CONNECT:
        return FtpFailure::ConnectionRefused;
    case CURLE_LOGIN_DENIED:
        return FtpFailure::LoginRefused;
    case CURLE_REMOTE_FILE_NOT_FOUND:
        return FtpFailure::RemoteFileMissing;
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_FTP_ACCEPT_TIMEOUT:
        return FtpFailure::TimedOut;
    case CURLE_PEER_FAILED_VERIFICATION:
        return FtpFailure::UntrustedCertificate;
    case CURLE_USE_SSL_FAILED:
        return FtpFailure::NoTls;
    default:
        return FtpFailure::Other;
    }
}

TransferOutcome refusal(const QString& text, bool local) {
    TransferOutcome out;
    out.failure = FtpFailure::Other;
    out.local = local;
    out.text = text;
    return out;
}

} // namespace

struct CurlTransfer::Callbacks {
    static size_t header(char* bytes, size_t size, size_t count, void* userp) {
        auto* t = static_cast<CurlTransfer*>(userp);
        const size_t n = size * count;
        if (!t->m_quitting) {
            QByteArray line(bytes, qsizetype(n));
            while (line.endsWith('\n') || line.endsWith('\r'))
                line.chop(1);
            if (line.startsWith("230"))
                t->m_outcome.loggedIn = true;
            t->m_outcome.replies.append(line);
            if (!t->m_sawReply) {
                t->m_sawReply = true;
                t->m_host.replied(*t);
            }
        }
        t->m_host.moved(*t);
        return n;
    }

    // The only way to see which command a reply belongs to; nothing is printed.
    static int debug(CURL*, curl_infotype type, char* bytes, size_t size, void* userp) {
        if (type == CURLINFO_HEADER_OUT && size >= 4 && qstrnicmp(bytes, "QUIT", 4) == 0)
            static_cast<CurlTransfer*>(userp)->m_quitting = true;
        return 0;
    }

    static size_t write(char* bytes, size_t size, size_t count, void* userp) {
        auto* t = static_cast<CurlTransfer*>(userp);
        const size_t n = size * count;
        t->m_host.moved(*t);
        switch (t->m_job.body) {
        case TransferJob::Body::Listing:
            t->m_outcome.data.append(bytes, qsizetype(n));
            return n;
        case TransferJob::Body::Download:
            // Created on the first data, so a missing remote file creates nothing.
            if (!t->m_partTried && !t->m_host.createPart(*t))
                return 0;
            if (t->m_file.write(bytes, qint64(n)) != qint64(n)) {
                t->noteLocalFault();
                return 0;
            }
            return n;
        default:
            return n; // with NOBODY libcurl makes up header lines of its own
        }
    }

    static size_t read(char* buffer, size_t size, size_t count, void* userp) {
        auto* t = static_cast<CurlTransfer*>(userp);
        const qint64 got = t->m_file.read(buffer, qint64(size * count));
        if (got < 0) {
            t->noteLocalFault();
            return CURL_READFUNC_ABORT;
        }
        if (got > 0)
            t->m_host.moved(*t);
        return size_t(got);
    }

    // Given the host, never the transfer: a connection may outlive its transfer.
    static int socketOpened(void* hostp, curl_socket_t socket, curlsocktype) {
        return static_cast<Host*>(hostp)->socketOpened(std::intptr_t(socket)) ? CURL_SOCKOPT_OK : CURL_SOCKOPT_ERROR;
    }

    static int closeSocket(void* hostp, curl_socket_t socket) {
        return static_cast<Host*>(hostp)->closeSocket(std::intptr_t(socket)) ? 0 : 1;
    }
};

CurlTransfer::CurlTransfer(Host& host, quint64 serial, TransferJob job)
    : m_host(host), m_serial(serial), m_job(std::move(job)), m_errorBuffer(CURL_ERROR_SIZE, '\0') {}

CurlTransfer::~CurlTransfer() {
    if (m_easy)
        curl_easy_cleanup(static_cast<CURL*>(m_easy));
    curl_slist_free_all(static_cast<curl_slist*>(m_quote));
}

void CurlTransfer::noteLocalFault() {
    if (m_localFault)
        return;
    m_localFault = true;
    const FileOps::WriteFault fault = FileOps::WriteFaultOf(m_file);
    m_localError = fault.why;
    m_diskFull = fault.diskFull;
}

bool CurlTransfer::openPart() {
    m_partTried = true;
    m_file.setFileName(m_job.localFile);
    if (m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return true;
    noteLocalFault();
    return false;
}

std::optional<TransferOutcome> CurlTransfer::setUp() {
    const TransferJob& s = m_job;
    if (s.body == TransferJob::Body::Upload) {
        m_file.setFileName(s.localFile);
        if (!m_file.open(QIODevice::ReadOnly))
            return refusal(m_file.errorString(), true);
    }
    CURL* e = curl_easy_init();
    m_easy = e;
    if (!e)
        return refusal(QString::fromUtf8(curl_easy_strerror(CURLE_FAILED_INIT)), false);

    curl_slist* quote = nullptr;
    for (const QByteArray& command : s.quote)
        quote = curl_slist_append(quote, command.constData());
    m_quote = quote;
    curl_easy_setopt(e, CURLOPT_URL, s.url.constData());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "ftp,ftps");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "ftp,ftps");
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_QUICK_EXIT, 1L); // a dropped transfer never waits for a name look-up
    if (s.tls)
        curl_easy_setopt(e, CURLOPT_USE_SSL, long(CURLUSESSL_ALL)); // fails rather than fall back to plain
    // Never anything less than a certificate the trusted ones vouch for, made for this host.
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    if (std::lock_guard lock(trustMutex); !trustedFile.isEmpty()) {
        curl_easy_setopt(e, CURLOPT_CAINFO, trustedFile.constData()); // copied by libcurl
        curl_easy_setopt(e, CURLOPT_CAPATH, nullptr);
    }
    // One connection per operation: the directory set by a quoted CWD must not
    // leak into libcurl's own bookkeeping of a reused connection.
    curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, 1L);
    // Names go to the server exactly as given, relative to the current directory.
    curl_easy_setopt(e, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_NOCWD));
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, m_errorBuffer.data());
    curl_easy_setopt(e, CURLOPT_NOBODY, s.body == TransferJob::Body::None ? 1L : 0L);
    if (!s.listCommand.isEmpty())
        curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, s.listCommand.constData());
    if (quote)
        curl_easy_setopt(e, CURLOPT_QUOTE, quote);
    if (!s.user.isEmpty()) {
        curl_easy_setopt(e, CURLOPT_USERNAME, s.user.constData());
        curl_easy_setopt(e, CURLOPT_PASSWORD, s.password.constData());
    }
    if (s.timeoutSeconds > 0) {
        const long seconds = s.timeoutSeconds;
        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, seconds);
        curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT, seconds);
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, seconds);
    }
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Callbacks::header);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(e, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(e, CURLOPT_DEBUGFUNCTION, &Callbacks::debug);
    curl_easy_setopt(e, CURLOPT_DEBUGDATA, this);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Callbacks::write);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    if (s.body == TransferJob::Body::Upload) {
        curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, curl_off_t(m_file.size()));
        curl_easy_setopt(e, CURLOPT_READFUNCTION, &Callbacks::read);
        curl_easy_setopt(e, CURLOPT_READDATA, this);
    }
    Host* host = &m_host;
    curl_easy_setopt(e, CURLOPT_SOCKOPTFUNCTION, &Callbacks::socketOpened);
    curl_easy_setopt(e, CURLOPT_SOCKOPTDATA, host);
    curl_easy_setopt(e, CURLOPT_CLOSESOCKETFUNCTION, &Callbacks::closeSocket);
    curl_easy_setopt(e, CURLOPT_CLOSESOCKETDATA, host);
    return std::nullopt;
}

void CurlTransfer::TrustOnly(const QString& caFile) {
    std::lock_guard lock(trustMutex);
    trustedFile = QFile::encodeName(caFile);
}

TransferOutcome CurlTransfer::finish(int curlResult) {
    const CURLcode result = CURLcode(curlResult);
    const bool download = m_job.body == TransferJob::Body::Download;
    if (download) {
        if (result == CURLE_OK && !m_partTried)
            m_host.createPart(*this); // an empty remote file still gives a local one
        if (m_file.isOpen() && !m_file.flush())
            noteLocalFault();
    }
    m_file.close();

    TransferOutcome out = std::move(m_outcome);
    if (m_localFault) {
        out.local = true;
        out.text = m_localError;
        out.failure = !download ? FtpFailure::Other : m_diskFull ? FtpFailure::DiskFull : FtpFailure::LocalWrite;
    } else if (result != CURLE_OK) {
        out.failure = failureOf(result);
        out.text = QString::fromUtf8(m_errorBuffer.constData());
        if (out.text.isEmpty())
            out.text = QString::fromUtf8(curl_easy_strerror(result));
    }
    return out;
}
