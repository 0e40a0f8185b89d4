#include "Initials.h"

#include "NameOrder.h"

#include <unicode/normalizer2.h>
#include <unicode/translit.h>
#include <unicode/uchar.h>
#include <unicode/uscript.h>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace Initials {
namespace {

// What a character gives to the initials: not known yet, nothing, itself,
// or (any larger value) that ASCII letter or digit.
constexpr quint8 kUnknown = 0;
constexpr quint8 kNothing = 1;
constexpr quint8 kItself = 2;

bool isAsciiLetterOrDigit(char32_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

// The characters' readings, filled as names ask for them: a book uses a few
// thousand distinct characters, and the transliteration of one costs some
// microseconds. Lookups of known characters take no lock.
class Readings {
public:
    static Readings& get() {
        static Readings readings;
        return readings;
    }

    quint8 of(char32_t c) {
        if (c < m_bmp.size()) {
            const quint8 known = m_bmp[c].load(std::memory_order_relaxed);
            if (known != kUnknown)
                return known;
        }
        return ask(c);
    }

private:
    quint8 ask(char32_t c) {
        const std::lock_guard lock(m_mutex);
        if (c < m_bmp.size()) {
            quint8 known = m_bmp[c].load(std::memory_order_relaxed);
            if (known == kUnknown) {
                known = classify(c);
                m_bmp[c].store(known, std::memory_order_relaxed);
            }
            return known;
        }
        const auto [at, added] = m_beyond.try_emplace(c, kUnknown);
        if (added)
            at->second = classify(c);
        return at->second;
    }

    // Called with the lock held.
    quint8 classify(char32_t c) {
        if (c >= 0xFF10 && c <= 0xFF5A && isAsciiLetterOrDigit(c - 0xFEE0))
            return quint8(c - 0xFEE0); // full-width: what the user types is ASCII
        if (isAsciiLetterOrDigit(c))
            return quint8(c);
        UErrorCode status = U_ZERO_ERROR;
        const UScriptCode script = uscript_getScript(UChar32(c), &status);
        if (U_FAILURE(status))
            return kNothing;
        if (u_isdigit(UChar32(c)) || (script == USCRIPT_LATIN && u_isalpha(UChar32(c))))
            return kItself;
        if (script != USCRIPT_HAN)
            return kNothing;
        return letterOfReading(c);
    }

    quint8 letterOfReading(char32_t c) {
        if (!m_han && !m_unavailable) {
            UErrorCode status = U_ZERO_ERROR;
            m_han.reset(icu::Transliterator::createInstance("Han-Latin", UTRANS_FORWARD, status));
            m_nfd = icu::Normalizer2::getNFDInstance(status);
            if (U_FAILURE(status) || !m_nfd)
                m_han.reset();
            m_unavailable = !m_han;
        }
        if (!m_han)
            return kNothing;
        const auto codePoint = UChar32(c);
        icu::UnicodeString text(codePoint);
        m_han->transliterate(text);
        if (text.isEmpty() || text.char32At(0) == codePoint)
            return kNothing; // no reading known
        // The reading's first letter without its tone mark (ā → a, ǚ → u).
        UErrorCode status = U_ZERO_ERROR;
        const icu::UnicodeString bare = m_nfd->normalize(text.tempSubString(0, 1), status);
        if (U_FAILURE(status) || bare.isEmpty())
            return kNothing;
        const UChar32 letter = u_tolower(bare.char32At(0));
        return letter >= u'a' && letter <= u'z' ? quint8(letter) : kNothing;
    }

    std::array<std::atomic<quint8>, 0x10000> m_bmp{};
    std::mutex m_mutex;
    std::unordered_map<char32_t, quint8> m_beyond; // outside the BMP: rare, behind the lock
    std::unique_ptr<icu::Transliterator> m_han;
    const icu::Normalizer2* m_nfd = nullptr;
    bool m_unavailable = false;
};

} // namespace

qsizetype Make(QStringView name, char16_t* out) {
    char16_t* const start = out;
    qsizetype i = 0;
    // The surname readings are the name order's: initials made here make it read the name as it does.
    if (const char16_t first = NameOrder::FirstInitial(name)) {
        *out++ = first;
        i = 1;
    }
    Readings* readings = nullptr;
    while (i < name.size()) {
        const char16_t unit = name[i].unicode();
        if (unit < 0x80) {
            if (isAsciiLetterOrDigit(unit))
                *out++ = unit;
            ++i;
            continue;
        }
        char32_t c = unit;
        qsizetype units = 1;
        if (QChar::isHighSurrogate(unit) && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(unit, name[i + 1].unicode());
            units = 2;
        }
        if (!readings)
            readings = &Readings::get();
        const quint8 gives = readings->of(c);
        if (gives == kItself) {
            for (qsizetype k = 0; k < units; ++k)
                *out++ = name[i + k].unicode();
        } else if (gives != kNothing) {
            *out++ = gives;
        }
        i += units;
    }
    return out - start;
}

QString Of(QStringView name) {
    QString out(name.size(), Qt::Uninitialized);
    out.resize(Make(name, reinterpret_cast<char16_t*>(out.data())));
    return out;
}

} // namespace Initials
