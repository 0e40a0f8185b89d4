#pragma once

#include <functional>

// Work too long for the window's thread: it runs on a thread of its own while
// the caller's thread keeps running its event loop.
namespace Aside {

// Runs `work` on a new thread and returns when it has finished. Meanwhile the
// calling thread's events are processed (a nested event loop): anything may
// run, so the caller re-checks its objects afterwards. `work` must not touch
// what the calling thread may change meanwhile.
void Run(const std::function<void()>& work);

} // namespace Aside
