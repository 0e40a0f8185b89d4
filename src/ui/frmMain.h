#pragma once

#include "phonebook/EntryField.h"

#include <QMainWindow>

#include <array>
#include <memory>

class DesktopCommands;
class Dialogs;
class DownloadCommand;
class ManApp;
class ProgramLauncher;
class QAction;
class QKeyEvent;
class QLineEdit;
class QMenu;
class ResultList;
class ResultModel;
class TrayIcon;

// The directory window: search box above the result list, living in the tray.
// It lays out and wires; the commands' logic lives in src/app.
//
// Modal boxes and waits are nested event loops, so any command, or Exit, may
// be chosen while another command or a load is on the stack. An Exit asked for
// then is carried out once that work has unwound, never under it.
class frmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMain(Dialogs& dialogs, QWidget* parent = nullptr);
    ~frmMain() override;

    // Start-up: placement, settings, tray icon, both phone books, first search.
    void Form_Load();
    // Shutdown: settings saved, tray icon removed, books and settings released.
    void Form_Unload();
    // True once unloaded: after an Exit chosen during Form_Load the window must not show.
    bool unloaded() const { return m_unloaded; }

    // Caption, quarter of the screen wide, half high, at the top right.
    void PlaceWindow();
    // Lays out the two controls for the window's size; a minimised window goes to the tray.
    void Form_Resize();

    // The search: every change of the box's text rebuilds the list.
    void txtInput_Change();
    // Down arrow (key code 40) moves into the list, its first row chosen; the key itself goes on.
    void txtInput_KeyDown(int KeyCode, int Shift);

    // Left click on the tray icon, or "open" in its menu: hide or show the window.
    void oTrayIcon_MouseLeftClick();
    // A second start of the program: the window comes forward, restored and
    // placed as the tray icon shows it.
    void BringForward();
    void oTrayIcon_MouseRightClick();

    void mnuFile_GetTxl_Click();
    void mnuFile_EditTXL_Click();
    void mnuFile_Refresh_Click();
    void mnuFile_Exit_Click();
    void mnuPopup_Open_Click();
    void mnuPopup_Exit_Click();
    void mnuPopup_GetTxl_Click();
    void mnuPopup_EditTXL_Click();
    void mnuPopup_ToUrl_Click();

    // Starts the editor and the browser; tests record instead. Not owned; null
    // restores the real launcher.
    void setLauncher(ProgramLauncher* launcher);
    // Seconds a download may stall before it is given up (30 for users).
    void setDownloadTimeout(int seconds);
    // The maker's web page, opened by "Lumeo工作室".
    static QString MakerUrl();
    // Status of the last browser look-up ("OK" when one was found).
    QString regStatus() const;
    bool downloadRunning() const;

    // Column widths in twips for a list `listWidthTwips` wide.
    static std::array<double, kShownFields.size()> ColumnWidths(double listWidthTwips);

    ManApp* manApp() const { return m_manApp.get(); }
    TrayIcon* trayIcon() const { return oTrayIcon.get(); }
    QLineEdit* searchBox() const { return txtInput; }
    ResultList* resultList() const { return lvwOutput; }
    ResultModel* resultModel() const { return m_model; }
    QMenu* fileMenu() const { return mnuFile; }
    QMenu* popupMenu() const { return mnuPopup; }
    QAction* popupOpenItem() const { return mnuPopup_Open; }
    bool hiddenToTray() const { return mbHidden; }
    // The columns' widths in twips, set at every search and whenever the list changes size.
    const std::array<double, kShownFields.size()>& columnWidthsTwips() const { return m_columnTwips; }
    // Pixels each column needs to show its texts whole: its header, and the
    // books' longest number, or their longest name up to four characters.
    // With `least`, what the window must always have room for: a name of four
    // characters, eight digits for extension and room, eleven for the mobile.
    std::array<int, kShownFields.size()> columnNeeds(bool least = false) const;
    // Where minimising may hide the window; tests stand in for the desktop's tray.
    void setTrayAvailableCheck(bool (*check)()) { m_trayAvailable = check; }

signals:
    // Exit was chosen while work is on the stack: open boxes may close now.
    void exitPending();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Busy;

    void createMenus();
    void fitColumns();
    void updateMinimumSize();
    bool listKeyPress(const QKeyEvent* key);
    void frameMayHaveChanged();
    void focusSearchBox();
    void reportStoreError(const QString& error);
    void setDownloadEntriesEnabled(bool enabled);
    // Both books read and indexed aside, then swapped in with the list; false
    // when superseded or exiting. The box keeps what was typed after the edit
    // count `typedBefore`; otherwise the new books are listed whole.
    bool loadBooks(quint64 typedBefore);
    // Refresh, for a reload that began when the edit count was `typedBefore`.
    void reloadBooks(quint64 typedBefore);
    // The list after a search: back at the top, columns fitted to its rows.
    void showMatches();
    bool mayStart() const;
    void requestExit();

    Dialogs& m_dialogs;
    QLineEdit* txtInput = nullptr;
    ResultList* lvwOutput = nullptr;
    ResultModel* m_model = nullptr;

    QMenu* mnuFile = nullptr;
    QAction* mnuFile_GetTxl = nullptr;
    QAction* mnuFile_EditTXL = nullptr;
    QAction* mnuFile_Refresh = nullptr;
    QAction* mnuFile_Bar1 = nullptr;
    QAction* mnuFile_Exit = nullptr;
    QMenu* mnuPopup = nullptr;
    QAction* mnuPopup_Open = nullptr;
    QAction* mnuPopup_Exit = nullptr;
    QAction* mnuPopup_Bar = nullptr;
    QAction* mnuPopup_GetTxl = nullptr;
    QAction* mnuPopup_EditTXL = nullptr;
    QAction* mnuPopup_Bar1 = nullptr;
    QAction* mnuPopup_ToUrl = nullptr;

    std::unique_ptr<TrayIcon> oTrayIcon;
    std::unique_ptr<ManApp> m_manApp;
    DownloadCommand* m_download = nullptr;
    std::unique_ptr<DesktopCommands> m_desktop;
    std::array<double, kShownFields.size()> m_columnTwips{};
    // What the columns' texts need, measured once per load and font.
    std::array<int, kShownFields.size()> m_columnNeeds{};
    quint64 m_columnNeedsLoad = 0;
    bool m_columnNeedsValid = false;
    bool (*m_trayAvailable)() = nullptr;
    bool mbHidden = false;
    bool m_placeOnShow = true;
    // The window manager adds its frame only after the window is shown; a
    // placement made before that is made again once the frame is known.
    bool m_placedWithoutFrame = false;
    QSize m_frame;
    bool m_unloaded = false;
    bool m_storeErrorShown = false;
    int m_busy = 0; // commands and loads on the stack
    bool m_exitRequested = false;
    // Until the books are loaded at start-up: the window must not show before its list is filled.
    bool m_startingUp = false;
    quint64 m_typed = 0; // the user's edits of the search box
};
