#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

// Fuzz input as text. The first byte chooses the reading: UTF-8 (what a user
// types or a settings file holds) or raw UTF-16 units, which also reach lone
// surrogates that no UTF-8 text can give.
inline QString fuzzText(const uint8_t* data, size_t size) {
    if (size == 0)
        return QString();
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    const qsizetype n = qsizetype(size - 1);
    if (data[0] & 1)
        return QString(reinterpret_cast<const QChar*>(bytes), n / 2);
    return QString::fromUtf8(bytes, n);
}
