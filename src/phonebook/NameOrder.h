#pragma once

#include "RadixSort.h"
#include "toolkit/LargeAllocator.h"

#include <QString>
#include <QStringView>

#include <span>

class QCollator;

// The order of names in the list: pinyin order as the Chinese (China)
// collator gives it, except that a name beginning with a surname that is read
// differently as a surname (曾 zēng, not céng) sorts by its surname reading.
// Equal names keep their order.
//
// Plain functions over plain data: safe on any thread (each call makes its own collator).
namespace NameOrder {

// Positions 0..n-1 of `names`, in name order; names that sort alike keep their relative order.
LargeVector<int> Sort(std::span<const QStringView> names);
// The same, sorting in `workspace` (left with no meaning, for the next sort).
LargeVector<int> Sort(std::span<const QStringView> names, RadixSort::Workspace& workspace);

// `name` as it is collated: a leading surname of the table replaced by a
// character that sorts where its surname reading does (曾凡 → 增凡). Other names unchanged.
QString AsSurnameReads(QStringView name);

// The same order, one comparison at a time, through the collator alone:
// the surname reading first, the name as written breaking ties. Slow; the
// reference the fast order must equal. `collator` is the one Collator() makes.
int Compare(const QCollator& collator, QStringView a, QStringView b);
QCollator Collator();

} // namespace NameOrder
