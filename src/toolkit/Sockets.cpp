#include "Sockets.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace Sockets {

void Abort(std::intptr_t socket) {
#ifdef _WIN32
    ::shutdown(SOCKET(socket), SD_BOTH);
#else
    ::shutdown(int(socket), SHUT_RDWR);
#endif
}

bool Close(std::intptr_t socket) {
#ifdef _WIN32
    return ::closesocket(SOCKET(socket)) == 0;
#else
    return ::close(int(socket)) == 0;
#endif
}

} // namespace Sockets
