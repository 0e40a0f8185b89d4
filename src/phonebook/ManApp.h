#pragma once

#include "ManItems.h"

#include <QString>

#include <memory>

class Dialogs;

// Owns the current entry collection and rebuilds it from both phone books.
class ManApp {
public:
    // `dialogs` receives one error box per book that cannot be read; may be null.
    explicit ManApp(Dialogs* dialogs = nullptr);

    // Replaces the collection with the private book's entries followed by the
    // public book's. A book that cannot be read is reported and skipped; the load
    // itself never fails. Answers how many books could not be read.
    int LoadManItems(QString LocalTxlFile, QString SrvTxlFile);

    // Never null: an empty collection is made on first use.
    std::shared_ptr<::ManItems> ManItems();
    void ManItems(std::shared_ptr<::ManItems> vData);

    // The exact text of the error box for a book (`isPrivate` selects which).
    static QString LoadErrorText(bool isPrivate, const QString& reason, const QString& path);

private:
    bool loadBook(bool isPrivate, const QString& path);

    Dialogs* m_dialogs;
    std::shared_ptr<::ManItems> m_items;
};
