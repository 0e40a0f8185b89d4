#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <memory>

// One phone-book entry: five texts, none of them interpreted.
//
// The texts live side by side in a block of characters that entries of one
// load share (one allocation per block instead of five per entry); an entry
// keeps its block alive, so it stays valid on its own. A setter gives the entry
// a block of its own.
class ManItem {
public:
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

    // Makes entries in slabs and packs their texts into shared blocks, so a
    // load costs a few large allocations instead of several per entry. Each
    // entry keeps its slab and block alive.
    class Packer {
    public:
        std::shared_ptr<ManItem> make(const Texts& texts);

    private:
        std::shared_ptr<ManItem[]> m_slab;
        std::size_t m_slabUsed = 0;
        std::shared_ptr<char16_t[]> m_block;
        qsizetype m_used = 0;
        qsizetype m_capacity = 0;
    };

private:
    enum Field { kFull, kShort, kExt, kMobil, kRoom };
    QStringView field(int f) const {
        return m_block ? QStringView(m_block.get() + m_start[f], m_start[f + 1] - m_start[f]) : QStringView();
    }
    void setField(int f, QStringView value);
    void assign(std::shared_ptr<char16_t[]> block, qsizetype offset, const Texts& texts);

    std::shared_ptr<const char16_t[]> m_block; // null while every field is empty
    std::array<quint32, 6> m_start{};          // field f is [m_start[f], m_start[f + 1]) of the block
};
