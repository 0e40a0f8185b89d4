#include "CurlWorker.h"

#include "toolkit/FileOps.h"
#include "toolkit/Sockets.h"

#include <QCoreApplication>
#include <QFile>
#include <QMetaObject>

#include <curl/curl.h>

#include <chrono>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// Progress is told at most this often: the session only needs to know that
// something moved within its time-out.
constexpr std::int64_t kProgressEveryMs = 200;

std::int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Every worker, so the program's end can stop them. Never destroyed: a worker
// may still be finishing off while static objects go away.
struct Registry {
    std::mutex mutex;
    std::condition_variable ended;
    std::vector<std::weak_ptr<CurlWorker>> workers;
    int running = 0;
    bool closing = false;
};

Registry& registry() {
    static Registry* r = new Registry;
    return *r;
}

void stopAtExit() {
    CurlWorker::stopAll(2000);
}

} // namespace

void CurlWorker::replied(const CurlTransfer& transfer) {
    post({transfer.serial(), TransferNews::Kind::Replied, {}});
}

void CurlWorker::moved(const CurlTransfer& transfer) {
    const std::int64_t now = nowMs();
    if (m_lastProgressMs >= 0 && now - m_lastProgressMs < kProgressEveryMs) {
        m_progressPending = true;
        return;
    }
    m_lastProgressMs = now;
    m_progressPending = false;
    post({transfer.serial(), TransferNews::Kind::Moved, {}});
}

bool CurlWorker::socketOpened(std::intptr_t socket) {
    std::lock_guard lock(m_mutex);
    m_sockets.insert(socket);
    // A request dropped meanwhile opens no further connection.
    return m_running && m_running->serial() == m_wanted && !m_stop;
}

// Closed under the lock, so an abort never hits a number the system has
// already given to another file.
bool CurlWorker::closeSocket(std::intptr_t socket) {
    std::lock_guard lock(m_mutex);
    m_sockets.erase(socket);
    return Sockets::Close(socket);
}

CurlWorker::CurlWorker(QObject* receiver) : m_receiver(receiver) {}

CurlWorker::~CurlWorker() = default;

std::shared_ptr<CurlWorker> CurlWorker::start(QObject* receiver) {
    // Once, on the window's thread, before the first worker thread starts.
    static const bool curlReady = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    static bool exitHooked = false;
    if (!curlReady)
        return nullptr;
    if (!exitHooked && QCoreApplication::instance()) {
        exitHooked = true;
        qAddPostRoutine(stopAtExit);
    }
    Registry& reg = registry();
    std::shared_ptr<CurlWorker> worker(new CurlWorker(receiver));
    {
        std::lock_guard lock(reg.mutex);
        if (reg.closing)
            return nullptr;
        std::erase_if(reg.workers, [](const std::weak_ptr<CurlWorker>& w) { return w.expired(); });
        reg.workers.push_back(worker);
        ++reg.running;
    }
    try {
        std::thread([worker] { worker->run(); }).detach();
    } catch (const std::system_error&) {
        std::lock_guard lock(reg.mutex);
        --reg.running;
        return nullptr;
    }
    return worker;
}

void CurlWorker::stopAll(int waitMs) {
    Registry& reg = registry();
    std::vector<std::shared_ptr<CurlWorker>> live;
    {
        std::lock_guard lock(reg.mutex);
        reg.closing = true;
        for (const auto& w : reg.workers)
            if (auto p = w.lock())
                live.push_back(std::move(p));
        reg.workers.clear();
    }
    for (const auto& w : live)
        w->release();
    live.clear();
    std::unique_lock lock(reg.mutex);
    reg.ended.wait_for(lock, std::chrono::milliseconds(waitMs), [&reg] { return reg.running == 0; });
}

bool CurlWorker::submit(quint64 serial, TransferJob job) {
    std::lock_guard lock(m_mutex);
    if (m_stop)
        return false;
    m_news.clear();
    m_job = std::move(job);
    m_jobSerial = serial;
    m_hasJob = true;
    m_wanted = serial;
    wake();
    return true;
}

void CurlWorker::cancel() {
    std::lock_guard lock(m_mutex);
    m_wanted = 0;
    m_hasJob = false;
    m_news.clear();
    // Gone before the caller hears that the request ended. Windows removes no
    // file still open: there the worker removes it once it has closed it.
    if (!m_livePart.isEmpty() && QFile::remove(m_livePart))
        m_livePart.clear();
    abortSockets();
    wake();
}

void CurlWorker::release() {
    cancel();
    std::lock_guard lock(m_mutex);
    m_receiver = nullptr;
    m_stop = true;
    wake();
}

bool CurlWorker::takeNews(TransferNews& news) {
    std::lock_guard lock(m_mutex);
    m_notified = false; // anything posted from now on asks for a new call
    if (m_news.empty())
        return false;
    news = std::move(m_news.front());
    m_news.pop_front();
    if (news.kind == TransferNews::Kind::Ended)
        m_livePart.clear(); // the caller's to rename or remove now
    return true;
}

void CurlWorker::abortSockets() {
    for (const std::intptr_t socket : m_sockets)
        Sockets::Abort(socket);
}

void CurlWorker::wake() {
    if (m_multi)
        curl_multi_wakeup(static_cast<CURLM*>(m_multi));
}

bool CurlWorker::post(TransferNews news) {
    std::lock_guard lock(m_mutex);
    if (news.serial != m_wanted || !m_receiver)
        return false;
    m_news.push_back(std::move(news));
    if (!m_notified) {
        m_notified = true;
        QMetaObject::invokeMethod(m_receiver, "takeNews", Qt::QueuedConnection);
    }
    return true;
}

void CurlWorker::postProgress() {
    if (m_progressPending && m_running && nowMs() - m_lastProgressMs >= kProgressEveryMs)
        moved(*m_running);
}

bool CurlWorker::createPart(CurlTransfer& transfer) {
    std::lock_guard lock(m_mutex);
    if (transfer.serial() != m_wanted)
        return false; // dropped: nothing is created
    if (!transfer.openPart())
        return false;
    m_livePart = transfer.job().localFile;
    return true;
}

void CurlWorker::discardPart(const CurlTransfer& transfer) {
    std::lock_guard lock(m_mutex);
    if (transfer.partTried() && !m_livePart.isEmpty() && m_livePart == transfer.job().localFile) {
        QFile::remove(m_livePart);
        m_livePart.clear();
    }
}

void CurlWorker::run() {
    CURLM* multi = curl_multi_init();
    m_loopMulti = multi;
    {
        std::lock_guard lock(m_mutex);
        m_multi = multi;
        if (!multi)
            m_stop = true;
    }
    while (multi) {
        bool stop = false;
        bool hasJob = false;
        bool dropRunning = false;
        quint64 serial = 0;
        TransferJob job;
        {
            std::lock_guard lock(m_mutex);
            stop = m_stop;
            dropRunning = m_running && m_running->serial() != m_wanted;
            if (m_hasJob) {
                job = std::move(m_job);
                serial = m_jobSerial;
                m_hasJob = false;
                hasJob = true;
            }
        }
        if (stop || dropRunning)
            dropRequest();
        if (stop)
            break;
        if (hasJob)
            startRequest(serial, std::move(job));
        if (m_running) {
            int still = 0;
            curl_multi_perform(multi, &still); // may block in an FTP step: this thread is there for that
            int left = 0;
            while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
                if (msg->msg == CURLMSG_DONE && m_running && msg->easy_handle == m_running->easyHandle()) {
                    finishRequest(int(msg->data.result));
                    break;
                }
            }
            postProgress();
        }
        curl_multi_poll(multi, nullptr, 0, m_running ? 100 : 10000, nullptr);
    }
    {
        std::lock_guard lock(m_mutex);
        m_multi = nullptr;
    }
    if (multi)
        curl_multi_cleanup(multi);
    Registry& reg = registry();
    std::lock_guard lock(reg.mutex);
    --reg.running;
    reg.ended.notify_all();
}

void CurlWorker::startRequest(quint64 serial, TransferJob job) {
    CurlTransfer::Host& host = *this;
    auto transfer = std::make_unique<CurlTransfer>(host, serial, std::move(job));
    m_lastProgressMs = -1;
    m_progressPending = false;
    std::optional<TransferOutcome> refused = transfer->setUp();
    CURLM* multi = static_cast<CURLM*>(m_loopMulti);
    if (!refused && curl_multi_add_handle(multi, static_cast<CURL*>(transfer->easyHandle())) != CURLM_OK) {
        refused = TransferOutcome();
        refused->failure = FtpFailure::Other;
        refused->text = QString::fromUtf8(curl_easy_strerror(CURLE_FAILED_INIT));
    }
    if (refused)
        post({serial, TransferNews::Kind::Ended, std::move(*refused)});
    else
        m_running = std::move(transfer);
}

void CurlWorker::finishRequest(int curlResult) {
    std::unique_ptr<CurlTransfer> transfer = std::move(m_running);
    curl_multi_remove_handle(static_cast<CURLM*>(m_loopMulti), static_cast<CURL*>(transfer->easyHandle()));
    TransferOutcome outcome = transfer->finish(curlResult);
    if (outcome.failure == FtpFailure::None)
        placeDownload(*transfer, outcome);
    const bool failed = outcome.failure != FtpFailure::None;
    if (failed)
        discardPart(*transfer);
    if (!post({transfer->serial(), TransferNews::Kind::Ended, std::move(outcome)}))
        discardPart(*transfer);
}

// Here rather than on the receiver's thread: a rename may wait on a slow or
// network disk. A request still wanted when its rename starts has its whole
// file, so a cancel from then on no longer stops the rename.
void CurlWorker::placeDownload(const CurlTransfer& transfer, TransferOutcome& outcome) {
    const TransferJob& job = transfer.job();
    if (job.body != TransferJob::Body::Download || job.target.isEmpty())
        return;
    {
        std::lock_guard lock(m_mutex);
        if (transfer.serial() != m_wanted || m_livePart != job.localFile)
            return; // dropped: cancel() took the part file away
        m_livePart.clear();
    }
    QString why;
    if (!FileOps::Replace(job.localFile, job.target, why)) {
        QFile::remove(job.localFile);
        outcome.failure = FtpFailure::LocalWrite;
        outcome.local = true;
        outcome.text = why;
    }
}

void CurlWorker::dropRequest() {
    if (!m_running)
        return;
    std::unique_ptr<CurlTransfer> transfer = std::move(m_running);
    // Removing a running transfer ends it early: libcurl closes its connection
    // without waiting for any reply.
    curl_multi_remove_handle(static_cast<CURLM*>(m_loopMulti), static_cast<CURL*>(transfer->easyHandle()));
    transfer->closeFile();
    discardPart(*transfer);
}
