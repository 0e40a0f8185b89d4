#pragma once

#include <QString>
#include <QStringList>

// Starts other programs (the text editor, the web browser) without waiting for
// them. Arguments go over as they are, one each: a path with blanks stays whole.
class ProgramLauncher {
public:
    virtual ~ProgramLauncher() = default;
    // False with the reason in `error` when the program could not be started.
    virtual bool Start(const QString& program, const QStringList& arguments, QString& error) = 0;

    // The platform's editor for a text file: Notepad on Windows, elsewhere the
    // desktop's handler for the file (xdg-open). Empty when there is none.
    static QString TextEditor();
};

// The real launcher: a detached process.
class DetachedLauncher : public ProgramLauncher {
public:
    bool Start(const QString& program, const QStringList& arguments, QString& error) override;
};
