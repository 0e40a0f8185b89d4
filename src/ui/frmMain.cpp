#include "frmMain.h"

#include "TXLMain.h"
#include "phonebook/ManApp.h"
#include "toolkit/AppInfo.h"
#include "toolkit/Dialogs.h"
#include "toolkit/TrayIcon.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLineEdit>
#include <QScreen>
#include <QTreeView>
#include <QVBoxLayout>

frmMain::frmMain(Dialogs& dialogs, QWidget* parent) : QMainWindow(parent), m_dialogs(dialogs) {
    // The caption of the window's own description; placement replaces it.
    setWindowTitle(QStringLiteral("信息技术部通讯录"));
    auto* central = new QWidget(this);
    txtInput = new QLineEdit(central);
    txtInput->setToolTip(QStringLiteral("输入姓名的缩称（拼音的首字母）或汉字检索"));
    lvwOutput = new QTreeView(central);
    setCentralWidget(central);
    connect(txtInput, &QLineEdit::textChanged, this, &frmMain::txtInput_Change);
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
    oTrayIcon->Attach(this);
    oTrayIcon->Show();

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
    const int width = area.width() / 4;
    const int height = area.height() / 2;
    if (width > frame.width() && height > frame.height())
        resize(width - frame.width(), height - frame.height());
    move(area.x() + int(area.width() * 0.75), area.y());
}

void frmMain::txtInput_Change() {}

void frmMain::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
    QCoreApplication::quit();
}
