#pragma once

#include "RadixSort.h"
#include "toolkit/LargeAllocator.h"

#include <QString>
#include <QStringView>

#include <span>

class QCollator;

// The order of names in the list: pinyin order as the Chinese (China)
// collator gives it, except that a person's name beginning with a surname
// that is read differently as a surname (曾 zēng, not céng) sorts by its
// surname reading. Equal names keep their order.
//
// Plain functions over plain data: safe on any thread (each call makes its own collator).
namespace NameOrder {

// A name as the order sees it: the entry's FullName and its initials
// (ShortName, may be empty), which tell how its first character is read.
struct Name {
    QStringView text;
    QStringView initials;
};

// Positions 0..n-1 of `names`, in name order; names that sort alike keep their
// relative order. `initials` holds each name's initials, or is empty for none.
LargeVector<int> Sort(std::span<const QStringView> names, std::span<const QStringView> initials = {});
// The same, sorting in `workspace` (left with no meaning, for the next sort).
LargeVector<int> Sort(std::span<const QStringView> names, std::span<const QStringView> initials,
                      RadixSort::Workspace& workspace);

// Whether the name's first character takes its surname reading: only a
// person's name does. The initials decide when their first letter is that
// of one reading alone (单位总机 dwzj reads dān, 单雄信 sxx shàn); otherwise
// the name's length does: two or three characters, four after a compound
// surname (乐正).
bool ReadsAsSurname(Name name);

// For a name without initials: the first letter of the reading its first
// character takes, when that character has a surname reading of its own
// (单雄信 s, 单位总机 d); 0 for any other character. Initials made with it
// lead the order to read the name the same way.
char16_t FirstInitial(QStringView name);

// The name's text as it is collated: when it reads as a surname, its first
// character replaced by one that sorts where the surname reading does
// (曾凡 → 增凡). Other names unchanged.
QString AsSurnameReads(Name name);

// The same order, one comparison at a time, through the collator alone:
// the reading first, the name as written breaking ties. Slow; the reference
// the fast order must equal. `collator` is the one Collator() makes.
int Compare(const QCollator& collator, Name a, Name b);
QCollator Collator();

} // namespace NameOrder
