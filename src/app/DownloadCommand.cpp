#include "DownloadCommand.h"

#include "TXLMain.h"
#include "ftp/FtpItem.h"
#include "toolkit/Dialogs.h"
#include "toolkit/FileOps.h"
#include "toolkit/Toolkit.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>

namespace {
const QString kServerPrompt = QStringLiteral("FTP服务器地址：");
const QString kFilePrompt = QStringLiteral("通讯录文件：");
const QString kDownloadFailed = QStringLiteral("无法下载文件！");
const QString kDownloadDone = QStringLiteral("操作成功，使用时间：");
} // namespace

DownloadCommand::DownloadCommand(Dialogs& dialogs, QObject* parent) : QObject(parent), m_dialogs(dialogs) {}

DownloadCommand::~DownloadCommand() = default;

void DownloadCommand::Cancel() {
    // The waiting GET_FILE notices its session is gone and returns at once.
    moFtp.reset();
}

DownloadCommand::Outcome DownloadCommand::Run(const QString& title) {
    if (moFtp || !TXLMain::HasSettings())
        return Outcome::Cancelled;
    const QString localPath = TXLMain::Text(TXLMain::kSrvTxlFile);
    const QString backupPath = localPath + QStringLiteral(".bak");
    const QString tempPath = FileOps::TempPathBeside(localPath);
    // Only one download runs at a time: any partial file is what a killed run left.
    FileOps::RemoveStaleTemps(localPath);

    moFtp = std::make_unique<FtpItem>();
    moFtp->RequestTimeout(m_timeout);
    const QPointer<DownloadCommand> self(this);
    // Cancel ends the command quietly and keeps the configured values.
    const auto ask = [&](const QString& prompt, const QString& key) {
        QString answer = TXLMain::Text(key);
        const bool ok = m_dialogs.Input(title, prompt, answer);
        if (!self)
            return false;
        if (!ok || !moFtp || !TXLMain::HasSettings()) {
            moFtp.reset();
            return false;
        }
        TXLMain::settings().Item(key)->Value(answer);
        return true;
    };

    if (!ask(kServerPrompt, TXLMain::kFtpServer))
        return Outcome::Cancelled;
    if (const FtpError rejected = moFtp->Server(TXLMain::Text(TXLMain::kFtpServer)); rejected.failed())
        return failed(title, u'(' + QString::number(rejected.number) + u')' + rejected.description, tempPath,
                      localPath);
    if (!ask(kFilePrompt, TXLMain::kFtpFile))
        return Outcome::Cancelled;

    emit transferStarted();
    moFtp->GET_FILE(TXLMain::Text(TXLMain::kFtpFile), tempPath);
    if (!self) {
        QFile::remove(tempPath);
        return Outcome::Cancelled;
    }
    emit transferEnded();
    if (!moFtp) {
        QFile::remove(tempPath);
        return Outcome::Cancelled;
    }

    QString error;
    bool swapped = moFtp->LastCommandCompleted() && QFileInfo(tempPath).isFile() && FileOps::Sync(tempPath, error);
    if (swapped && QFileInfo::exists(localPath))
        swapped = FileOps::CopyOver(localPath, backupPath, error);
    if (swapped)
        swapped = FileOps::Replace(tempPath, localPath, error);
    if (!swapped) {
        QFile::remove(tempPath);
        return failed(title, kDownloadFailed, tempPath, localPath);
    }

    m_dialogs.Message(title, kDownloadDone + FtpItem::formatUseTime(moFtp->UseTime()), Dialogs::Icon::Information);
    if (self)
        moFtp.reset();
    return Outcome::Done;
}

DownloadCommand::Outcome DownloadCommand::failed(const QString& title, const QString& message, const QString& tempPath,
                                                 const QString& localPath) {
    const QString logPath = TXLMain::Text(TXLMain::kLogFilePath);
    if (!Toolkit::WriteLog(tempPath + u',' + localPath, logPath))
        qWarning("mirodex: cannot write the log file %s", qPrintable(logPath));
    const QPointer<DownloadCommand> self(this);
    m_dialogs.Message(title, message, Dialogs::Icon::Error);
    if (self)
        moFtp.reset();
    return Outcome::Failed;
}
