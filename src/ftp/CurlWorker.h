#pragma once

#include "CurlTransfer.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <set>

// What the worker has to tell the window's thread about one request.
struct TransferNews {
    enum class Kind {
        Replied, // the server's first reply came
        Moved,   // data moved or a reply came (told at most every 200 ms)
        Ended,   // with the outcome
    };
    quint64 serial = 0;
    Kind kind = Kind::Moved;
    TransferOutcome outcome;
};

// Drives libcurl on a thread of its own for one transfer control: the thread
// owns the multi handle and loops on curl_multi_poll; requests, cancels and
// the end are queued to it and announced with curl_multi_wakeup. News goes
// back through a queue the receiver empties on its own thread, told by a
// queued call of its slot takeNews().
//
// libcurl blocks in some FTP steps (the closing "226" of a transfer, the
// answer to QUIT); only this thread ever waits there. A cancelled request's
// sockets are shut down at once, so even those waits end without the server.
// The thread finishes off what it runs after its control has gone and then
// ends by itself; it is never joined.
class CurlWorker final : private CurlTransfer::Host {
public:
    // Nullptr once the program is ending (or no thread can be started).
    static std::shared_ptr<CurlWorker> start(QObject* receiver);

    // Everything below is called from the receiver's thread. The worker (and
    // with it what libcurl's socket callbacks are given) lives until its
    // thread has cleaned up the multi handle, whose connections may close last.

    // Hands one request over; `serial` tells its news apart from those of
    // earlier ones. A request still running is dropped first.
    bool submit(quint64 serial, TransferJob job);
    // Drops the running request: no more news of it, its part file goes now.
    void cancel();
    // The receiver is going away: drop everything, tell it nothing more, end.
    void release();
    // The next piece of news, oldest first; false when there is none. By a
    // final piece a download's part file has taken its target's name or is gone.
    bool takeNews(TransferNews& news);

    // Stops every worker and waits at most `waitMs` for their threads to end.
    // Their transfers are cut off, so none of them waits on a server. Runs at
    // program exit; later requests are refused.
    static void stopAll(int waitMs);

    ~CurlWorker();
    CurlWorker(const CurlWorker&) = delete;
    CurlWorker& operator=(const CurlWorker&) = delete;

private:
    explicit CurlWorker(QObject* receiver);

    // Worker thread.
    void run();
    void startRequest(quint64 serial, TransferJob job);
    void finishRequest(int curlResult);
    void dropRequest();
    bool post(TransferNews news);
    void postProgress();
    void discardPart(const CurlTransfer& transfer);
    // A complete download's part file takes the target's name.
    void placeDownload(const CurlTransfer& transfer, TransferOutcome& outcome);
    // What a transfer asks of its worker.
    void replied(const CurlTransfer& transfer) override;
    void moved(const CurlTransfer& transfer) override;
    bool createPart(CurlTransfer& transfer) override;
    bool socketOpened(std::intptr_t socket) override;
    bool closeSocket(std::intptr_t socket) override;

    // Either thread, with m_mutex held.
    void abortSockets();
    void wake();

    std::mutex m_mutex;
    QObject* m_receiver;
    bool m_notified = false;
    bool m_stop = false;
    bool m_hasJob = false;
    quint64 m_jobSerial = 0;
    TransferJob m_job;
    quint64 m_wanted = 0; // the request the receiver still waits for; 0 = none
    QString m_livePart;   // the download's part file while it may exist
    std::set<std::intptr_t> m_sockets;
    void* m_multi = nullptr; // published for curl_multi_wakeup
    std::deque<TransferNews> m_news;

    // Worker thread only.
    void* m_loopMulti = nullptr;
    std::unique_ptr<CurlTransfer> m_running;
    bool m_progressPending = false;
    std::int64_t m_lastProgressMs = -1;
};
