#pragma once

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

    QString RoomNo() const { return field(kRoom).toString(); }
    void RoomNo(const QString& vData) { setField(kRoom, vData); }
    QString MobilNo() const { return field(kMobil).toString(); }
    void MobilNo(const QString& vData) { setField(kMobil, vData); }
    QString ExtTelNo() const { return field(kExt).toString(); }
    void ExtTelNo(const QString& vData) { setField(kExt, vData); }
    QString ShortName() const { return field(kShort).toString(); }
    void ShortName(const QString& vData) { setField(kShort, vData); }
    QString FullName() const { return field(kFull).toString(); }
    void FullName(const QString& vData) { setField(kFull, vData); }

    // Read access without a copy, for the search; valid while the entry lives.
    QStringView fullNameView() const { return field(kFull); }
    QStringView shortNameView() const { return field(kShort); }
    QStringView extTelNoView() const { return field(kExt); }
    QStringView mobilNoView() const { return field(kMobil); }
    QStringView roomNoView() const { return field(kRoom); }

    // The five texts in file order: FullName, ShortName, ExtTelNo, MobilNo, RoomNo.
    using Texts = std::array<QStringView, 5>;
    // Where each text ends in the entry's run, in the same order.
    using Ends = std::array<quint32, 5>;
    // All five views at once, in file order.
    Texts texts() const { return {field(kFull), field(kShort), field(kExt), field(kMobil), field(kRoom)}; }

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
    enum Field { kFull, kShort, kExt, kMobil, kRoom };
    QStringView field(int f) const {
        const quint32 begin = f == 0 ? 0 : m_end[std::size_t(f - 1)];
        return QStringView(m_text + begin, qsizetype(m_end[std::size_t(f)] - begin));
    }
    void setField(int f, QStringView value);
    void own(const Texts& texts);
    void drop();

    const char16_t* m_text = nullptr; // shared storage, or a run of this entry's own
    Ends m_end{};
    bool m_own = false;
};
