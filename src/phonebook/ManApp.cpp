#include "ManApp.h"

#include "BookReader.h"
#include "toolkit/AppInfo.h"
#include "toolkit/Dialogs.h"

ManApp::ManApp(Dialogs* dialogs) : m_dialogs(dialogs) {}

int ManApp::LoadManItems(QString LocalTxlFile, QString SrvTxlFile) {
    m_items = std::make_shared<::ManItems>();
    int failed = 0;
    if (!loadBook(true, LocalTxlFile))
        ++failed;
    if (!loadBook(false, SrvTxlFile))
        ++failed;
    return failed;
}

bool ManApp::loadBook(bool isPrivate, const QString& path) {
    QString reason;
    if (BookReader::Read(path, *m_items, reason))
        return true;
    if (m_dialogs)
        m_dialogs->Message(AppInfo::ProductName(), LoadErrorText(isPrivate, reason, path), Dialogs::Icon::Error);
    return false;
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
