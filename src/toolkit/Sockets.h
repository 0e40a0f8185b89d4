#pragma once

#include <cstdint>

// The two socket calls a transfer worker needs besides what libcurl does.
namespace Sockets {

// Ends both directions of a connected socket at once, so a thread blocked
// reading or writing it returns. The descriptor stays open (and cannot be
// reused) until Close.
void Abort(std::intptr_t socket);

// Closes a socket; answers false when the system refused.
bool Close(std::intptr_t socket);

} // namespace Sockets
