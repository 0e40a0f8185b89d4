#pragma once

#include <QString>

#include <functional>

class Dialogs;

// An installed copy cannot keep its books beside itself; on its first start the
// user's data folder gets the sample public book, so the list is not empty.
namespace FirstStart {

// Where the installed sample books lie for a program in `programDir`.
QString SampleDirectory(const QString& programDir);

// Copies `sampleBook` to `book` when the program is not a portable copy,
// `book` is the default public book (stored settings that point elsewhere win)
// and no file is there yet. An existing book is never replaced. True when it copied.
bool SeedPublicBook(const QString& book, const QString& defaultBook, const QString& programDir,
                    const QString& sampleBook);

// The same for the registered SrvTxlFile setting and this program's folder.
bool SeedPublicBook();

// Earlier versions stored a password typed into the server address with the
// address. It goes to the keyring, and the address is stored at once without
// it. Without a keyring the address stays as it is and the user is told so,
// once for good (the store keeps a note). Waits for the keyring as long as
// `stillWanted` says yes.
enum class PasswordMove { Nothing, Moved, LeftInSettings, Abandoned };
PasswordMove MovePasswordToKeyring(Dialogs& dialogs, const std::function<bool()>& stillWanted);

} // namespace FirstStart
