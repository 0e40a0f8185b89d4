#include "Console.h"

namespace Console {

void Prepare() {}

bool Write(std::FILE* stream, const QByteArray& utf8) {
    return std::fwrite(utf8.constData(), 1, std::size_t(utf8.size()), stream) == std::size_t(utf8.size());
}

} // namespace Console
