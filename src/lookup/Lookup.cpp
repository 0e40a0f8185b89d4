#include "Lookup.h"

#include "phonebook/Directory.h"
#include "phonebook/ManApp.h"
#include "phonebook/ManItems.h"
#include "phonebook/SearchRule.h"
#include "toolkit/AppInfo.h"
#include "toolkit/Dialogs.h"

namespace Lookup {

bool Finds(const BookReader::Fields& fields, const SearchRule::Query& query) {
    return SearchRule::Finds(fields.ShortName, fields.FullName, fields.ExtTelNo, fields.MobilNo, fields.RoomNo, query);
}

Result Find(const QString& boxText, const QString& privateBook, const QString& publicBook, Dialogs& dialogs) {
    const SearchRule::Query query = SearchRule::Prepare(boxText);
    BookReader::Filter keep;
    if (!query.text.isEmpty())
        keep = [&query](const BookReader::Fields& fields) { return Finds(fields, query); };

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
