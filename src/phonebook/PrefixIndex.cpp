#include "PrefixIndex.h"

#include <algorithm>
#include <string_view>

namespace {

using RadixSort::Keyed;

std::u16string_view units(QStringView text) {
    return {text.utf16(), std::size_t(text.size())};
}

// The first four units, 16 bits each, 0 after the end. Flagged when that
// does not settle the order: a longer text, or a NUL that looks like the end.
Keyed unitsKey(QStringView text, int position) {
    quint64 key = 0;
    bool settled = text.size() <= 4;
    for (qsizetype i = 0; i < 4; ++i) {
        const char16_t u = i < text.size() ? text[i].unicode() : 0;
        settled = settled && (i >= text.size() || u != 0);
        key = (key << 16) | u;
    }
    return {key, quint32(position), settled ? 0u : 1u};
}

// Phone numbers: the first fifteen characters, four bits each: 0 after the
// end, 2–11 for the digits, 1 and 12 for anything below or above them
// (flagged, as is a text too long for the key).
Keyed digitsKey(QStringView text, int position) {
    quint64 key = 0;
    bool settled = text.size() <= 15;
    for (qsizetype i = 0; i < 15; ++i) {
        quint64 nibble = 0;
        if (i < text.size()) {
            const char16_t u = text[i].unicode();
            nibble = u < u'0' ? 1 : (u > u'9' ? 12 : 2 + (u - u'0'));
            settled = settled && nibble != 1 && nibble != 12;
        }
        key = (key << 4) | nibble;
    }
    return {key, quint32(position), settled ? 0u : 1u};
}

} // namespace

RadixSort::Keyed PrefixIndex::KeyOf(Texts texts, QStringView text, int position) {
    return texts == Texts::Digits ? digitsKey(text, position) : unitsKey(text, position);
}

void PrefixIndex::Build(RadixSort::Items& keyed, RadixSort::Items& scratch, const TextAt& textAt) {
    RadixSort::ByKey(keyed, scratch);
    RadixSort::SettleTies(keyed, [&textAt](const Keyed& a, const Keyed& b) {
        return units(textAt(int(a.position))) < units(textAt(int(b.position)));
    });
    m_positions.clear();
    m_positions.reserve(keyed.size());
    for (const Keyed& item : keyed)
        m_positions.push_back(int(item.position));
}

std::span<const int> PrefixIndex::Find(QStringView prefix, const TextAt& textAt) const {
    const std::u16string_view p = units(prefix);
    // Past the texts below the prefix, those that begin with it come first.
    const auto first =
        std::partition_point(m_positions.begin(), m_positions.end(), [&](int at) { return units(textAt(at)) < p; });
    const auto last =
        std::partition_point(first, m_positions.end(), [&](int at) { return units(textAt(at)).starts_with(p); });
    return {first, last};
}
