#pragma once

#include <QString>
#include <QStringView>

// Pinyin initials made from a name, for entries whose book gives none, so
// that they are found by initials like any other: a Han character gives the
// first letter of its reading in lower case (the first character of a
// person's name its surname reading, as the name order reads it); Latin
// letters and digits are kept as written, full-width ones as their ASCII
// forms; anything else (blanks, ·, punctuation, other scripts) is left out.
// 张三 zs, 单雄信 sxx, 曾凡 zf, 单位总机 dwzj, 王Amy2 wAmy2.
//
// Safe on any thread. A character's reading is asked of ICU's Han-to-Latin
// transliteration once per process and kept: asking it per name would cost
// more than reading the book.
namespace Initials {

// Writes the initials of `name` to `out`, which has room for name.size()
// units (initials are never longer than their name); answers how many it wrote.
qsizetype Make(QStringView name, char16_t* out);
QString Of(QStringView name);

} // namespace Initials
