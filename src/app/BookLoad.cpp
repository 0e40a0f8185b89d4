#include "BookLoad.h"

#include "Aside.h"
#include "phonebook/Directory.h"
#include "phonebook/ManApp.h"

namespace BookLoad {

bool Run(ManApp& app, const QString& LocalTxlFile, const QString& SrvTxlFile, const Swap& swap) {
    const ManApp::Ticket ticket = app.BeginLoad();
    const std::weak_ptr<const void> alive = app.Lifetime();
    ManApp::Loaded loaded;
    auto directory = std::make_shared<Directory>();
    Aside::Run([&] {
        loaded = ManApp::Read(LocalTxlFile, SrvTxlFile);
        directory->Load(loaded.items);
    });

    bool published = false;
    std::shared_ptr<ManItems> previous;
    if (!alive.expired() && app.Report(ticket, loaded) && app.Publish(ticket, loaded.items, &previous)) {
        published = true;
        directory = swap(std::move(directory));
    }
    // Freeing a large collection takes a while too: whatever is not shown now
    // (the replaced one, or this load's own when it was superseded) goes aside.
    Aside::Run([&] {
        loaded.items.reset();
        previous.reset();
        directory.reset();
    });
    return published;
}

} // namespace BookLoad
