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
const QString kCrlf = QStringLiteral("\r\n");

// The editor, or the desktop's opener, could not open the private book:
// the user is told where it is, to open it by hand.
QString editFailedText(const QString& path, const QString& words) {
    return QStringLiteral("无法打开个人电话簿：") + path + u'\n' + words + u'\n' +
           QStringLiteral("请用文本编辑器手动打开这个文件。");
}

// No browser could be started. Where the registry names the browser, the
// user is told to install one; elsewhere what was tried is named.
QString noBrowserText(const QString& words) {
    const QString opener = ProgramLauncher::DesktopOpener();
    const QString advice =
        opener.isEmpty()
            ? QStringLiteral("您的系统可能没有装IE浏览器，请用其他浏览器访问以下网址。")
            : QStringLiteral("已尝试用桌面的网页打开程序（%1）打开网页，但没能启动浏览器。请用浏览器访问以下网址。")
                  .arg(opener);
    return QStringLiteral("发生以下错误：") + kCrlf + words + kCrlf + advice + kCrlf + DesktopCommands::MakerUrl();
}
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
    const QString editor = ProgramLauncher::TextEditor();
    const auto failed = [this, title, path](const QString& words) {
        m_dialogs.Message(title, editFailedText(path, words), Dialogs::Icon::Error);
    };
    QString error;
    if (!m_launcher->Open(editor, {path}, error, failed)) {
        if (editor.isEmpty())
            error = QStringLiteral("找不到打开文件的程序 (%1)").arg(ProgramLauncher::DesktopOpener());
        failed(error);
    }
}

void DesktopCommands::OpenMakerPage() {
    const QString browser =
        Toolkit::ReadRegValue(QStringLiteral("HKEY_LOCAL_MACHINE"), kBrowserKey, QString(), msRegStatus);
    if (msRegStatus == QLatin1String("OK")) {
        const auto failed = [this](const QString& words) {
            m_dialogs.Message(AppInfo::Title(), noBrowserText(words), Dialogs::Icon::Warning);
        };
        QString error;
        if (!m_launcher->Open(browser, {MakerUrl()}, error, failed))
            m_dialogs.Message(AppInfo::Title(),
                              QStringLiteral("无法启动浏览器：") + error + kCrlf +
                                  QStringLiteral("请用其他浏览器访问以下网址。") + kCrlf + MakerUrl(),
                              Dialogs::Icon::Warning);
        return;
    }
    m_dialogs.Message(AppInfo::Title(), noBrowserText(msRegStatus), Dialogs::Icon::Question);
}
