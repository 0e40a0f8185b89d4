#pragma once

#include <QMainWindow>

#include <memory>

class Dialogs;
class ManApp;
class QLineEdit;
class QTreeView;
class TrayIcon;

// The directory window: search box above the result list, living in the tray.
class frmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMain(Dialogs& dialogs, QWidget* parent = nullptr);
    ~frmMain() override;

    // Start-up: placement, settings, tray icon, both phone books, first search.
    void Form_Load();
    // Shutdown: settings saved, tray icon removed, books and settings released.
    void Form_Unload();

    // Caption, quarter of the screen wide, half high, at the top right.
    void PlaceWindow();

    ManApp* manApp() const { return m_manApp.get(); }
    TrayIcon* trayIcon() const { return oTrayIcon.get(); }
    QLineEdit* searchBox() const { return txtInput; }
    QTreeView* resultList() const { return lvwOutput; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void txtInput_Change();
    void reportStoreError(const QString& error);

    Dialogs& m_dialogs;
    QLineEdit* txtInput = nullptr;
    QTreeView* lvwOutput = nullptr;
    std::unique_ptr<TrayIcon> oTrayIcon;
    std::unique_ptr<ManApp> m_manApp;
    bool mbHidden = false;
    bool m_unloaded = false;
    bool m_storeErrorShown = false;
};
