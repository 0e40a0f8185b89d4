#pragma once

#include "ManItem.h"

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

    Entry Add(const QString& FullName, const QString& ShortName, const QString& ExtTelNo, const QString& MobilNo,
              const QString& RoomNo, const QString& sKey = QString());

    // The same without a key, for the loader: the texts are copied into blocks
    // the collection's entries share. The reference is valid until the next change.
    const Entry& Add(const ManItem::Texts& texts);

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
    ManItem::Packer m_packer;
    std::vector<Entry> m_entries;
    std::vector<QString> m_keys; // folded key per position, empty when none
    QHash<QString, Entry> m_byKey;
};
