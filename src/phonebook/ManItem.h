#pragma once

#include "EntryField.h"

#include <QString>
#include <QStringView>

#include <array>
#include <cstddef>
#include <vector>

// One phone-book entry: five texts, none of them interpreted.
//
// The five texts lie one after the other in one run of characters. An entry
// of a collection points into storage that the collection's entries share
// (a load costs a few large allocations rather than several per entry, and
// the shared handle to an entry keeps that storage alive); a setter, a copy
// or an entry made on its own gets a run of its own.
class ManItem {
public:
    ManItem() = default;
    ManItem(const ManItem& other);
    ManItem& operator=(const ManItem& other);
    ~ManItem();

    QString RoomNo() const { return field(EntryField::Room).toString(); }
    void RoomNo(const QString& vData) { setField(EntryField::Room, vData); }
    QString MobilNo() const { return field(EntryField::Mobile).toString(); }
    void MobilNo(const QString& vData) { setField(EntryField::Mobile, vData); }
    QString ExtTelNo() const { return field(EntryField::Extension).toString(); }
    void ExtTelNo(const QString& vData) { setField(EntryField::Extension, vData); }
    QString ShortName() const { return field(EntryField::Initials).toString(); }
    void ShortName(const QString& vData) { setField(EntryField::Initials, vData); }
    QString FullName() const { return field(EntryField::Name).toString(); }
    void FullName(const QString& vData) { setField(EntryField::Name, vData); }

    // Read access without a copy, for the search; valid while the entry lives.
    QStringView field(EntryField which) const {
        const std::size_t f = indexOf(which);
        const quint32 begin = f == 0 ? 0 : m_end[f - 1];
        return QStringView(m_text + begin, qsizetype(m_end[f] - begin));
    }
    QStringView fullNameView() const { return field(EntryField::Name); }
    QStringView shortNameView() const { return field(EntryField::Initials); }
    QStringView extTelNoView() const { return field(EntryField::Extension); }
    QStringView mobilNoView() const { return field(EntryField::Mobile); }
    QStringView roomNoView() const { return field(EntryField::Room); }

    // The texts in book order (kEntryFields).
    using Texts = std::array<QStringView, kEntryFieldCount>;
    // Where each text ends in the entry's run, in the same order.
    using Ends = std::array<quint32, kEntryFieldCount>;
    // All the views at once, in book order.
    Texts texts() const {
        Texts all;
        for (const EntryField f : kEntryFields)
            all[indexOf(f)] = field(f);
        return all;
    }

    // Shared storage of a collection's entries: entries and their texts are
    // carved out of large blocks, which live until the store is gone.
    class Store {
    public:
        Store() = default;
        Store(const Store&) = delete;
        Store& operator=(const Store&) = delete;
        ~Store();

        // Sizes the next block for about `units` more characters in `entries` more entries.
        void expect(std::size_t units, std::size_t entries);
        // Room for the texts of one entry of at most `units` characters; stays
        // the same until make() takes it, so a writer may fill it and give up.
        char16_t* room(std::size_t units);
        // An entry whose texts are the characters at room() up to the last end.
        ManItem* make(const Ends& ends);
        // An entry with copies of `texts`.
        ManItem* make(const Texts& texts);

    private:
        struct Block {
            char* base;
            std::size_t size;
            ManItem* items; // entries grow down from `end`
            ManItem* end;
        };
        void grow(std::size_t bytes);

        std::vector<Block> m_blocks;
        char16_t* m_text = nullptr; // texts grow up from the start of the last block
        std::size_t m_nextSize = std::size_t(16) << 10;
    };

private:
    void setField(EntryField which, QStringView value);
    void own(const Texts& texts);
    void drop();

    const char16_t* m_text = nullptr; // shared storage, or a run of this entry's own
    Ends m_end{};
    bool m_own = false;
};
