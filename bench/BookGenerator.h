#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <map>
#include <utility>
#include <vector>

class ManItems;

// Phone books of any size for benchmarks and tests: Chinese names of two or
// three characters, surnames mostly common ones, given-name characters from
// the 3,755 of GB2312's first level (770,750 distinct names in 1,000,000),
// their pinyin initials, extensions, rooms or direct lines, and mobiles. The
// same count and seed always give the same book. Tests that look entries up
// by name ask for numbered ones instead.
namespace BookGenerator {

struct Entry {
    QString FullName;
    QString ShortName;
    QString ExtTelNo;
    QString MobilNo;
    QString RoomNo;
};

std::vector<Entry> Entries(int count, unsigned seed = 1);

// Appends `count` generated entries to `items`.
void Fill(ManItems& items, int count, unsigned seed = 1);

struct Options {
    unsigned seed = 1;
    // Not empty: every name is `tag` and the entry's number (from `first`,
    // zero-padded to `width` digits), distinct and predictable; the initials
    // are "x" and the number, the extension "8" and the number, the mobile
    // "139" and the number, the room the number.
    QString tag;
    int first = 0;
    int width = 0;
    bool header = true;   // one comment line first
    bool initials = true; // false: the initials column left empty, for the loader to fill
    const char* encoding = "GBK";
};

// A book of `count` entries as the program reads it: code page 936 unless
// asked otherwise, CR LF line ends.
QByteArray Book(int count, const Options& options = {});

// A book of `count` numbered entries named `tag` and their number.
QByteArray Numbered(const QString& tag, int count, int width = 0, int first = 0);

// Writes a book of `count` generated entries (code page 936, one comment line
// first). False with a reason on failure.
bool WriteBook(const QString& path, int count, unsigned seed = 1, QString* error = nullptr);
bool WriteBook(const QString& path, int count, const Options& options, QString* error = nullptr);

// Generated books in a temporary folder that goes away with this object, so a
// benchmark leaves nothing behind.
class TempBooks {
public:
    // The path of a book of `count` entries (seed 1), written on first use;
    // stops the program when it cannot be written. Without `initials`, the
    // same book with its initials column left empty.
    QString path(int count, bool initials = true);
    // An empty book, for the side of a load that is not measured.
    QString empty();

private:
    QTemporaryDir m_dir;
    std::map<std::pair<int, bool>, QString> m_paths;
};

// The books of this program run, removed when it ends.
TempBooks& SharedBooks();

} // namespace BookGenerator
