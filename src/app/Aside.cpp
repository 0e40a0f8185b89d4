#include "Aside.h"

#include <QEventLoop>

#include <thread>

namespace Aside {

void Run(const std::function<void()>& work) {
    QEventLoop loop;
    std::thread worker([&] {
        work();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    // Ends with the worker's quit, which may arrive before the loop runs (it is
    // queued, so never lost), or when the whole application exits: the rest of
    // the work is then simply waited for.
    loop.exec();
    worker.join();
}

} // namespace Aside
