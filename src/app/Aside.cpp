#include "Aside.h"

#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <thread>

namespace Aside {

namespace {
// How often the wait looks whether the work is done: far below what a user
// notices, far above what costs anything.
constexpr int kLookEveryMs = 2;
} // namespace

void Run(const std::function<void()>& work) {
    // The worker never calls into Qt: only its flag and the join cross threads.
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done.store(true, std::memory_order_release);
    });
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (done.load(std::memory_order_acquire))
            loop.quit();
    });
    look.start(kLookEveryMs);
    // Ends when the work is done, or at once when the whole application is
    // exiting: the rest of the work is then simply waited for.
    loop.exec();
    worker.join();
}

} // namespace Aside
