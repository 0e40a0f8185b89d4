#include "Cp936.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

namespace Cp936 {

Table::Table() {
    QStringDecoder decoder("GBK");
    if (!decoder.isValid())
        return;
    // The hot path copies bytes below 0x80 as they are; make sure they are ASCII.
    QByteArray ascii(0x80, Qt::Uninitialized);
    for (int b = 0; b < 0x80; ++b)
        ascii[b] = char(b);
    const QString asText = decoder(ascii);
    if (asText.size() != 0x80)
        return;
    for (int b = 0; b < 0x80; ++b) {
        if (asText.at(b).unicode() != b)
            return;
    }

    // Every other candidate in one call, each followed by a line break, which
    // no byte of a character can be: a code the codec rejects stays apart.
    QByteArray codes;
    for (int b = 0x80; b < 0x100; ++b) {
        if (!isLead(static_cast<unsigned char>(b)))
            codes.append(char(b)).append('\n');
    }
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = kFirstTrail; trail < 0x100; ++trail)
            codes.append(char(lead)).append(char(trail)).append('\n');
    }
    const QString text = decoder(codes);
    qsizetype at = 0;
    bool lost = false;
    // The character a code decodes to when it is exactly one ordinary
    // character; otherwise 0, and the codec decides line by line.
    const auto next = [&]() -> char16_t {
        const qsizetype begin = at;
        const qsizetype end = text.indexOf(u'\n', begin);
        if (end < 0) {
            lost = true;
            return 0;
        }
        at = end + 1;
        if (end - begin != 1)
            return 0;
        const char16_t c = text.at(begin).unicode();
        const bool plain = c != 0xFFFD && c != u'\t' && c != u'\r' && c != u'\n' && !QChar::isSurrogate(c);
        return plain ? c : 0;
    };
    for (int b = 0x80; b < 0x100; ++b) {
        if (!isLead(static_cast<unsigned char>(b)))
            m_single[std::size_t(b)] = next();
    }
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = kFirstTrail; trail < 0x100; ++trail)
            m_pair[std::size_t((lead - 0x81) * kTrails + (trail - kFirstTrail))] = next();
    }
    m_valid = !lost && at == text.size();
}

const Table& Table::get() {
    static const Table table;
    return table;
}

} // namespace Cp936
