#include "FirstStart.h"

#include "FtpLogin.h"
#include "TXLMain.h"
#include "ftp/FtpAddress.h"
#include "toolkit/AppInfo.h"
#include "toolkit/Dialogs.h"

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
const QString kNotMovedNote = QStringLiteral("PasswordLeftInSettings");
const QString kNotMoved = QStringLiteral("没有可用的密钥环：服务器地址中的密码仍保存在设置文件中。"
                                         "下次下载时确认地址，密码即从设置中去掉。");

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
    if (TXLMain::IsPortable(programDir))
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

PasswordMove MovePasswordToKeyring(Dialogs& dialogs, const std::function<bool()>& stillWanted) {
    if (!TXLMain::HasSettings())
        return PasswordMove::Nothing;
    const FtpAddress address(TXLMain::Text(TXLMain::kFtpServer));
    if (!address.HasPassword())
        return PasswordMove::Nothing;
    const CredentialStore::Result kept = FtpLogin::Keyring().Write(address.LoginKey(), address.Password(), stillWanted);
    if (kept.status == CredentialStore::Status::Abandoned || !TXLMain::HasSettings())
        return PasswordMove::Abandoned;
    const QString title = AppInfo::Title();
    const QString vendor = TXLMain::vendorName();
    if (kept.status != CredentialStore::Status::Ok) {
        qWarning("mirodex: the keyring cannot take the stored FTP password: %s", qPrintable(kept.reason));
        if (!ReadNote(title, vendor, kNotMovedNote).toBool()) {
            WriteNote(title, vendor, kNotMovedNote, true);
            dialogs.Notice(AppInfo::ProductName(), kNotMoved);
        }
        return PasswordMove::LeftInSettings;
    }
    TXLMain::settings().Item(TXLMain::kFtpServer)->Value(address.WithoutPassword());
    // At once: the file must not hold the password until the next exit.
    QString error;
    if (SaveSettings(title, TXLMain::settings(), vendor, 0, &error) != 0)
        qWarning("mirodex: the settings still hold the FTP password: %s", qPrintable(error));
    return PasswordMove::Moved;
}

} // namespace FirstStart
