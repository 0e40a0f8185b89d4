#include "frmMain.h"

#include "AppIcon.h"
#include "ResultList.h"
#include "ResultModel.h"
#include "app/BookLoad.h"
#include "app/DesktopCommands.h"
#include "app/DownloadCommand.h"
#include "app/FirstStart.h"
#include "app/TXLMain.h"
#include "phonebook/ManApp.h"
#include "toolkit/AppInfo.h"
#include "toolkit/Dialogs.h"
#include "toolkit/widgets/TrayIcon.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScopeGuard>
#include <QSignalBlocker>

namespace {

const QString kOpenCaption = QStringLiteral("打开电话簿");
const QString kShowCaption = QStringLiteral("打开通讯录");
const QString kHideCaption = QStringLiteral("隐藏通讯录");
const QString kNotSaved = QStringLiteral("无法保存设置：%1\n本次更改的设置将会丢失。");

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

} // namespace

// Counts a command or load on the stack; the last one to end carries out an
// Exit asked for meanwhile.
class frmMain::Busy {
public:
    explicit Busy(frmMain* window) : m_window(window) { ++window->m_busy; }
    ~Busy() {
        if (m_window && --m_window->m_busy == 0 && m_window->m_exitRequested)
            m_window->close();
    }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    QPointer<frmMain> m_window;
};

frmMain::frmMain(Dialogs& dialogs, QWidget* parent) : QMainWindow(parent), m_dialogs(dialogs) {
    // The caption of the window's own description; placement replaces it.
    setWindowTitle(QStringLiteral("信息技术部通讯录"));
    setWindowIcon(AppIcon::icon());
    auto* central = new QWidget(this);
    txtInput = new QLineEdit(central);
    txtInput->setToolTip(QStringLiteral("输入姓名的缩称（拼音的首字母）或汉字检索"));
    // A screen reader says what the box and the list are.
    txtInput->setAccessibleName(QStringLiteral("检索"));
    txtInput->setAccessibleDescription(txtInput->toolTip());
    txtInput->installEventFilter(this);
    // Placed by hand in twips on every resize, so no layout manager.
    lvwOutput = new ResultList(central);
    lvwOutput->setAccessibleName(QStringLiteral("检索结果"));
    lvwOutput->setAccessibleDescription(
        QStringLiteral("姓名、分机、房号/直拨和手机，按姓名排序；Ctrl+C复制所选的行，右键菜单复制一项"));
    m_model = new ResultModel(this);
    lvwOutput->setModel(m_model);
    lvwOutput->installEventFilter(this);
    setCentralWidget(central);
    m_trayAvailable = &TrayIcon::IsAvailable;
    m_download = new DownloadCommand(dialogs, this);
    m_desktop = std::make_unique<DesktopCommands>(dialogs);
    createMenus();
    connect(m_download, &DownloadCommand::transferStarted, this, [this] { setDownloadEntriesEnabled(false); });
    connect(m_download, &DownloadCommand::transferEnded, this, [this] { setDownloadEntriesEnabled(true); });
    connect(txtInput, &QLineEdit::textChanged, this, &frmMain::txtInput_Change);
    connect(txtInput, &QLineEdit::textEdited, this, [this] { ++m_typed; });
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
    const Busy busy(this);
    const QPointer<frmMain> self(this);
    m_startingUp = true;
    const auto started = qScopeGuard([self] {
        if (self)
            self->m_startingUp = false;
    });
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
    const auto starting = [self, this] { return self && !m_exitRequested; };
    if (starting())
        FirstStart::MovePasswordToKeyring(m_dialogs, starting);
    if (!self || m_exitRequested)
        return;

    oTrayIcon = std::make_unique<TrayIcon>();
    connect(oTrayIcon.get(), &TrayIcon::MouseLeftClick, this, &frmMain::oTrayIcon_MouseLeftClick);
    connect(oTrayIcon.get(), &TrayIcon::MouseRightClick, this, &frmMain::oTrayIcon_MouseRightClick);
    oTrayIcon->Attach(this);
    oTrayIcon->Show();

    FirstStart::SeedPublicBook();
    m_manApp = std::make_unique<ManApp>(&m_dialogs);
    // A Refresh chosen from a loader box supersedes this load and shows its own result.
    loadBooks(m_typed);
    if (!self || m_exitRequested)
        return;
    txtInput->setText(QStringLiteral(" "));
}

bool frmMain::loadBooks(quint64 typedBefore) {
    const QPointer<frmMain> self(this);
    const auto swap = [this, typedBefore](std::shared_ptr<Directory> directory) {
        // Nothing typed since the reload began: every entry, as after start-up.
        if (m_typed == typedBefore) {
            const QSignalBlocker quiet(txtInput);
            txtInput->setText(QStringLiteral(" "));
        }
        // The new books searched first, then the list switches to their rows in one step.
        std::shared_ptr<Directory> replaced = m_model->Adopt(std::move(directory), txtInput->text());
        showMatches();
        return replaced;
    };
    const bool published =
        BookLoad::Run(*m_manApp, TXLMain::Text(TXLMain::kLocalTxlFile), TXLMain::Text(TXLMain::kSrvTxlFile), swap);
    return self && published && !m_exitRequested;
}

void frmMain::Form_Unload() {
    if (m_unloaded || !TXLMain::HasSettings())
        return;
    m_unloaded = true;
    QString error;
    // Unless the store was already reported broken at start-up.
    if (SaveSettings(AppInfo::Title(), TXLMain::settings(), TXLMain::vendorName(), 0, &error) != 0 &&
        !m_storeErrorShown)
        m_dialogs.Message(AppInfo::ProductName(), kNotSaved.arg(error), Dialogs::Icon::Warning);
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

void frmMain::oTrayIcon_MouseLeftClick() {
    if (m_startingUp) {
        // Not shown yet, and it shows once its list is filled: a click can only ask for that.
        mnuPopup_Open->setText(kHideCaption);
        mbHidden = false;
        return;
    }
    if (mbHidden) {
        mnuPopup_Open->setText(kHideCaption);
        // Back as the quarter-screen window, also when it was hidden maximised.
        setWindowState(Qt::WindowNoState);
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
    if (mbHidden || m_startingUp) {
        oTrayIcon_MouseLeftClick();
        return;
    }
    setWindowState(Qt::WindowNoState);
    PlaceWindow();
    show();
    raise();
    activateWindow();
    focusSearchBox();
}

void frmMain::focusSearchBox() {
    // Typing after a return replaces the last search instead of adding to it.
    txtInput->setFocus(Qt::ActiveWindowFocusReason);
    txtInput->selectAll();
}

void frmMain::oTrayIcon_MouseRightClick() {
    mnuPopup->popup(QCursor::pos());
}

QString frmMain::MakerUrl() {
    return DesktopCommands::MakerUrl();
}

void frmMain::setLauncher(ProgramLauncher* launcher) {
    m_desktop->setLauncher(launcher);
}

QString frmMain::regStatus() const {
    return m_desktop->regStatus();
}

void frmMain::setDownloadTimeout(int seconds) {
    m_download->setTimeout(seconds);
}

bool frmMain::downloadRunning() const {
    return m_download->Running();
}

void frmMain::setDownloadEntriesEnabled(bool enabled) {
    mnuFile_GetTxl->setEnabled(enabled);
    mnuPopup_GetTxl->setEnabled(enabled);
}

bool frmMain::mayStart() const {
    return !m_unloaded && !m_exitRequested && TXLMain::HasSettings();
}

void frmMain::mnuFile_GetTxl_Click() {
    if (!mayStart() || m_download->Running())
        return;
    const Busy busy(this);
    const WaitCursor wait(this);
    const QPointer<frmMain> self(this);
    // What is typed while the transfer runs is kept through the reload as well.
    const quint64 typed = m_typed;
    if (m_download->Run(mnuFile_GetTxl->text()) == DownloadCommand::Outcome::Done && self)
        reloadBooks(typed);
}

void frmMain::mnuFile_EditTXL_Click() {
    if (!mayStart())
        return;
    const Busy busy(this);
    m_desktop->EditPrivateBook(mnuFile_EditTXL->text());
}

void frmMain::mnuFile_Refresh_Click() {
    reloadBooks(m_typed);
}

void frmMain::reloadBooks(quint64 typedBefore) {
    if (!mayStart() || !m_manApp)
        return;
    const Busy busy(this);
    loadBooks(typedBefore);
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
    if (!mayStart())
        return;
    const Busy busy(this);
    m_desktop->OpenMakerPage();
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (m_busy > 0) {
        // Never under running work: it is cut short, and the exit follows
        // once it has unwound.
        event->ignore();
        requestExit();
        return;
    }
    Form_Unload();
    event->accept();
    QCoreApplication::quit();
}

void frmMain::requestExit() {
    if (m_exitRequested)
        return;
    m_exitRequested = true;
    m_download->Cancel();
    if (m_manApp)
        m_manApp->AbandonLoads();
    emit exitPending();
}
