#include "BookReader.h"

#include "ManItems.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cstdint>

namespace BookReader {
namespace {

constexpr qsizetype kBlock = 64 * 1024;
constexpr char16_t kIdeographicSpace = 0x3000;

bool isBlank(QChar c) {
    return c.unicode() == u' ' || c.unicode() == kIdeographicSpace;
}

QStringView trimmed(QStringView v) {
    qsizetype b = 0;
    qsizetype e = v.size();
    while (b < e && isBlank(v[b]))
        ++b;
    while (e > b && isBlank(v[e - 1]))
        --e;
    return v.sliced(b, e - b);
}

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

enum class Encoding { Gbk, Utf8, Utf8Bom };

// Looks ahead through the file to choose the encoding, then rewinds.
// A code-page-936 book usually fails the UTF-8 check on its first Chinese name.
// Reads the device in blocks, handing each to `take` until it answers false or
// the device ends. False with the reason in `error` on a read failure.
template <typename Take> bool forEachBlock(QIODevice& file, QString& error, Take take) {
    QByteArray block(kBlock, Qt::Uninitialized);
    for (;;) {
        const qint64 got = file.read(block.data(), kBlock);
        if (got < 0) {
            error = file.errorString();
            return false;
        }
        if (got == 0 || !take(QByteArrayView(block.constData(), got)))
            return true;
    }
}

// Looks ahead through the file to choose the encoding, then rewinds.
// A code-page-936 book usually fails the UTF-8 check on its first Chinese name.
bool detect(QIODevice& file, Encoding& encoding, QString& error) {
    Utf8Check check;
    bool first = true;
    bool valid = true;
    bool marked = false;
    const bool read = forEachBlock(file, error, [&](QByteArrayView block) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(block.data());
        if (first && block.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
            marked = true;
            return false;
        }
        first = false;
        valid = check.feed(bytes, block.size());
        return valid;
    });
    if (!read)
        return false;
    if (marked)
        encoding = Encoding::Utf8Bom;
    else
        encoding = valid && check.complete() && check.nonAscii() ? Encoding::Utf8 : Encoding::Gbk;
    if (!file.seek(marked ? 3 : 0)) {
        error = file.errorString();
        return false;
    }
    return true;
}

void addLine(QStringView line, ManItems& items, Fields& fields) {
    if (ParseLine(line, fields))
        items.Add(ManItem::Texts{fields.FullName, fields.ShortName, fields.ExtTelNo, fields.MobilNo, fields.RoomNo});
}

} // namespace

bool ParseLine(QStringView line, Fields& out) {
    if (line.isEmpty() || line.front() == u'\'')
        return false;
    qsizetype pos = line.front() == u'\t' ? 1 : 0;
    QStringView* targets[] = {&out.FullName, &out.ShortName, &out.ExtTelNo, &out.MobilNo, &out.RoomNo};
    for (QStringView* target : targets) {
        if (pos > line.size()) {
            *target = QStringView();
            continue;
        }
        qsizetype tab = line.indexOf(u'\t', pos);
        if (tab < 0)
            tab = line.size();
        *target = trimmed(line.sliced(pos, tab - pos));
        pos = tab + 1;
        if (target == &out.FullName && target->isEmpty())
            return false;
    }
    return true;
}

bool Read(const QString& path, ManItems& items, QString& error) {
    QFile file(path);
    if (QFileInfo(path).isDir()) {
        error = QStringLiteral("Is a directory");
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    return Read(file, items, error);
}

bool Read(QIODevice& file, ManItems& items, QString& error) {
    Encoding encoding = Encoding::Gbk;
    if (!detect(file, encoding, error))
        return false;
    QStringDecoder decoder = encoding == Encoding::Gbk ? QStringDecoder("GBK") : QStringDecoder(QStringDecoder::Utf8);
    if (!decoder.isValid()) {
        error = QStringLiteral("no decoder for code page 936");
        return false;
    }

    QString pending; // a line that runs on past the decoded text seen so far
    Fields fields;
    bool afterCr = false;
    const auto consume = [&](QStringView rest) {
        if (afterCr && !rest.isEmpty() && rest.front() == u'\n')
            rest = rest.sliced(1);
        afterCr = false;
        while (!rest.isEmpty()) {
            qsizetype br = 0;
            const qsizetype n = rest.size();
            const QChar* d = rest.data();
            while (br < n && d[br] != u'\n' && d[br] != u'\r')
                ++br;
            if (br == n) {
                pending.append(rest);
                return;
            }
            if (pending.isEmpty()) {
                addLine(rest.first(br), items, fields);
            } else {
                pending.append(rest.first(br));
                addLine(pending, items, fields);
                pending.clear();
            }
            qsizetype next = br + 1;
            if (d[br] == u'\r') {
                if (next < n && d[next] == u'\n')
                    ++next;
                else if (next == n)
                    afterCr = true;
            }
            rest = rest.sliced(next);
        }
    };

    if (!forEachBlock(file, error, [&](QByteArrayView block) {
            consume(QString(decoder(block)));
            return true;
        }))
        return false;
    // A closing line break ends the last line and makes the decoder give up a
    // character it still holds incomplete (as U+FFFD).
    consume(QString(decoder(QByteArrayView("\n", 1))));
    return true;
}

} // namespace BookReader
