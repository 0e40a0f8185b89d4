#include "ManItem.h"

#include <algorithm>

namespace {
constexpr qsizetype kBlockChars = 32 * 1024;
constexpr std::size_t kSlabEntries = 512;

qsizetype total(const ManItem::Texts& texts) {
    qsizetype n = 0;
    for (const QStringView t : texts)
        n += t.size();
    return n;
}
} // namespace

void ManItem::assign(std::shared_ptr<char16_t[]> block, qsizetype offset, const Texts& texts) {
    qsizetype at = offset;
    for (std::size_t f = 0; f < texts.size(); ++f) {
        m_start[f] = quint32(at);
        std::copy_n(texts[f].utf16(), texts[f].size(), block.get() + at);
        at += texts[f].size();
    }
    m_start[5] = quint32(at);
    m_block = std::move(block);
}

void ManItem::setField(int f, QStringView value) {
    // Copy out first: `value` may point into this entry's own block.
    std::array<QString, 5> kept;
    for (int i = 0; i < 5; ++i)
        kept[std::size_t(i)] = i == f ? value.toString() : field(i).toString();
    const Texts texts{kept[0], kept[1], kept[2], kept[3], kept[4]};
    assign(std::make_shared<char16_t[]>(std::size_t(std::max<qsizetype>(total(texts), 1))), 0, texts);
}

std::shared_ptr<ManItem> ManItem::Packer::make(const Texts& texts) {
    if (!m_slab || m_slabUsed == kSlabEntries) {
        m_slab = std::make_shared<ManItem[]>(kSlabEntries);
        m_slabUsed = 0;
    }
    // Shares ownership of the slab, points at one entry in it.
    std::shared_ptr<ManItem> entry(m_slab, &m_slab[m_slabUsed++]);
    const qsizetype need = total(texts);
    if (need == 0)
        return entry;
    if (need > kBlockChars / 4) {
        // A huge entry gets a block of its own rather than wasting a shared one.
        entry->assign(std::make_shared_for_overwrite<char16_t[]>(std::size_t(need)), 0, texts);
        return entry;
    }
    if (!m_block || m_capacity - m_used < need) {
        m_block = std::make_shared_for_overwrite<char16_t[]>(std::size_t(kBlockChars));
        m_used = 0;
        m_capacity = kBlockChars;
    }
    entry->assign(m_block, m_used, texts);
    m_used += need;
    return entry;
}
