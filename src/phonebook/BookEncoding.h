#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>
#include <QString>

// Which encoding a phone book is in, judged before it is read.
namespace BookEncoding {

constexpr qsizetype kBlock = 64 * 1024;

enum class Encoding { Gbk, Utf8, Utf16Le, Utf16Be };

struct Kind {
    Encoding encoding = Encoding::Gbk;
    qint64 mark = 0;          // bytes of the byte-order mark
    double bytesPerLine = 32; // seen in the first block, to size the collection
};

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

// Looks ahead through the file to choose the encoding, then rewinds to the
// text (past a byte-order mark). A book that starts with a UTF-16 mark is
// UTF-16 in that byte order; one that starts with a UTF-8 mark, or is valid
// UTF-8 throughout with some non-ASCII text, is UTF-8; anything else is code
// page 936. False with the reason in `error` when the device fails.
bool detect(QIODevice& file, Kind& kind, QString& error);

} // namespace BookEncoding
