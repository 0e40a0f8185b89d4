// Arbitrary search texts over a fixed small book: every search must give
// exactly the entries the matching rule written out literally gives, in the
// directory's name order, each once. One input holds several searches, so the
// state the directory reuses between searches is exercised too.
#include "FuzzText.h"
#include "phonebook/Directory.h"
#include "phonebook/ManItems.h"
#include "toolkit/Toolkit.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

// Names chosen for the corners of lower-casing and of the prefix indexes: Chinese
// names, pinyin initials in mixed case, a name in both books, letters outside
// the BMP (Deseret, whose capitals lower-case to other surrogate pairs), İ,
// which grows when lower-cased, final sigma, ß, empty short names.
std::shared_ptr<ManItems> book() {
    auto items = std::make_shared<ManItems>();
    const char16_t* rows[][2] = {
        {u"王建国", u"wjg"}, {u"李晓梅", u"LXM"},   {u"张伟", u"zw"}, {u"张伟", u"ZW"},     {u"张伟强", u"zwq"},
        {u"刘洋", u""},      {u"İstanbul", u"ist"}, {u"Iİi", u"İİ"},  {u"ΣΟΦΙΑ", u"σοφια"}, {u"Straße", u"STRASSE"},
        {u"𐐀𐐁", u"𐐨"},       {u"a𐐀", u"A"},         {u"abc", u"ab"},  {u"ABC", u"abd"},     {u"Ab", u"aB"},
        {u"😀x", u"😀"},       {u"陈静", u"cj"},      {u"陈静", u"cj"}, {u"x", u"xİ"},        {u"ǅ", u"ǆ"},
    };
    for (const auto& row : rows)
        items->Add(QString::fromUtf16(row[0]), QString::fromUtf16(row[1]), QStringLiteral("8001"), QString(),
                   QString());
    return items;
}

bool literalMatch(const ManItem& entry, const QString& s) {
    const int n = Toolkit::TextLength(s);
    if (Toolkit::LeftPart(entry.ShortName(), n).toLower() == s || Toolkit::LeftPart(entry.FullName(), n).toLower() == s)
        return true;
    // Digits, and the blanks, dashes, pluses, brackets and dots written between them, look up the numbers.
    QString digits;
    for (const QChar c : s) {
        if (c >= u'0' && c <= u'9')
            digits += c;
        else if (!QStringLiteral(" -+().").contains(c))
            return false;
    }
    return !digits.isEmpty() && (entry.ExtTelNo().startsWith(digits) || entry.MobilNo().startsWith(digits) ||
                                 entry.RoomNo().startsWith(digits));
}

void check(Directory& directory, const QString& boxText) {
    const QString s = Directory::SearchText(boxText);
    const int count = directory.Search(boxText);
    if (count != directory.Count() || count != int(directory.Matches().size()))
        std::abort();
    int previous = -1;
    for (const int position : directory.Matches()) {
        if (position <= previous || position >= directory.Size()) // name order, each once
            std::abort();
        previous = position;
    }
    int expected = 0;
    for (int i = 0; i < directory.Size(); ++i)
        if (literalMatch(directory.Sorted(i), s))
            ++expected;
    if (expected != count)
        std::abort();
    for (int row = 0; row < count; ++row)
        if (!literalMatch(directory.Match(row), s))
            std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    return 0;
}

// Searches are separated by NUL characters, as keystrokes would follow each other.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::shared_ptr<ManItems> items = book();
    static Directory directory;
    if (directory.Source() != items.get())
        directory.Load(items);
    for (const QString& text : fuzzText(data, size).split(QChar(0)))
        check(directory, text);
    return 0;
}
