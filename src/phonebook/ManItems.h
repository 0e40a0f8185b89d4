#pragma once

#include "ManItem.h"
#include "toolkit/LargeAllocator.h"

#include <QHash>
#include <QString>

#include <memory>
#include <vector>

// The ordered collection of entries.
//
// Positions are 1-based and follow insertion order; Remove moves later entries
// one position forward. An entry may also be stored under a text key, unique
// without regard to letter case. Entries are shared: one handed out stays valid
// after the collection is gone.
//
// Failures are answered, not thrown:
//  - Item() with a position outside 1..Count() or an unknown key returns nullptr;
//  - Remove() in the same cases returns false and changes nothing;
//  - Add() with a key that is present returns nullptr and adds nothing.
class ManItems {
public:
    using Entry = std::shared_ptr<ManItem>;

    ManItems() = default;
    // A copy shares the entries, not the storage that new entries go to.
    ManItems(const ManItems& other);
    ManItems& operator=(const ManItems& other);
    ManItems(ManItems&&) noexcept = default;
    ManItems& operator=(ManItems&&) noexcept = default;

    Entry Add(const QString& FullName, const QString& ShortName, const QString& ExtTelNo, const QString& MobilNo,
              const QString& RoomNo, const QString& sKey = QString());

    // The same without a key, for the loader: the texts are copied into blocks
    // the collection's entries share. The reference is valid until the next change.
    const Entry& Add(const ManItem::Texts& texts);

    // For a loader that decodes straight into the shared blocks: room() gives
    // space for one entry's texts (at most `units` characters, one after the
    // other), commit() adds the entry whose texts end at `ends`. Room that is
    // not committed is handed out again.
    char16_t* room(std::size_t units) { return store().room(units); }
    const Entry& commit(const ManItem::Ends& ends);
    // Prepares for about `entries` more entries of `units` characters in all.
    void expect(std::size_t units, std::size_t entries);

    Entry Item(int position) const;
    Entry Item(const QString& key) const;
    int Count() const { return int(m_entries.size()); }
    bool Remove(int position);
    bool Remove(const QString& key);

    // Enumeration in insertion order (range-for).
    auto begin() const { return m_entries.cbegin(); }
    auto end() const { return m_entries.cend(); }

    void reserve(std::size_t n) { m_entries.reserve(n); }

private:
    ManItem::Store& store();
    const Entry& append(ManItem* item);

    std::shared_ptr<ManItem::Store> m_store; // where new entries go; made on first use
    LargeVector<Entry> m_entries;
    std::vector<QString> m_keys; // folded key per position, empty when none
    QHash<QString, Entry> m_byKey;
};
