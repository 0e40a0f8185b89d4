#include "FirstStart.h"

#include "TXLMain.h"
#include "toolkit/FileOps.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifndef MIRODEX_SAMPLE_RELDIR
#define MIRODEX_SAMPLE_RELDIR "../share/mirodex"
#endif

namespace FirstStart {

namespace {
const QString kPublicBook = QStringLiteral("PublicTel.txt");

QString normalised(const QString& path) {
    return QDir::cleanPath(QDir::fromNativeSeparators(path));
}
} // namespace

QString SampleDirectory(const QString& programDir) {
    return QDir::cleanPath(programDir + u'/' + QStringLiteral(MIRODEX_SAMPLE_RELDIR));
}

bool SeedPublicBook(const QString& book, const QString& defaultBook, const QString& programDir,
                    const QString& sampleBook) {
    // A portable copy's books are whatever the user put beside it.
    if (FileOps::IsWritableDir(programDir))
        return false;
    if (book.isEmpty() || normalised(book) != normalised(defaultBook))
        return false;
    const QFileInfo target(book);
    if (target.exists() || target.isSymLink() || !QFileInfo(sampleBook).isFile())
        return false;
    QDir().mkpath(target.absolutePath());
    // QFile::copy refuses an existing target, so a book that appeared meanwhile stays.
    if (!QFile::copy(sampleBook, book))
        return false;
    // The sample may be installed read-only; the user's copy is theirs to replace.
    QFile::setPermissions(book, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser |
                                    QFile::ReadGroup | QFile::ReadOther);
    return true;
}

bool SeedPublicBook() {
    if (!TXLMain::HasSettings())
        return false;
    const Setting* item = TXLMain::settings().Item(TXLMain::kSrvTxlFile);
    if (!item)
        return false;
    const QString programDir = QCoreApplication::applicationDirPath();
    return SeedPublicBook(item->Value().toString(), item->Default().toString(), programDir,
                          SampleDirectory(programDir) + u'/' + kPublicBook);
}

} // namespace FirstStart
