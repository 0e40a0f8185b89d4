#pragma once

#include <QString>
#include <QStringView>

// What a search text finds: the one rule of the window and the terminal look-up.
//
// The search text is the box's text with the blanks (U+0020) at both ends
// removed, lower-cased. An entry is found when its ShortName or its FullName,
// lower-cased, begins with it: lower(LeftPart(field, n)) == text, n = the
// text's length. A text made of digits and the separators people write in
// numbers (blank, - + ( ) .), with at least one digit, is also a number: its
// digits are looked for at the start of each number's digits (the number
// without those separators), and of an international number's national part
// (+86 138 0013 8000 is found by 138 0013 as well as by +86 138).
namespace SearchRule {

struct Query {
    QString text;   // trimmed and lower-cased
    QString digits; // a number search's digits; empty when the text is no number
    bool isNumber() const { return !digits.isEmpty(); }
};

// The search text of the box's text.
QString Text(const QString& boxText);
// A search text (see Text) ready to search with.
Query FromText(const QString& searchText);
inline Query Prepare(const QString& boxText) {
    return FromText(Text(boxText));
}

bool IsSeparator(QChar c);
// A number as its digits are searched: `number` without the separators.
void AppendNumberForm(QStringView number, QString& out);
// Where an international number's national part begins ("+", a country code
// of one to three digits, separators, then a digit), or -1.
qsizetype NationalStart(QStringView number);

bool NameBegins(QStringView name, QStringView text);
bool NumberBegins(QStringView number, QStringView digits);

bool Finds(QStringView shortName, QStringView fullName, QStringView ext, QStringView mobil, QStringView room,
           const Query& query);

} // namespace SearchRule
