#include "frmMain.h"

#include "AppIcon.h"
#include "FirstStart.h"
#include "ResultList.h"
#include "ResultModel.h"
#include "TXLMain.h"
#include "Twips.h"
#include "ftp/FtpItem.h"
#include "phonebook/ManApp.h"
#include "toolkit/AppInfo.h"
#include "toolkit/Dialogs.h"
#include "toolkit/FileOps.h"
#include "toolkit/ProgramLauncher.h"
#include "toolkit/Toolkit.h"
#include "toolkit/TrayIcon.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QStringEncoder>

#include <climits>
#include <cmath>

namespace {

// Virtual-key code of the Down arrow and the shift-state bits handed to the key handler.
constexpr int kKeyDown = 40;
constexpr int kShiftMask = 1;
constexpr int kCtrlMask = 2;
constexpr int kAltMask = 4;

const QString kOpenCaption = QStringLiteral("打开电话簿");
const QString kShowCaption = QStringLiteral("打开通讯录");
const QString kHideCaption = QStringLiteral("隐藏通讯录");

const QString kServerPrompt = QStringLiteral("FTP服务器地址：");
const QString kFilePrompt = QStringLiteral("通讯录文件：");
const QString kDownloadFailed = QStringLiteral("无法下载文件！");
const QString kDownloadDone = QStringLiteral("操作成功，使用时间：");
const QString kBrowserKey = QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE");
// What a new private book holds: one comment line naming the columns.
const QString kNewPrivateBook = QStringLiteral("'姓名\t缩写\t分机\t手机\t房号/直拨\r\n");

// The wait cursor over the window, restored on every way out of a command.
class WaitCursor {
public:
    explicit WaitCursor(QWidget* window) : m_window(window) { m_window->setCursor(Qt::WaitCursor); }
    ~WaitCursor() {
        if (m_window)
            m_window->unsetCursor();
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    QPointer<QWidget> m_window;
};

enum class Edge { Top, Left, Width, Height };

// One step of the layout. A value the control cannot take (negative size, not
// a number, out of range) is skipped; the remaining steps still run.
void setEdge(QWidget* widget, Edge edge, double twips, double dpi) {
    if (!std::isfinite(twips))
        return;
    if ((edge == Edge::Width || edge == Edge::Height) && twips < 0)
        return;
    const double pixels = Twips::toPixels(twips, dpi);
    if (pixels < -(INT_MAX / 2) || pixels > INT_MAX / 2)
        return;
    QRect g = widget->geometry();
    switch (edge) {
    case Edge::Top:
        g.moveTop(int(pixels));
        break;
    case Edge::Left:
        g.moveLeft(int(pixels));
        break;
    case Edge::Width:
        g.setWidth(int(pixels));
        break;
    case Edge::Height:
        g.setHeight(int(pixels));
        break;
    }
    widget->setGeometry(g);
}

} // namespace

frmMain::frmMain(Dialogs& dialogs, QWidget* parent) : QMainWindow(parent), m_dialogs(dialogs) {
    // The caption of the window's own description; placement replaces it.
    setWindowTitle(QStringLiteral("信息技术部通讯录"));
    setWindowIcon(AppIcon::icon());
    auto* central = new QWidget(this);
    txtInput = new QLineEdit(central);
    txtInput->setToolTip(QStringLiteral("输入姓名的缩称（拼音的首字母）或汉字检索"));
    txtInput->installEventFilter(this);
    // Placed by hand in twips on every resize, so no layout manager.
    lvwOutput = new ResultList(central);
    m_model = new ResultModel(this);
    lvwOutput->setModel(m_model);
    setCentralWidget(central);
    m_trayAvailable = &TrayIcon::IsAvailable;
    m_ownLauncher = std::make_unique<DetachedLauncher>();
    m_launcher = m_ownLauncher.get();
    createMenus();
    connect(txtInput, &QLineEdit::textChanged, this, &frmMain::txtInput_Change);
}

void frmMain::createMenus() {
    const auto item = [this](QMenu* menu, const QString& caption, const char* name, void (frmMain::*handler)()) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    const auto bar = [](QMenu* menu, const char* name) {
        QAction* action = menu->addSeparator();
        action->setObjectName(QLatin1String(name));
        return action;
    };

    mnuFile = menuBar()->addMenu(QStringLiteral("文件[&F]"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuFile_GetTxl =
        item(mnuFile, QStringLiteral("获取最新公共电话簿"), "mnuFile_GetTxl", &frmMain::mnuFile_GetTxl_Click);
    mnuFile_EditTXL =
        item(mnuFile, QStringLiteral("编辑个人电话簿(本地)"), "mnuFile_EditTXL", &frmMain::mnuFile_EditTXL_Click);
    mnuFile_Refresh = item(mnuFile, QStringLiteral("刷新"), "mnuFile_Refresh", &frmMain::mnuFile_Refresh_Click);
    mnuFile_Bar1 = bar(mnuFile, "mnuFile_Bar1");
    mnuFile_Exit = item(mnuFile, QStringLiteral("退出"), "mnuFile_Exit", &frmMain::mnuFile_Exit_Click);

    // Never in the menu bar: it is the tray icon's menu.
    mnuPopup = new QMenu(QStringLiteral("弹出菜单"), this);
    mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
    mnuPopup_Open = item(mnuPopup, kOpenCaption, "mnuPopup_Open", &frmMain::mnuPopup_Open_Click);
    mnuPopup_Exit = item(mnuPopup, QStringLiteral("退出电话簿"), "mnuPopup_Exit", &frmMain::mnuPopup_Exit_Click);
    mnuPopup_Bar = bar(mnuPopup, "mnuPopup_Bar");
    mnuPopup_GetTxl =
        item(mnuPopup, QStringLiteral("获取最新公共电话簿"), "mnuPopup_GetTxl", &frmMain::mnuPopup_GetTxl_Click);
    mnuPopup_EditTXL =
        item(mnuPopup, QStringLiteral("编辑个人电话簿(本地)"), "mnuPopup_EditTXL", &frmMain::mnuPopup_EditTXL_Click);
    mnuPopup_Bar1 = bar(mnuPopup, "mnuPopup_Bar1");
    mnuPopup_ToUrl = item(mnuPopup, QStringLiteral("Lumeo工作室"), "mnuPopup_ToUrl", &frmMain::mnuPopup_ToUrl_Click);
}

frmMain::~frmMain() {
    Form_Unload();
}

void frmMain::Form_Load() {
    PlaceWindow();
    TXLMain::vendorName() = AppInfo::VendorName();
    TXLMain::RegisterSettings();
    QString storeError;
    if (LoadSettings(AppInfo::Title(), TXLMain::settings(), TXLMain::vendorName(), storeError) != 0) {
        QString saveError;
        if (SaveSettings(AppInfo::Title(), TXLMain::settings(), TXLMain::vendorName(), 0, &saveError) != 0)
            storeError = saveError;
    }
    if (!storeError.isEmpty())
        reportStoreError(storeError);

    oTrayIcon = std::make_unique<TrayIcon>();
    connect(oTrayIcon.get(), &TrayIcon::MouseLeftClick, this, &frmMain::oTrayIcon_MouseLeftClick);
    connect(oTrayIcon.get(), &TrayIcon::MouseRightClick, this, &frmMain::oTrayIcon_MouseRightClick);
    oTrayIcon->Attach(this);
    oTrayIcon->Show();

    FirstStart::SeedPublicBook();
    m_manApp = std::make_unique<ManApp>(&m_dialogs);
    m_manApp->LoadManItems(TXLMain::Text(TXLMain::kLocalTxlFile), TXLMain::Text(TXLMain::kSrvTxlFile));

    txtInput->setText(QStringLiteral(" "));
}

void frmMain::Form_Unload() {
    if (m_unloaded || !TXLMain::HasSettings())
        return;
    m_unloaded = true;
    QString error;
    if (SaveSettings(AppInfo::Title(), TXLMain::settings(), TXLMain::vendorName(), 0, &error) != 0)
        reportStoreError(error);
    if (oTrayIcon)
        oTrayIcon->Remove();
    oTrayIcon.reset();
    m_manApp.reset();
    TXLMain::ReleaseSettings();
}

void frmMain::reportStoreError(const QString& error) {
    // Once per run: the defaults stay in force, repeating it would only nag.
    if (m_storeErrorShown)
        return;
    m_storeErrorShown = true;
    m_dialogs.Message(AppInfo::ProductName(), QStringLiteral("无法读写设置，将使用默认设置：") + error,
                      Dialogs::Icon::Warning);
}

void frmMain::PlaceWindow() {
    setWindowTitle(AppInfo::ProductName());
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s)
        return;
    const QRect area = s->geometry();
    // The window's outer size covers its frame; before the first show the frame is unknown (0).
    const QSize frame = frameGeometry().size() - geometry().size();
    m_frame = frame;
    m_placedWithoutFrame = frame.isEmpty();
    const int width = area.width() / 4;
    const int height = area.height() / 2;
    if (width > frame.width() && height > frame.height())
        resize(width - frame.width(), height - frame.height());
    move(area.x() + int(area.width() * 0.75), area.y());
    // A hidden window gets its resize event only when shown, but the first
    // search (during load) already needs the list's width.
    if (!isVisible())
        Form_Resize();
}

void frmMain::Form_Resize() {
    const double dpiX = logicalDpiX();
    const double dpiY = logicalDpiY();
    const QRect outer = frameGeometry();
    const float h = float(Twips::fromPixels(outer.height(), dpiY) - 800);
    const double w = Twips::roundEven(Twips::fromPixels(outer.width(), dpiX) - 200);

    setEdge(txtInput, Edge::Top, 50, dpiY);
    setEdge(txtInput, Edge::Left, 50, dpiX);
    setEdge(txtInput, Edge::Width, w, dpiX);
    setEdge(txtInput, Edge::Height, 200, dpiY);

    const double boxTop = Twips::fromPixels(txtInput->y(), dpiY);
    const double boxHeight = Twips::fromPixels(txtInput->height(), dpiY);
    setEdge(lvwOutput, Edge::Top, boxTop + boxHeight + 50, dpiY);
    setEdge(lvwOutput, Edge::Left, 50, dpiX);
    setEdge(lvwOutput, Edge::Width, w, dpiX);
    setEdge(lvwOutput, Edge::Height, double(h) - boxHeight - 50, dpiY);

    // Without a tray host nothing could bring a hidden window back: it stays
    // minimised in the task bar instead.
    if (isMinimized() && m_trayAvailable && m_trayAvailable()) {
        hide();
        mbHidden = true;
    }
}

std::array<double, 4> frmMain::ColumnWidths(double listWidthTwips) {
    const double w = Twips::roundEven(listWidthTwips);
    std::array<double, 4> widths{};
    for (std::size_t c = 0; c < widths.size(); ++c)
        widths[c] = ResultModel::kWidthShares[c] * w;
    return widths;
}

void frmMain::txtInput_Change() {
    std::shared_ptr<const ManItems> items;
    if (m_manApp)
        items = m_manApp->ManItems();
    m_model->Search(items, txtInput->text());
    lvwOutput->scrollToTop();

    const double dpi = lvwOutput->logicalDpiX();
    m_columnTwips = ColumnWidths(Twips::fromPixels(lvwOutput->width(), dpi));
    for (std::size_t c = 0; c < m_columnTwips.size(); ++c)
        lvwOutput->setColumnWidth(int(c), int(Twips::toPixels(m_columnTwips[c], dpi)));
}

void frmMain::txtInput_KeyDown(int KeyCode, int Shift) {
    Q_UNUSED(Shift);
    if (KeyCode == kKeyDown)
        lvwOutput->setFocus(Qt::OtherFocusReason);
}

void frmMain::oTrayIcon_MouseLeftClick() {
    if (mbHidden) {
        mnuPopup_Open->setText(kHideCaption);
        setWindowState(windowState() & ~Qt::WindowMinimized);
        m_placeOnShow = true;
        show();
        raise();
        activateWindow();
        mbHidden = false;
    } else {
        mnuPopup_Open->setText(kShowCaption);
        mbHidden = true;
        hide();
    }
}

void frmMain::BringForward() {
    if (mbHidden) {
        oTrayIcon_MouseLeftClick();
        return;
    }
    setWindowState(windowState() & ~Qt::WindowMinimized);
    PlaceWindow();
    show();
    raise();
    activateWindow();
}

void frmMain::oTrayIcon_MouseRightClick() {
    mnuPopup->popup(QCursor::pos());
}

QString frmMain::MakerUrl() {
    return QStringLiteral("http://www.lumeo-studio.example/");
}

void frmMain::setLauncher(ProgramLauncher* launcher) {
    m_launcher = launcher ? launcher : m_ownLauncher.get();
}

void frmMain::setDownloadEntriesEnabled(bool enabled) {
    mnuFile_GetTxl->setEnabled(enabled);
    mnuPopup_GetTxl->setEnabled(enabled);
}

// Fetches the public book into a hidden file beside the local copy and swaps it
// in only when the transfer completed: the previous copy goes to ".bak" first,
// then the new file takes the local copy's name in one rename. A failed,
// cancelled or timed-out transfer leaves the local copy exactly as it was.
void frmMain::mnuFile_GetTxl_Click() {
    if (moFtp || m_unloaded || !TXLMain::HasSettings())
        return;
    WaitCursor wait(this);
    const QString title = mnuFile_GetTxl->text();
    const QString localPath = TXLMain::Text(TXLMain::kSrvTxlFile);
    const QString backupPath = localPath + QStringLiteral(".bak");
    const QString tempPath = FileOps::TempPathBeside(localPath);
    // Only one download runs at a time: any partial file is what a killed run left.
    FileOps::RemoveStaleTemps(localPath);

    moFtp = std::make_unique<FtpItem>();
    moFtp->RequestTimeout(m_downloadTimeout);

    // Cancel ends the command quietly and keeps the configured values.
    QString server = TXLMain::Text(TXLMain::kFtpServer);
    if (!m_dialogs.Input(title, kServerPrompt, server)) {
        moFtp.reset();
        return;
    }
    TXLMain::settings().Item(TXLMain::kFtpServer)->Value(server);
    if (const FtpError rejected = moFtp->Server(server); rejected.failed()) {
        downloadFailed(title, u'(' + QString::number(rejected.number) + u')' + rejected.description, tempPath,
                       localPath);
        return;
    }
    QString remoteFile = TXLMain::Text(TXLMain::kFtpFile);
    if (!m_dialogs.Input(title, kFilePrompt, remoteFile)) {
        moFtp.reset();
        return;
    }
    TXLMain::settings().Item(TXLMain::kFtpFile)->Value(remoteFile);

    const QPointer<frmMain> self(this);
    setDownloadEntriesEnabled(false);
    moFtp->GET_FILE(remoteFile, tempPath);
    if (!self) {
        QFile::remove(tempPath);
        return;
    }
    setDownloadEntriesEnabled(true);
    if (!moFtp || m_unloaded) {
        // The window was closed during the transfer, which cancelled it.
        moFtp.reset();
        QFile::remove(tempPath);
        return;
    }

    QString error;
    bool swapped = moFtp->LastCommandCompleted() && QFileInfo(tempPath).isFile() && FileOps::Sync(tempPath, error);
    if (swapped && QFileInfo::exists(localPath))
        swapped = FileOps::CopyOver(localPath, backupPath, error);
    if (swapped)
        swapped = FileOps::Replace(tempPath, localPath, error);
    if (!swapped) {
        QFile::remove(tempPath);
        downloadFailed(title, kDownloadFailed, tempPath, localPath);
        return;
    }

    m_dialogs.Message(title, kDownloadDone + FtpItem::formatUseTime(moFtp->UseTime()), Dialogs::Icon::Information);
    moFtp.reset();
    mnuFile_Refresh_Click();
}

void frmMain::downloadFailed(const QString& title, const QString& message, const QString& tempPath,
                             const QString& localPath) {
    if (!Toolkit::WriteLog(tempPath + u',' + localPath, TXLMain::Text(TXLMain::kLogFilePath)))
        qWarning("mirodex: cannot write the log file %s", qPrintable(TXLMain::Text(TXLMain::kLogFilePath)));
    m_dialogs.Message(title, message, Dialogs::Icon::Error);
    moFtp.reset();
}

// Opens the private book in the desktop's editor, creating it first when it
// does not exist yet, so the user has something to write into.
void frmMain::mnuFile_EditTXL_Click() {
    if (!TXLMain::HasSettings())
        return;
    const QString title = mnuFile_EditTXL->text();
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

void frmMain::mnuFile_Refresh_Click() {
    if (!m_manApp || !TXLMain::HasSettings())
        return;
    m_manApp->LoadManItems(TXLMain::Text(TXLMain::kLocalTxlFile), TXLMain::Text(TXLMain::kSrvTxlFile));
    // The empty text first, so the search runs even when the box holds a blank already.
    txtInput->setText(QString());
    txtInput->setText(QStringLiteral(" "));
}

void frmMain::mnuFile_Exit_Click() {
    close();
}

void frmMain::mnuPopup_Open_Click() {
    oTrayIcon_MouseLeftClick();
}

void frmMain::mnuPopup_Exit_Click() {
    mnuFile_Exit_Click();
}

void frmMain::mnuPopup_GetTxl_Click() {
    mnuFile_GetTxl_Click();
}

void frmMain::mnuPopup_EditTXL_Click() {
    mnuFile_EditTXL_Click();
}

void frmMain::mnuPopup_ToUrl_Click() {
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

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == txtInput && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers mods = key->modifiers();
        const int shift = (mods & Qt::ShiftModifier ? kShiftMask : 0) | (mods & Qt::ControlModifier ? kCtrlMask : 0) |
                          (mods & Qt::AltModifier ? kAltMask : 0);
        if (key->key() == Qt::Key_Down)
            txtInput_KeyDown(kKeyDown, shift);
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void frmMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

void frmMain::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    frameMayHaveChanged();
}

void frmMain::frameMayHaveChanged() {
    const QSize frame = frameGeometry().size() - geometry().size();
    if (frame == m_frame)
        return;
    m_frame = frame;
    if (m_placedWithoutFrame && isVisible())
        PlaceWindow();
    // The outer size changed, the inside did not: lay out for the new outer size.
    Form_Resize();
}

void frmMain::showEvent(QShowEvent* event) {
    // First show and every return from the tray; switching back from another
    // program leaves a moved window where the user put it.
    if (m_placeOnShow) {
        m_placeOnShow = false;
        PlaceWindow();
    }
    QMainWindow::showEvent(event);
}

void frmMain::closeEvent(QCloseEvent* event) {
    // A download still waiting is cancelled first; it notices and cleans up
    // after itself once the unload below has run.
    moFtp.reset();
    Form_Unload();
    event->accept();
    QCoreApplication::quit();
}
