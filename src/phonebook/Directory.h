#pragma once

#include "ManItems.h"
#include "PrefixIndex.h"
#include "toolkit/LargeAllocator.h"

#include <QString>

#include <array>
#include <atomic>
#include <future>
#include <memory>
#include <vector>

// The searchable view of one load of the phone books.
//
// Load() orders the entries by name once (see NameOrder: pinyin, people's
// surnames by their surname reading, equal names in book order); every Search() then
// picks entries out of that order. An entry matches when its ShortName or
// its FullName, lower-cased, begins with the search text:
// lower(LeftPart(field, n)) == s, n = TextLength(s). A search text of digits
// only also matches an entry whose ExtTelNo, MobilNo or RoomNo begins with it.
// The matches are positions in the name order, kept in a buffer reused between
// searches, so a keystroke allocates nothing in proportion to the book.
//
// Threads: a Directory is plain data with no Qt object in it. Load() may run
// on any thread (a worker builds one, then hands it over); afterwards one
// thread at a time may use it, since Search() reuses its buffers. For a large
// book Load() returns once the name order is built and leaves the prefix
// indexes to a thread of its own; Search() for a text waits for them, the
// empty search (the full list) does not. The collection passed to Load() must
// not change while it is loaded.
class Directory {
public:
    Directory() = default;
    ~Directory();
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;

    // Takes the entries of a load; the collection is kept alive until the next Load.
    void Load(std::shared_ptr<const ManItems> items);
    // The collection last loaded (null before the first Load).
    const ManItems* Source() const { return m_source.get(); }
    // Loaded entries at the time of Load.
    int Size() const { return int(m_entries.size()); }
    // An entry by its place in the name order (0-based).
    const ManItem& Sorted(int index) const { return *m_entries[std::size_t(index)]; }

    // Searches for the box's text as typed; answers the number of matches.
    int Search(const QString& boxText);
    int Count() const { return int(m_matches.size()); }
    // The row-th match (0-based), in name order.
    const ManItem& Match(int row) const { return *m_entries[std::size_t(m_matches[std::size_t(row)])]; }
    const LargeVector<int>& Matches() const { return m_matches; }

    // The text a search looks for: blanks (U+0020) trimmed at both ends, lower-cased.
    static QString SearchText(const QString& boxText);
    // A search text of the digits 0–9 only, which also looks up the numbers.
    static bool IsNumberSearch(const QString& searchText);
    // The matching rule written out literally, one entry at a time.
    static bool Matches(const ManItem& entry, const QString& searchText);

private:
    enum Field { kShort, kFull, kExt, kMobil, kRoom, kFieldCount };

    // Books from this size on get their indexes built on a thread of their own.
    static constexpr std::size_t kIndexesOnAThreadFrom = 50000;
    void buildIndexes(LargeVector<int> positionOf, RadixSort::Workspace workspace);
    void awaitIndexes() const;
    // Stops a build still under way (a reload, or the end of the directory) and waits for it.
    void dropIndexes();

    // The field of the entry at `position` as searched (names lower-cased).
    QStringView text(Field field, int position) const;
    PrefixIndex::TextAt textAt(Field field) const;
    void mark(int position);

    std::shared_ptr<const ManItems> m_source;
    // In name order; the entries belong to m_source.
    LargeVector<const ManItem*> m_entries;

    // The lower case of the names where it differs from the name itself
    // (rare: Chinese names and pinyin initials are mostly lower-case already).
    struct Span {
        int position;
        quint32 begin;
        quint32 length;
    };
    struct Lowered {
        std::vector<Span> spans; // by position once loaded
        QString chars;
        // The lower case of `asWritten`, kept when it differs; valid until the next append.
        QStringView append(int position, QStringView asWritten);
        QStringView at(int position, QStringView asWritten) const;
    };
    std::array<Lowered, 2> m_lowered;     // kShort, kFull
    LargeVector<unsigned char> m_changed; // per position: bit 1 << field when m_lowered holds it

    // One index per field. Names whose lower case is longer than they are (İ)
    // are left out of their index and checked by the rule as written (m_irregular).
    std::array<PrefixIndex, kFieldCount> m_index;
    std::vector<int> m_irregular;
    LargeVector<unsigned char> m_marked; // per position, reset after every search
    LargeVector<int> m_matches;
    // Valid while the indexes are (or were) built on their own thread.
    std::shared_future<void> m_indexing;
    std::atomic<bool> m_dropIndexes{false}; // the build gives up between two indexes
};
