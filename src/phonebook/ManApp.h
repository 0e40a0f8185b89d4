#pragma once

#include "ManItems.h"

#include <QString>

#include <cstdint>
#include <memory>

class Dialogs;

// Owns the current entry collection and rebuilds it from both phone books.
//
// A load builds its collection aside and publishes it only when complete, so
// a search never sees half a load. The loader's boxes are nested event loops:
// another load may start while one waits in a box. The later load supersedes
// the earlier, which then shows no further box and publishes nothing, so no
// entry is ever added twice.
class ManApp {
public:
    // `dialogs` receives one error box per book that cannot be read; may be null.
    explicit ManApp(Dialogs* dialogs = nullptr);
    ~ManApp();
    ManApp(const ManApp&) = delete;
    ManApp& operator=(const ManApp&) = delete;

    // Replaces the collection with the private book's entries followed by the
    // public book's. A book that cannot be read is reported and skipped; the load
    // itself never fails. Answers how many books could not be read.
    int LoadManItems(QString LocalTxlFile, QString SrvTxlFile);

    // Never null: an empty collection is made on first use.
    std::shared_ptr<::ManItems> ManItems();
    void ManItems(std::shared_ptr<::ManItems> vData);

    // The exact text of the error box for a book (`isPrivate` selects which).
    static QString LoadErrorText(bool isPrivate, const QString& reason, const QString& path);

    // The steps of a load, for callers that read on another thread.
    struct Book {
        QString path;
        bool read = false;
        QString error; // why it could not be read
    };
    struct Loaded {
        std::shared_ptr<::ManItems> items;
        Book privateBook, publicBook;
        int failed() const { return int(!privateBook.read) + int(!publicBook.read); }
    };
    using Ticket = std::uint64_t;

    // Reads both books into a new collection. Touches nothing shared: safe on any thread.
    static Loaded Read(const QString& LocalTxlFile, const QString& SrvTxlFile);
    // Starts a load: every load begun earlier is superseded from now on.
    Ticket BeginLoad() { return ++m_generation; }
    bool IsCurrent(Ticket ticket) const { return ticket == m_generation; }
    // Supersedes every load under way without starting one (the program is ending).
    void AbandonLoads() { ++m_generation; }
    // Shows the boxes for the books `loaded` could not read, private book first.
    // False as soon as the load is no longer current after a box, or this object
    // was destroyed during one; the caller must then not touch it.
    bool Report(Ticket ticket, const Loaded& loaded);
    // Makes `items` the current collection when the load is still current. The
    // collection it replaces goes to `previous`, so the caller decides where it is freed.
    bool Publish(Ticket ticket, std::shared_ptr<::ManItems> items, std::shared_ptr<::ManItems>* previous = nullptr);
    // Expires when this object is destroyed: for callers that wait in between.
    std::weak_ptr<const void> Lifetime() const { return m_alive; }

private:
    Dialogs* m_dialogs;
    std::shared_ptr<::ManItems> m_items;
    Ticket m_generation = 0;
    // Expires with the object; checked after every box.
    std::shared_ptr<char> m_alive = std::make_shared<char>();
};
