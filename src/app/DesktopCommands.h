#pragma once

#include <QString>

#include <memory>

class Dialogs;
class ProgramLauncher;

// The commands that hand over to other programs: the text editor for the
// private book, the browser for the maker's page. Neither waits for them.
class DesktopCommands {
public:
    explicit DesktopCommands(Dialogs& dialogs);
    ~DesktopCommands();

    // Opens the private book in the desktop's editor, creating it first (one
    // header line) when it does not exist yet, so the user has something to
    // write into. `title` heads the boxes of its failures.
    void EditPrivateBook(const QString& title);
    // Looks the browser up and opens the maker's page in it; without one, a
    // box explains in four lines and gives the address.
    void OpenMakerPage();

    // Starts the editor and the browser; tests record instead. Not owned; null
    // restores the real launcher.
    void setLauncher(ProgramLauncher* launcher);
    // Status of the last browser look-up ("OK" when one was found).
    QString regStatus() const { return msRegStatus; }
    static QString MakerUrl();

private:
    Dialogs& m_dialogs;
    std::unique_ptr<ProgramLauncher> m_ownLauncher;
    ProgramLauncher* m_launcher = nullptr;
    QString msRegStatus;
};
