#pragma once

#include <QString>
#include <QStringView>

class ManItems;
class QIODevice;

namespace BookReader {

// The five fields of one book line, in file order; views into the line.
struct Fields {
    QStringView FullName;
    QStringView ShortName;
    QStringView ExtTelNo;
    QStringView MobilNo;
    QStringView RoomNo;
};

// Splits one line (without its line break). Returns false for a line that holds
// no entry: a comment (first character an apostrophe) or an empty first field.
// One leading TAB is dropped, the rest split at TABs, the first five parts kept
// and trimmed of blanks and ideographic spaces.
bool ParseLine(QStringView line, Fields& out);

// Appends every entry of the book at `path` to `items`, streaming it line by
// line. A book that starts with a UTF-8 byte-order mark, or whose bytes are all
// valid UTF-8 with some non-ASCII text, is read as UTF-8; anything else as code
// page 936. Invalid bytes become U+FFFD. Lines end at CR LF, LF or CR.
// Returns false with the reason in `error` when the file cannot be opened or
// read; entries read before the failure stay in `items`.
bool Read(const QString& path, ManItems& items, QString& error);
// The same for an open, seekable device.
bool Read(QIODevice& device, ManItems& items, QString& error);

} // namespace BookReader
