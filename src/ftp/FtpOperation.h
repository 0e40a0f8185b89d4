#pragma once

#include <QString>
#include <QStringList>

// One operation text of the transfer control taken apart: "GET remote local",
// "PUT local remote", "SIZE f", "LS p", "DIR p", "CD d", "CDUP", "PWD",
// "MKDIR d", "RMDIR d", "RENAME old new", "DELETE f", "QUIT", "CLOSE".
struct FtpOperation {
    enum class Verb { Invalid, Get, Put, Size, List, Dir, Cd, Cdup, Pwd, Mkdir, Rmdir, Rename, Delete, Quit, Close };

    Verb verb = Verb::Invalid;
    // The arguments in the order of the text: GET remote, local; PUT local,
    // remote; RENAME old, new; one-argument verbs use only `a`.
    QString a;
    QString b;

    bool valid() const { return verb != Verb::Invalid; }
    // The verb's name in capitals ("GET"); empty for Invalid.
    static QString name(Verb verb);
};

// Arguments are not quoted: GET and RENAME split at the first blank, PUT at the
// last one (the program's own local path never comes last in GET, nor first in
// PUT). The verb is matched without regard to ASCII letter case. Anything that
// cannot be used (an unknown verb, a missing argument, a line break or NUL in
// the text) gives Verb::Invalid with both arguments empty.
FtpOperation parseOperation(const QString& operation);

// The same, with GET's, PUT's or RENAME's two arguments as the caller had
// them before they were joined into `operation` with a blank: they are taken
// whole instead of splitting the text, so names with blanks stay intact. The
// text must be exactly the verb, a blank, the first argument, a blank and the
// second; anything else gives Verb::Invalid. Other verbs ignore `arguments`.
FtpOperation parseOperation(const QString& operation, const QStringList& arguments);
