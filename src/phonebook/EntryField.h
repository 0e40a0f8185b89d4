#pragma once

#include <array>
#include <cstddef>

// The fields of a phone-book entry, in the order a book line lists them.
// A new field starts here: the entry's storage, the search indexes, the
// result list, its copy menu and the terminal look-up take their fields
// from these lists.
enum class EntryField : unsigned char { Name, Initials, Extension, Mobile, Room };

inline constexpr std::array kEntryFields{EntryField::Name, EntryField::Initials, EntryField::Extension,
                                         EntryField::Mobile, EntryField::Room};
inline constexpr std::size_t kEntryFieldCount = kEntryFields.size();

constexpr std::size_t indexOf(EntryField field) {
    return std::size_t(field);
}

// Searched as names: lower-cased, by any leading text.
inline constexpr std::array kNameFields{EntryField::Initials, EntryField::Name};
// Searched as numbers: by their leading digits, separators left out.
inline constexpr std::array kNumberFields{EntryField::Extension, EntryField::Mobile, EntryField::Room};

// A field as the result list shows it.
struct ShownField {
    EntryField field;
    const char16_t* header;      // the column's header
    const char16_t* copyCaption; // the copy menu's item for it
    const char16_t* leastText;   // the column is never narrower than this text
    double widthShare;           // fraction of the list's width; they add up to 1
};

// The fields the result list shows, in its column order (the terminal
// look-up prints them in the same order).
inline constexpr std::array kShownFields{
    ShownField{EntryField::Name, u"姓名", u"复制姓名", u"姓名姓名", 0.2},
    ShownField{EntryField::Extension, u"分机", u"复制分机", u"00000000", 0.2},
    ShownField{EntryField::Room, u"房号/直拔", u"复制房号/直拨", u"00000000", 0.25},
    ShownField{EntryField::Mobile, u"手机", u"复制手机", u"00000000000", 0.35},
};

// The copy menu's items, top to bottom.
inline constexpr std::array kCopyMenuFields{EntryField::Mobile, EntryField::Extension, EntryField::Room,
                                            EntryField::Name};

// The place of a shown field among the list's columns (-1 when not shown).
constexpr int shownColumnOf(EntryField field) {
    for (std::size_t c = 0; c < kShownFields.size(); ++c)
        if (kShownFields[c].field == field)
            return int(c);
    return -1;
}
