#include "RadixSort.h"

#include <bit>
#include <vector>

namespace RadixSort {

void ByKey(Items& items, Items& scratch) {
    // 11-bit digits: the counts stay small enough for the cache and the
    // scattered writes go to 2,048 places at a time.
    constexpr int kBits = 11;
    constexpr std::size_t kBuckets = std::size_t(1) << kBits;
    constexpr quint64 kMask = kBuckets - 1;
    if (items.size() < 2)
        return;
    // Only the bits that differ between keys need passes: four digits'
    // worth for phone numbers that all begin with 13 and end with the key.
    quint64 varying = 0;
    for (const Keyed& item : items)
        varying |= item.key ^ items.front().key;
    if (varying == 0)
        return;
    const int low = std::countr_zero(varying);
    const int passes = (64 - std::countl_zero(varying) - low + kBits - 1) / kBits;

    std::vector<quint32> counts(std::size_t(passes) * kBuckets, 0);
    for (const Keyed& item : items)
        for (int d = 0; d < passes; ++d)
            ++counts[std::size_t(d) * kBuckets + ((item.key >> (low + kBits * d)) & kMask)];

    scratch.resize(items.size());
    for (int d = 0; d < passes; ++d) {
        const int shift = low + kBits * d;
        quint32* next = counts.data() + std::size_t(d) * kBuckets;
        if (next[(items.front().key >> shift) & kMask] == items.size())
            continue;
        quint32 at = 0;
        for (std::size_t b = 0; b < kBuckets; ++b) {
            const quint32 here = next[b];
            next[b] = at;
            at += here;
        }
        for (const Keyed& item : items)
            scratch[next[(item.key >> shift) & kMask]++] = item;
        items.swap(scratch);
    }
}

} // namespace RadixSort
