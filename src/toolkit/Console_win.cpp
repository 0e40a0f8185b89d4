#include "Console.h"

#include <QString>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace Console {

namespace {

// The console behind `stream`, or nullptr when it goes to a file or a pipe.
HANDLE consoleOf(std::FILE* stream) {
    const HANDLE handle = HANDLE(::_get_osfhandle(::_fileno(stream)));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode))
        return nullptr;
    return handle;
}

} // namespace

void Prepare() {
    // Text mode would turn each LF into CR LF in files and pipes: keep the bytes
    // the same as on other systems.
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
}

bool Write(std::FILE* stream, const QByteArray& utf8) {
    if (const HANDLE console = consoleOf(stream)) {
        std::fflush(stream);
        const QString text = QString::fromUtf8(utf8);
        const auto* next = reinterpret_cast<const wchar_t*>(text.utf16());
        DWORD left = DWORD(text.size());
        while (left > 0) {
            DWORD written = 0;
            if (!WriteConsoleW(console, next, left, &written, nullptr) || written == 0)
                return false;
            next += written;
            left -= written;
        }
        return true;
    }
    return std::fwrite(utf8.constData(), 1, std::size_t(utf8.size()), stream) == std::size_t(utf8.size());
}

} // namespace Console
