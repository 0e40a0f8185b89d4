#pragma once

#include <QByteArrayView>

#include <array>
#include <cstdint>

// Code page 936 without the converter's per-call cost, for the loader's hot
// path. The table is filled once from the "GBK" codec itself, so it says what
// that codec says; whatever it cannot answer (a lead byte without a valid
// trail, an unmapped pair) is left to the codec.
namespace Cp936 {

class Table {
public:
    // The character of single byte `b` (not a lead byte), 0 when the codec must decide.
    char16_t single(unsigned char b) const { return m_single[b]; }
    bool isLead(unsigned char b) const { return b >= 0x81 && b <= 0xFE; }
    // The character of a lead and a trail byte, 0 when the codec must decide.
    char16_t pair(unsigned char lead, unsigned char trail) const {
        return trail >= kFirstTrail ? m_pair[(lead - 0x81) * kTrails + (trail - kFirstTrail)] : 0;
    }
    bool valid() const { return m_valid; }

    // The table of this process, built on first use; valid() false without a codec.
    static const Table& get();

private:
    static constexpr int kFirstTrail = 0x40;
    static constexpr int kTrails = 0x100 - kFirstTrail;
    Table();

    std::array<char16_t, 256> m_single{};
    std::array<char16_t, 126 * kTrails> m_pair{};
    bool m_valid = false;
};

} // namespace Cp936
