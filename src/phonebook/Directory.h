#pragma once

#include "EntryField.h"
#include "ManItems.h"
#include "PrefixIndex.h"
#include "SearchRule.h"
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
// surnames by their surname reading, equal names in book order); every Search()
// then picks entries out of that order, the entries SearchRule finds for the
// text: indexes of the names lower-cased and of the numbers' digits answer it.
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

    // The longest text of each field in the books (in characters), by
    // indexOf(EntryField), for the list's column widths.
    using Longest = std::array<QStringView, kEntryFieldCount>;
    const Longest& LongestTexts() const { return m_longest; }
    // Different for every Load of any directory, so what was derived from one can be kept.
    quint64 LoadNumber() const { return m_loadNumber; }

    // Searches for the box's text as typed; answers the number of matches.
    int Search(const QString& boxText);
    int Count() const { return int(m_matches.size()); }
    // The row-th match (0-based), in name order.
    const ManItem& Match(int row) const { return *m_entries[std::size_t(m_matches[std::size_t(row)])]; }
    const LargeVector<int>& Matches() const { return m_matches; }

    // The text a search looks for: blanks (U+0020) trimmed at both ends, lower-cased.
    static QString SearchText(const QString& boxText);
    // The matching rule (SearchRule) applied to one entry.
    static bool Matches(const ManItem& entry, const QString& searchText);

private:
    // What is indexed: each field of the entry as searched (its indexOf), then
    // the national part of each international number, in kNumberFields order.
    using Field = std::size_t;
    static constexpr Field kNationalFrom = kEntryFieldCount;
    static constexpr Field kFieldCount = kNationalFrom + kNumberFields.size();
    static_assert(kFieldCount <= 8, "m_changed keeps a bit per field in a byte");
    static constexpr std::array<Field, kNumberFields.size() * 2> numberIndexes() {
        std::array<Field, kNumberFields.size() * 2> fields{};
        for (std::size_t i = 0; i < kNumberFields.size(); ++i) {
            fields[i] = indexOf(kNumberFields[i]);
            fields[kNumberFields.size() + i] = kNationalFrom + i;
        }
        return fields;
    }
    // The entry's field an index is made of.
    static constexpr EntryField writtenField(Field field) {
        return field < kNationalFrom ? EntryField(field) : kNumberFields[field - kNationalFrom];
    }

    // Books from this size on get their indexes built on a thread of their own.
    static constexpr std::size_t kIndexesOnAThreadFrom = 50000;
    void buildIndexes(LargeVector<int> positionOf, RadixSort::Workspace workspace);
    void awaitIndexes() const;
    // Stops a build still under way (a reload, or the end of the directory) and waits for it.
    void dropIndexes();

    // The field of the entry at `position` as searched (names lower-cased,
    // numbers without separators).
    QStringView text(Field field, int position) const;
    PrefixIndex::TextAt textAt(Field field) const;
    void markDerived(int position, Field field);
    bool matches(int position, const SearchRule::Query& query) const;
    void mark(int position);

    std::shared_ptr<const ManItems> m_source;
    // In name order; the entries belong to m_source.
    LargeVector<const ManItem*> m_entries;
    Longest m_longest{};
    quint64 m_loadNumber = 0;

    // Fields as searched where they differ from the field as written: the
    // lower case of names, numbers without separators (rare: Chinese names
    // and pinyin initials are mostly lower-case already, numbers mostly digits).
    struct Span {
        int position;
        quint32 begin;
        quint32 length;
    };
    struct Derived {
        std::vector<Span> spans; // by position once loaded
        QString chars;
        // Keeps chars from `begin` on as the text of `position` unless they
        // equal `asWritten`; answers the text, valid until the next append.
        QStringView keep(int position, qsizetype begin, QStringView asWritten);
        QStringView lowered(int position, QStringView asWritten);
        QStringView at(int position, QStringView asWritten) const;
    };
    static void sortSpans(Derived& derived);
    std::array<Derived, kFieldCount> m_derived;
    LargeVector<unsigned char> m_changed; // per position: bit 1 << field when m_derived holds it

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
