#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QObject;

// Starts other programs (the text editor, the web browser) without waiting for
// them. Arguments go over as they are, one each: a path with blanks stays whole.
class ProgramLauncher {
public:
    // Called later with an opener's own words when it ran but could not open
    // what it was given.
    using Failed = std::function<void(const QString& words)>;

    virtual ~ProgramLauncher() = default;
    // False with the reason in `error` when the program could not be started.
    virtual bool Start(const QString& program, const QStringList& arguments, QString& error) = 0;
    // As Start, for an opener that hands the file or address on and ends
    // (xdg-open): where the platform can tell, an opener that ends in failure
    // is reported to `failed` with what it wrote to its error output. Nothing
    // waits for it, and the program it opened is never stopped.
    virtual bool Open(const QString& program, const QStringList& arguments, QString& error, const Failed& failed) {
        Q_UNUSED(failed);
        return Start(program, arguments, error);
    }

    // The platform's editor for a text file: Notepad on Windows, elsewhere the
    // desktop's handler for the file (xdg-open). Empty when there is none.
    static QString TextEditor();
    // The desktop's opener that stands in for a browser found in the registry
    // ("xdg-open"); empty where the registry names the browser (Windows).
    static QString DesktopOpener();
};

// The real launcher: a detached process.
class DetachedLauncher : public ProgramLauncher {
public:
    DetachedLauncher();
    ~DetachedLauncher() override;
    bool Start(const QString& program, const QStringList& arguments, QString& error) override;
    bool Open(const QString& program, const QStringList& arguments, QString& error, const Failed& failed) override;

    // How long an opener is watched for its end (tests shorten it).
    void setWatchMilliseconds(int milliseconds) { m_watchMs = milliseconds; }

private:
    std::unique_ptr<QObject> m_watches; // parent of the watches still running
    int m_watchMs = 60000;
};
