#include "BookEncoding.h"

#include <algorithm>

namespace BookEncoding {
namespace {

// Incremental UTF-8 check: remembers how many continuation bytes are owed and
// the allowed range of the next one, so blocks may split a sequence anywhere.
class Utf8Check {
public:
    bool feed(const unsigned char* p, qsizetype n) {
        for (qsizetype i = 0; i < n; ++i) {
            const unsigned char c = p[i];
            if (m_need > 0) {
                if (c < m_lo || c > m_hi)
                    return false;
                m_lo = 0x80;
                m_hi = 0xBF;
                --m_need;
                continue;
            }
            if (c < 0x80)
                continue;
            m_nonAscii = true;
            if (c >= 0xC2 && c <= 0xDF) {
                m_need = 1;
            } else if (c == 0xE0) {
                m_need = 2, m_lo = 0xA0;
            } else if (c == 0xED) {
                m_need = 2, m_hi = 0x9F; // no surrogates
            } else if ((c >= 0xE1 && c <= 0xEC) || c == 0xEE || c == 0xEF) {
                m_need = 2;
            } else if (c == 0xF0) {
                m_need = 3, m_lo = 0x90;
            } else if (c >= 0xF1 && c <= 0xF3) {
                m_need = 3;
            } else if (c == 0xF4) {
                m_need = 3, m_hi = 0x8F;
            } else {
                return false;
            }
        }
        return true;
    }
    bool complete() const { return m_need == 0; }
    bool nonAscii() const { return m_nonAscii; }

private:
    int m_need = 0;
    unsigned char m_lo = 0x80;
    unsigned char m_hi = 0xBF;
    bool m_nonAscii = false;
};

} // namespace

// A code-page-936 book usually fails the UTF-8 check on its first Chinese name.
bool detect(QIODevice& file, Kind& kind, QString& error) {
    Utf8Check check;
    bool first = true;
    bool valid = true;
    const bool read = forEachBlock(file, error, [&](QByteArrayView block) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(block.data());
        if (first) {
            first = false;
            const qsizetype breaks = std::max(block.count('\n'), block.count('\r'));
            if (breaks > 0)
                kind.bytesPerLine = double(block.size()) / double(breaks);
            if (block.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
                kind = {Encoding::Utf16Le, 2, kind.bytesPerLine};
                return false;
            }
            if (block.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
                kind = {Encoding::Utf16Be, 2, kind.bytesPerLine};
                return false;
            }
            if (block.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
                kind = {Encoding::Utf8, 3, kind.bytesPerLine};
                return false;
            }
        }
        valid = check.feed(bytes, block.size());
        return valid;
    });
    if (!read)
        return false;
    if (kind.mark == 0 && valid && check.complete() && check.nonAscii())
        kind.encoding = Encoding::Utf8;
    if (!file.seek(kind.mark)) {
        error = file.errorString();
        return false;
    }
    return true;
}

} // namespace BookEncoding
