#pragma once

#include "toolkit/LargeAllocator.h"

#include <QtGlobal>

#include <algorithm>

// Sorting a million short texts with a comparator costs a cache miss per
// comparison; sorting fixed-width keys made from them costs a few sequential
// passes. The name order and the prefix indexes key each text by its first
// characters and settle the rare ties on the texts themselves.
namespace RadixSort {

struct Keyed {
    quint64 key;
    quint32 position;
    quint32 flags; // non-zero: the key alone does not settle this item's order
};
using Items = LargeVector<Keyed>;

// Working space for the sorts of one load, handed from one sort to the next
// so that a million entries fault their pages in once, not once per sort.
struct Workspace {
    Items items;
    Items scratch;
};

// Stable sort by key, 11 bits a pass from the least significant; a pass in
// which every key has the same digit is skipped. `scratch` is working space.
void ByKey(Items& items, Items& scratch);

// After ByKey: every run of equal keys holding a flagged item is put in order
// by `less` (stable, so items that `less` cannot tell apart keep their order).
template <class Less> void SettleTies(Items& items, Less less) {
    std::size_t begin = 0;
    while (begin < items.size()) {
        std::size_t end = begin + 1;
        bool flagged = items[begin].flags != 0;
        while (end < items.size() && items[end].key == items[begin].key) {
            flagged = flagged || items[end].flags != 0;
            ++end;
        }
        if (flagged && end - begin > 1)
            std::stable_sort(items.begin() + std::ptrdiff_t(begin), items.begin() + std::ptrdiff_t(end), less);
        begin = end;
    }
}

} // namespace RadixSort
