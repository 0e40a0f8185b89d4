#include "SearchRule.h"

namespace SearchRule {
namespace {

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Whether `number` without its separators begins with `digits`.
bool formBegins(QStringView number, QStringView digits) {
    qsizetype matched = 0;
    for (const QChar c : number) {
        if (matched == digits.size())
            return true;
        if (IsSeparator(c))
            continue;
        if (c != digits[matched])
            return false;
        ++matched;
    }
    return matched == digits.size();
}

} // namespace

QString Text(const QString& boxText) {
    qsizetype begin = 0;
    qsizetype end = boxText.size();
    while (begin < end && boxText.at(begin) == u' ')
        ++begin;
    while (end > begin && boxText.at(end - 1) == u' ')
        --end;
    return boxText.mid(begin, end - begin).toLower();
}

Query FromText(const QString& searchText) {
    Query query{searchText, QString()};
    for (const QChar c : searchText) {
        if (isDigit(c))
            query.digits += c;
        else if (!IsSeparator(c))
            return {searchText, QString()};
    }
    return query;
}

bool IsSeparator(QChar c) {
    switch (c.unicode()) {
    case u' ':
    case u'-':
    case u'+':
    case u'(':
    case u')':
    case u'.':
        return true;
    default:
        return false;
    }
}

void AppendNumberForm(QStringView number, QString& out) {
    for (const QChar c : number)
        if (!IsSeparator(c))
            out += c;
}

qsizetype NationalStart(QStringView number) {
    if (number.isEmpty() || number.front() != u'+')
        return -1;
    qsizetype i = 1;
    while (i < number.size() && isDigit(number[i]))
        ++i;
    const qsizetype codeLength = i - 1;
    if (codeLength < 1 || codeLength > 3)
        return -1; // written together: where the country code ends cannot be told
    const qsizetype codeEnd = i;
    while (i < number.size() && IsSeparator(number[i]) && number[i] != u'+')
        ++i;
    if (i == codeEnd || i == number.size() || !isDigit(number[i]))
        return -1;
    return i;
}

// lower(LeftPart(name, n)) == text with n = the length of text. Lower-casing
// maps each character of the Basic Multilingual Plane to one character, İ
// alone excepted: names holding İ or surrogates take the literal route.
bool NameBegins(QStringView name, QStringView text) {
    const qsizetype n = text.size();
    if (n == 0)
        return true;
    QStringView cut = name;
    if (n < name.size())
        cut = name.first(name[n - 1].isHighSurrogate() ? n - 1 : n);
    for (qsizetype i = 0; i < cut.size(); ++i) {
        const char16_t c = cut[i].unicode();
        char32_t lower = c;
        if (c < 0x80) {
            if (c >= u'A' && c <= u'Z')
                lower = c + (u'a' - u'A');
        } else if (QChar::isSurrogate(c) || c == 0x0130) {
            return cut.toString().toLower() == text;
        } else {
            lower = QChar::toLower(char32_t(c));
        }
        if (lower != text[i].unicode())
            return false;
    }
    return cut.size() == n;
}

bool NumberBegins(QStringView number, QStringView digits) {
    if (formBegins(number, digits))
        return true;
    const qsizetype national = NationalStart(number);
    return national >= 0 && formBegins(number.mid(national), digits);
}

bool Finds(QStringView shortName, QStringView fullName, QStringView ext, QStringView mobil, QStringView room,
           const Query& query) {
    if (NameBegins(shortName, query.text) || NameBegins(fullName, query.text))
        return true;
    return query.isNumber() &&
           (NumberBegins(ext, query.digits) || NumberBegins(mobil, query.digits) || NumberBegins(room, query.digits));
}

} // namespace SearchRule
