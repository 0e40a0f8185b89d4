#include "DesktopCommands.h"

#include "TXLMain.h"
#include "toolkit/AppInfo.h"
#include "toolkit/Dialogs.h"
#include "toolkit/ProgramLauncher.h"
#include "toolkit/Toolkit.h"

#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>

namespace {
const QString kBrowserKey = QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE");
// What a new private book holds: one comment line naming the columns.
const QString kNewPrivateBook = QStringLiteral("'姓名\t缩写\t分机\t手机\t房号/直拨\r\n");
} // namespace

DesktopCommands::DesktopCommands(Dialogs& dialogs)
    : m_dialogs(dialogs), m_ownLauncher(std::make_unique<DetachedLauncher>()), m_launcher(m_ownLauncher.get()) {}

DesktopCommands::~DesktopCommands() = default;

void DesktopCommands::setLauncher(ProgramLauncher* launcher) {
    m_launcher = launcher ? launcher : m_ownLauncher.get();
}

QString DesktopCommands::MakerUrl() {
    return QStringLiteral("http://www.lumeo-studio.example/");
}

void DesktopCommands::EditPrivateBook(const QString& title) {
    if (!TXLMain::HasSettings())
        return;
    const QString path = TXLMain::Text(TXLMain::kLocalTxlFile);
    if (!QFileInfo::exists(path)) {
        QFile book(path);
        QStringEncoder encoder("GBK");
        const QByteArray header = encoder(kNewPrivateBook);
        if (!book.open(QIODevice::WriteOnly | QIODevice::NewOnly) || book.write(header) != header.size()) {
            m_dialogs.Message(title, QStringLiteral("无法创建个人电话簿：") + book.errorString() + u'(' + path + u')',
                              Dialogs::Icon::Error);
            return;
        }
    }
    QString error;
    if (!m_launcher->Start(ProgramLauncher::TextEditor(), {path}, error))
        m_dialogs.Message(title, QStringLiteral("无法启动文本编辑器：") + error + u'(' + path + u')',
                          Dialogs::Icon::Error);
}

void DesktopCommands::OpenMakerPage() {
    const QString browser =
        Toolkit::ReadRegValue(QStringLiteral("HKEY_LOCAL_MACHINE"), kBrowserKey, QString(), msRegStatus);
    const QString crlf = QStringLiteral("\r\n");
    if (msRegStatus == QLatin1String("OK")) {
        QString error;
        if (!m_launcher->Start(browser, {MakerUrl()}, error))
            m_dialogs.Message(AppInfo::Title(),
                              QStringLiteral("无法启动浏览器：") + error + crlf +
                                  QStringLiteral("请用其他浏览器访问以下网址。") + crlf + MakerUrl(),
                              Dialogs::Icon::Warning);
        return;
    }
    m_dialogs.Message(AppInfo::Title(),
                      QStringLiteral("发生以下错误：") + crlf + msRegStatus + crlf +
                          QStringLiteral("您的系统可能没有装IE浏览器，请用其他浏览器访问以下网址。") + crlf +
                          MakerUrl(),
                      Dialogs::Icon::Question);
}
