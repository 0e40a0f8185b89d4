#include "RadixSort.h"

#include <array>
#include <vector>

namespace RadixSort {

void ByKey(Items& items, Items& scratch) {
    constexpr int kDigits = 4;
    constexpr std::size_t kBuckets = 1u << 16;
    if (items.size() < 2)
        return;
    // All four histograms in one pass.
    std::array<std::vector<quint32>, kDigits> counts;
    for (auto& c : counts)
        c.assign(kBuckets, 0);
    for (const Keyed& item : items)
        for (int d = 0; d < kDigits; ++d)
            ++counts[std::size_t(d)][(item.key >> (16 * d)) & 0xFFFF];

    scratch.resize(items.size());
    for (int d = 0; d < kDigits; ++d) {
        const int shift = 16 * d;
        std::vector<quint32>& next = counts[std::size_t(d)];
        if (next[(items.front().key >> shift) & 0xFFFF] == items.size())
            continue;
        quint32 at = 0;
        for (quint32& n : next) {
            const quint32 here = n;
            n = at;
            at += here;
        }
        for (const Keyed& item : items)
            scratch[next[(item.key >> shift) & 0xFFFF]++] = item;
        items.swap(scratch);
    }
}

} // namespace RadixSort
