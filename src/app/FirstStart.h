#pragma once

#include <QString>

// An installed copy cannot keep its books beside itself; on its first start the
// user's data folder gets the sample public book, so the list is not empty.
namespace FirstStart {

// Where the installed sample books lie for a program in `programDir`.
QString SampleDirectory(const QString& programDir);

// Copies `sampleBook` to `book` when the program's folder is not writable,
// `book` is the default public book (stored settings that point elsewhere win)
// and no file is there yet. An existing book is never replaced. True when it copied.
bool SeedPublicBook(const QString& book, const QString& defaultBook, const QString& programDir,
                    const QString& sampleBook);

// The same for the registered SrvTxlFile setting and this program's folder.
bool SeedPublicBook();

} // namespace FirstStart
