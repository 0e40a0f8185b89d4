#pragma once

#include "ManItems.h"

#include <QString>

#include <memory>
#include <vector>

// The searchable view of one load of the phone books.
//
// Load() orders the entries by name once (pinyin collation, equal names keep
// their book order); every Search() then picks entries out of that order. An
// entry matches when its ShortName or its FullName, lower-cased, begins with
// the search text: lower(LeftPart(field, n)) == s, n = TextLength(s). The
// matches are positions in the name order, kept in a buffer reused between
// searches, so a keystroke allocates nothing in proportion to the book.
class Directory {
public:
    Directory() = default;
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
    const std::vector<int>& Matches() const { return m_matches; }

    // The text a search looks for: blanks (U+0020) trimmed at both ends, lower-cased.
    static QString SearchText(const QString& boxText);
    // The matching rule written out literally, one entry at a time.
    static bool Matches(const ManItem& entry, const QString& searchText);

private:
    static void sortByField(std::vector<int>& index, const std::vector<QString>& lowered);
    void markPrefixed(const std::vector<int>& index, const std::vector<QString>& lowered, const QString& s);
    void mark(int position);

    std::shared_ptr<const ManItems> m_source;
    // In name order: the entries and their lower-cased short and full names.
    std::vector<std::shared_ptr<const ManItem>> m_entries;
    std::vector<QString> m_shortLower;
    std::vector<QString> m_fullLower;
    // Positions sorted by the lower-cased field, so the fields that begin with
    // a text form one run, found by binary search. Only fields whose lower case
    // is as long as they are; the rest are in m_irregular.
    std::vector<int> m_shortIndex;
    std::vector<int> m_fullIndex;
    // Entries with a field that grows when lower-cased (İ): checked by the rule as written.
    std::vector<int> m_irregular;
    std::vector<unsigned char> m_marked; // per position, reset after every search
    std::vector<int> m_matches;
};
