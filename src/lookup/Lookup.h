#pragma once

#include "phonebook/BookReader.h"
#include "phonebook/ManItem.h"
#include "phonebook/SearchRule.h"

#include <QString>

#include <memory>
#include <vector>

class Dialogs;

// The terminal look-up: the window's search over both books in one pass. Only
// the entries the text finds are kept, and only they are put in name order, so
// a look-up costs about one decoding of the books.
namespace Lookup {

// Whether the search finds an entry with these fields: the window's rule.
bool Finds(const BookReader::Fields& fields, const SearchRule::Query& query);

struct Result {
    std::vector<std::shared_ptr<const ManItem>> rows; // in the window's name order
    int failedBooks = 0;
};

// Searches both books for the search box's text `boxText`. A book that cannot
// be read is reported to `dialogs` as the window reports it; the other is still
// searched.
Result Find(const QString& boxText, const QString& privateBook, const QString& publicBook, Dialogs& dialogs);

} // namespace Lookup
