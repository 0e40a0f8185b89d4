#include "ManApp.h"

#include "BookReader.h"
#include "toolkit/AppInfo.h"
#include "toolkit/Dialogs.h"

ManApp::ManApp(Dialogs* dialogs) : m_dialogs(dialogs) {}

ManApp::~ManApp() = default;

int ManApp::LoadManItems(QString LocalTxlFile, QString SrvTxlFile) {
    const Ticket ticket = BeginLoad();
    Loaded loaded = Read(LocalTxlFile, SrvTxlFile);
    if (Report(ticket, loaded))
        Publish(ticket, std::move(loaded.items));
    return loaded.failed();
}

ManApp::Loaded ManApp::Read(const QString& LocalTxlFile, const QString& SrvTxlFile) {
    Loaded loaded;
    loaded.items = std::make_shared<::ManItems>();
    // A failed read keeps what it read before the failure, as the loader always did.
    for (auto [book, path] :
         {std::pair{&loaded.privateBook, &LocalTxlFile}, std::pair{&loaded.publicBook, &SrvTxlFile}}) {
        book->path = *path;
        book->read = BookReader::Read(*path, *loaded.items, book->error);
    }
    return loaded;
}

bool ManApp::Report(Ticket ticket, const Loaded& loaded) {
    const std::weak_ptr<char> alive = m_alive;
    const auto show = [&](bool isPrivate, const Book& book) {
        if (book.read || !m_dialogs)
            return true;
        m_dialogs->Message(AppInfo::ProductName(), LoadErrorText(isPrivate, book.error, book.path),
                           Dialogs::Icon::Error);
        return !alive.expired() && IsCurrent(ticket);
    };
    return IsCurrent(ticket) && show(true, loaded.privateBook) && show(false, loaded.publicBook);
}

bool ManApp::Publish(Ticket ticket, std::shared_ptr<::ManItems> items, std::shared_ptr<::ManItems>* previous) {
    if (!IsCurrent(ticket))
        return false;
    std::swap(m_items, items);
    if (previous)
        *previous = std::move(items);
    return true;
}

QString ManApp::LoadErrorText(bool isPrivate, const QString& reason, const QString& path) {
    return (isPrivate ? QStringLiteral("初始化本地电话簿错误：") : QStringLiteral("初始化公共电话簿错误：")) + reason +
           u'(' + path + u')';
}

std::shared_ptr<::ManItems> ManApp::ManItems() {
    if (!m_items)
        m_items = std::make_shared<::ManItems>();
    return m_items;
}

void ManApp::ManItems(std::shared_ptr<::ManItems> vData) {
    m_items = std::move(vData);
}
