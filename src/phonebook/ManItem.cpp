#include "ManItem.h"

#include "toolkit/LargeAllocator.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {
// Blocks double up to this size; a hint or a huge entry may ask for more.
constexpr std::size_t kMaxStep = std::size_t(8) << 20;
// A block of a quarter of a huge page or more is made of whole huge pages:
// one page fault per 2 MiB costs less than faulting its 4 KiB pages one by one.
constexpr std::size_t kHugePage = LargeAllocator<char>::kHugePage;

std::size_t total(const ManItem::Texts& texts) {
    std::size_t n = 0;
    for (const QStringView t : texts)
        n += std::size_t(t.size());
    return n;
}

// Copies the texts one after the other to `out` and says where each ends.
ManItem::Ends pack(const ManItem::Texts& texts, char16_t* out) {
    ManItem::Ends ends{};
    quint32 at = 0;
    for (std::size_t f = 0; f < texts.size(); ++f) {
        if (!texts[f].isEmpty())
            std::memcpy(out + at, texts[f].utf16(), std::size_t(texts[f].size()) * sizeof(char16_t));
        at += quint32(texts[f].size());
        ends[f] = at;
    }
    return ends;
}
} // namespace

ManItem::ManItem(const ManItem& other) {
    own(other.texts());
}

ManItem& ManItem::operator=(const ManItem& other) {
    if (this != &other)
        own(other.texts());
    return *this;
}

ManItem::~ManItem() {
    drop();
}

void ManItem::drop() {
    if (m_own)
        delete[] m_text;
    m_text = nullptr;
    m_own = false;
}

void ManItem::own(const Texts& texts) {
    // The texts may lie in this entry's own run: pack them before letting it go.
    const std::size_t n = total(texts);
    char16_t* run = n ? new char16_t[n] : nullptr;
    const Ends ends = run ? pack(texts, run) : Ends{};
    drop();
    m_text = run;
    m_own = run != nullptr;
    m_end = ends;
}

void ManItem::setField(EntryField which, QStringView value) {
    Texts now = texts();
    now[indexOf(which)] = value;
    own(now);
}

ManItem::Store::~Store() {
    for (const Block& block : m_blocks) {
        for (ManItem* item = block.items; item < block.end; ++item)
            item->~ManItem();
        LargeAllocator<char>().deallocate(block.base, block.size);
    }
}

void ManItem::Store::expect(std::size_t units, std::size_t entries) {
    m_nextSize = std::max(m_nextSize, units * sizeof(char16_t) + entries * sizeof(ManItem));
}

void ManItem::Store::grow(std::size_t bytes) {
    std::size_t size = std::max(bytes + alignof(ManItem), m_nextSize);
    if (size >= kHugePage / 4)
        size = (size + kHugePage - 1) / kHugePage * kHugePage;
    char* const base = LargeAllocator<char>().allocate(size);
    auto* const end = reinterpret_cast<ManItem*>(base + size / sizeof(ManItem) * sizeof(ManItem));
    m_blocks.push_back(Block{base, size, end, end});
    m_text = reinterpret_cast<char16_t*>(base);
    m_nextSize = std::min(size * 2, kMaxStep);
}

char16_t* ManItem::Store::room(std::size_t units) {
    const std::size_t need = units * sizeof(char16_t) + sizeof(ManItem);
    if (m_blocks.empty() ||
        std::size_t(reinterpret_cast<char*>(m_blocks.back().items) - reinterpret_cast<char*>(m_text)) < need)
        grow(need);
    return m_text;
}

ManItem* ManItem::Store::make(const Ends& ends) {
    ManItem* item = new (m_blocks.back().items - 1) ManItem;
    m_blocks.back().items = item;
    item->m_text = m_text;
    item->m_end = ends;
    m_text += ends.back();
    return item;
}

ManItem* ManItem::Store::make(const Texts& texts) {
    return make(pack(texts, room(total(texts))));
}
