#include "BookReader.h"

#include "BookEncoding.h"
#include "Cp936.h"
#include "Initials.h"
#include "ManItems.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QVarLengthArray>

#include <algorithm>
#include <cstring>

namespace BookReader {
namespace {

using BookEncoding::Encoding;
using BookEncoding::forEachBlock;
using BookEncoding::kBlock;

constexpr char16_t kIdeographicSpace = 0x3000;

bool isBlank(char16_t c) {
    return c == u' ' || c == kIdeographicSpace;
}

QStringView trimmed(QStringView v) {
    qsizetype b = 0;
    qsizetype e = v.size();
    while (b < e && isBlank(v[b].unicode()))
        ++b;
    while (e > b && isBlank(v[e - 1].unicode()))
        --e;
    return v.sliced(b, e - b);
}

// Trims the text just written to [begin, end) where it lies; answers its new end.
char16_t* trimInPlace(char16_t* begin, char16_t* end) {
    while (end > begin && isBlank(end[-1]))
        --end;
    char16_t* first = begin;
    while (first < end && isBlank(*first))
        ++first;
    if (first == begin)
        return end;
    std::memmove(begin, first, std::size_t(end - first) * sizeof(char16_t));
    return begin + (end - first);
}

bool keeps(const Filter& keep, const Fields& fields) {
    return !keep || keep(fields);
}

// A line without initials gets them made from its name.
void makeInitials(Fields& fields, QVarLengthArray<char16_t, 64>& room) {
    if (!fields.ShortName.isEmpty())
        return;
    room.resize(fields.FullName.size());
    fields.ShortName = QStringView(room.data(), Initials::Make(fields.FullName, room.data()));
}

void addLine(QStringView line, ManItems& items, const Filter& keep) {
    Fields fields;
    QVarLengthArray<char16_t, 64> initials;
    if (!ParseLine(line, fields))
        return;
    makeInitials(fields, initials);
    if (keeps(keep, fields))
        items.Add(ManItem::Texts{fields.FullName, fields.ShortName, fields.ExtTelNo, fields.MobilNo, fields.RoomNo});
}

// Any encoding the codec knows: decode, then split the text into lines.
bool readDecoded(QIODevice& file, Encoding encoding, ManItems& items, QString& error, const Filter& keep) {
    const bool utf16 = encoding == Encoding::Utf16Le || encoding == Encoding::Utf16Be;
    QStringDecoder decoder = encoding == Encoding::Gbk       ? QStringDecoder("GBK")
                             : encoding == Encoding::Utf8    ? QStringDecoder(QStringDecoder::Utf8)
                             : encoding == Encoding::Utf16Le ? QStringDecoder(QStringDecoder::Utf16LE)
                                                             : QStringDecoder(QStringDecoder::Utf16BE);
    if (!decoder.isValid()) {
        error = QStringLiteral("no decoder for code page 936");
        return false;
    }
    QString pending; // a line that runs on past the decoded text seen so far
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
                addLine(rest.first(br), items, keep);
            } else {
                pending.append(rest.first(br));
                addLine(pending, items, keep);
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

    qint64 bytes = 0;
    if (!forEachBlock(file, error, [&](QByteArrayView block) {
            bytes += block.size();
            consume(QString(decoder(block)));
            return true;
        }))
        return false;
    // A closing line break ends the last line. In UTF-8 and code page 936 it
    // also makes the decoder give up a character it still holds incomplete
    // (as U+FFFD); in UTF-16 an odd last byte is such a character.
    if (!utf16)
        consume(QString(decoder(QByteArrayView("\n", 1))));
    else
        consume(bytes % 2 ? u"\uFFFD\n" : u"\n");
    return true;
}

// A break is complete unless the block ends right after it (or before it)
// and more may follow: a CR there may be the first half of CR LF.
bool complete(const unsigned char* br, const unsigned char* end, bool last) {
    return last || (br < end && (*br == '\n' || br + 1 < end));
}

const unsigned char* find(const unsigned char* p, const unsigned char* end, char c) {
    const void* at = std::memchr(p, c, std::size_t(end - p));
    return at ? static_cast<const unsigned char*>(at) : end;
}

// Code page 936 with the table: no byte of a double-byte character is a TAB,
// CR or LF, so lines and fields are found in the bytes and every field is
// decoded straight into the collection's storage. A line the table cannot
// answer goes to the codec whole.
class Cp936Book {
public:
    Cp936Book(ManItems& items, const Filter& keep, const Cp936::Table& table)
        : m_items(items), m_keep(keep), m_table(table), m_codec("GBK") {}

    // Adds the entries of the complete lines in [p, end); answers where the
    // first incomplete line begins (`end` when there is none).
    const unsigned char* lines(const unsigned char* p, const unsigned char* const end, bool last) {
        const unsigned char* lf = nullptr; // the next LF from p on, kept so CR-only books stay linear
        while (p < end) {
            if (!lf || lf < p)
                lf = find(p, end, '\n');
            const unsigned char* const br = find(p, lf, '\r');
            if (!complete(br, end, last))
                return p;
            line(p, br);
            if (br == end)
                return end;
            p = br + 1;
            if (*br == '\r' && p < end && *p == '\n')
                ++p;
        }
        return p;
    }

private:
    // Adds the entry of the line [start, end), which holds no line break.
    void line(const unsigned char* const start, const unsigned char* const end) {
        const unsigned char* p = start;
        if (p == end || *p == '\'')
            return;
        if (*p == '\t')
            ++p;
        // Room for the line's characters and for initials made from the name.
        char16_t* const run = m_items.room(2 * std::size_t(end - p));
        char16_t* out = run;
        ManItem::Ends ends{};
        std::size_t f = 0;
        for (;;) {
            char16_t* const from = out;
            while (p < end) {
                const unsigned char b = *p;
                if (b < 0x80) {
                    if (b == '\t')
                        break;
                    *out++ = b;
                    ++p;
                    continue;
                }
                const bool lead = m_table.isLead(b);
                const char16_t c = lead ? (p + 1 < end ? m_table.pair(b, p[1]) : 0) : m_table.single(b);
                if (c == 0)
                    return byCodec(start, end);
                *out++ = c;
                p += lead ? 2 : 1;
            }
            out = trimInPlace(from, out);
            ends[f] = quint32(out - run);
            if (ends[0] == 0)
                return; // no name, no entry
            if (p == end || f + 1 == ends.size())
                break; // text after the fifth field is ignored
            ++p;       // the TAB
            ++f;
        }
        for (std::size_t g = f + 1; g < ends.size(); ++g)
            ends[g] = ends[f];
        if (ends[1] == ends[0])
            makeInitials(run, ends);
        if (!m_keep || keep(run, ends))
            m_items.commit(ends);
    }

    // Puts initials made from the name between it and the extension.
    static void makeInitials(char16_t* run, ManItem::Ends& ends) {
        const quint32 name = ends[0];
        char16_t* const after = run + name;
        const std::size_t rest = ends.back() - name;
        // Room for the longest initials first; made ones are never longer than the name.
        std::memmove(after + name, after, rest * sizeof(char16_t));
        const auto made = quint32(Initials::Make(QStringView(run, name), after));
        if (made != name)
            std::memmove(after + made, after + name, rest * sizeof(char16_t));
        for (std::size_t g = 1; g < ends.size(); ++g)
            ends[g] += made;
    }

    bool keep(const char16_t* run, const ManItem::Ends& ends) const {
        const auto text = [&](std::size_t f) {
            const quint32 from = f == 0 ? 0 : ends[f - 1];
            return QStringView(run + from, qsizetype(ends[f] - from));
        };
        return m_keep(Fields{text(0), text(1), text(2), text(3), text(4)});
    }

    void byCodec(const unsigned char* start, const unsigned char* end) {
        // The closing break makes the codec give up an incomplete last character.
        QString text = m_codec(QByteArrayView(start, end - start));
        text += m_codec(QByteArrayView("\n", 1));
        text.chop(1);
        addLine(text, m_items, m_keep);
    }

    ManItems& m_items;
    const Filter& m_keep;
    const Cp936::Table& m_table;
    QStringDecoder m_codec;
};

bool readCp936(QIODevice& file, ManItems& items, QString& error, const Filter& keep, const Cp936::Table& table) {
    Cp936Book book(items, keep, table);
    QByteArray buffer(kBlock, Qt::Uninitialized);
    qsizetype kept = 0; // an incomplete line carried over from the last block
    for (;;) {
        if (kept == buffer.size())
            buffer.resize(buffer.size() * 2);
        const qint64 got = file.read(buffer.data() + kept, buffer.size() - kept);
        if (got < 0) {
            error = file.errorString();
            return false;
        }
        const auto* data = reinterpret_cast<const unsigned char*>(buffer.constData());
        const unsigned char* end = data + kept + got;
        const unsigned char* rest = book.lines(data, end, got == 0);
        if (got == 0)
            return true;
        kept = end - rest;
        std::memmove(buffer.data(), rest, std::size_t(kept));
    }
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

bool Read(const QString& path, ManItems& items, QString& error, const Filter& keep) {
    QFile file(path);
    if (QFileInfo(path).isDir()) {
        error = QStringLiteral("Is a directory");
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    if (file.isSequential()) {
        // A pipe or a device cannot be rewound after the look-ahead: take it whole.
        QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            error = file.errorString();
            return false;
        }
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        return Read(buffer, items, error, keep);
    }
    return Read(file, items, error, keep);
}

bool Read(QIODevice& file, ManItems& items, QString& error, const Filter& keep) {
    BookEncoding::Kind kind;
    if (!BookEncoding::detect(file, kind, error))
        return false;
    const qint64 bytes = file.size() - kind.mark;
    if (!keep && bytes > 0) {
        // Room for the whole book at once: each byte gives at most one character.
        const bool utf16 = kind.encoding == Encoding::Utf16Le || kind.encoding == Encoding::Utf16Be;
        items.expect(std::size_t(utf16 ? bytes / 2 : bytes), std::size_t(double(bytes) / kind.bytesPerLine) + 16);
    }
    const Cp936::Table& table = Cp936::Table::get();
    if (kind.encoding == Encoding::Gbk && table.valid())
        return readCp936(file, items, error, keep, table);
    return readDecoded(file, kind.encoding, items, error, keep);
}

} // namespace BookReader
