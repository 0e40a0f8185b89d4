#pragma once

#include <QString>
#include <QStringView>

#include <functional>

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

// Chooses which entries of a book are kept; the fields are valid during the call only.
using Filter = std::function<bool(const Fields&)>;

// Appends every entry of the book at `path` to `items` (only those `keep`
// accepts, when given), streaming it block by block. A book that starts with
// a UTF-16 byte-order mark is read as UTF-16 in that byte order; one that
// starts with a UTF-8 mark, or whose bytes are all valid UTF-8 with some
// non-ASCII text, as UTF-8; anything else as code page 936. Invalid bytes
// become U+FFFD. Lines end at CR LF, LF or CR. An entry whose initials are
// empty gets them made from its name (Initials), before `keep` sees it.
// Returns false with the reason in `error` when the file cannot be opened or
// read; entries read before the failure stay in `items`.
bool Read(const QString& path, ManItems& items, QString& error, const Filter& keep = {});
// The same for an open, seekable device.
bool Read(QIODevice& device, ManItems& items, QString& error, const Filter& keep = {});

} // namespace BookReader
