#include "Lookup.h"

#include "phonebook/Directory.h"
#include "phonebook/ManApp.h"
#include "phonebook/ManItems.h"
#include "toolkit/AppInfo.h"
#include "toolkit/Dialogs.h"

#include <algorithm>

namespace Lookup {
namespace {

bool isNumberSearch(QStringView s) {
    return !s.isEmpty() && std::all_of(s.begin(), s.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// lower(LeftPart(field, n)) == s with n = the length of s. Lower-casing maps
// each character of the Basic Multilingual Plane to one character, İ alone
// excepted: texts holding İ or surrogates take the literal route.
bool begins(QStringView field, QStringView s) {
    const qsizetype n = s.size();
    if (n == 0)
        return true;
    QStringView cut = field;
    if (n < field.size())
        cut = field.first(field[n - 1].isHighSurrogate() ? n - 1 : n);
    for (qsizetype i = 0; i < cut.size(); ++i) {
        const char16_t c = cut[i].unicode();
        char32_t lower = c;
        if (c < 0x80) {
            if (c >= u'A' && c <= u'Z')
                lower = c + (u'a' - u'A');
        } else if (QChar::isSurrogate(c) || c == 0x0130) {
            return cut.toString().toLower() == s;
        } else {
            lower = QChar::toLower(char32_t(c));
        }
        if (lower != s[i].unicode())
            return false;
    }
    return cut.size() == n;
}

} // namespace

bool Finds(const BookReader::Fields& fields, const QString& searchText) {
    if (begins(fields.ShortName, searchText) || begins(fields.FullName, searchText))
        return true;
    return isNumberSearch(searchText) &&
           (fields.ExtTelNo.startsWith(searchText) || fields.MobilNo.startsWith(searchText) ||
            fields.RoomNo.startsWith(searchText));
}

Result Find(const QString& boxText, const QString& privateBook, const QString& publicBook, Dialogs& dialogs) {
    const QString s = Directory::SearchText(boxText);
    BookReader::Filter keep;
    if (!s.isEmpty())
        keep = [&s](const BookReader::Fields& fields) { return Finds(fields, s); };

    Result result;
    auto hits = std::make_shared<ManItems>();
    const auto read = [&](bool isPrivate, const QString& path) {
        QString reason;
        if (BookReader::Read(path, *hits, reason, keep))
            return;
        dialogs.Message(AppInfo::ProductName(), ManApp::LoadErrorText(isPrivate, reason, path), Dialogs::Icon::Error);
        ++result.failedBooks;
    };
    read(true, privateBook);
    read(false, publicBook);

    // Every hit, in the order the window lists them.
    Directory directory;
    directory.Load(hits);
    directory.Search(QString());
    result.rows.reserve(std::size_t(directory.Count()));
    for (int row = 0; row < directory.Count(); ++row) {
        // The directory's entries are the collection's; share them with the caller.
        result.rows.push_back(std::shared_ptr<const ManItem>(hits, &directory.Match(row)));
    }
    return result;
}

} // namespace Lookup
