#include "DownloadCommand.h"

#include "Aside.h"
#include "DownloadReason.h"
#include "TXLMain.h"
#include "ftp/FtpAddress.h"
#include "ftp/FtpItem.h"
#include "ldap/DirectoryBook.h"
#include "ldap/LdapAddress.h"
#include "ldap/LdapReader.h"
#include "toolkit/Dialogs.h"
#include "toolkit/FileOps.h"
#include "toolkit/Toolkit.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPointer>

namespace {
const QString kServerPrompt = QStringLiteral("FTP服务器地址：");
const QString kFilePrompt = QStringLiteral("通讯录文件：");
const QString kDownloadFailed = QStringLiteral("无法下载文件！");
const QString kDownloadDone = QStringLiteral("操作成功，使用时间：");
} // namespace

DownloadCommand::DownloadCommand(Dialogs& dialogs, QObject* parent)
    : QObject(parent), m_dialogs(dialogs), m_login(dialogs) {}

DownloadCommand::~DownloadCommand() = default;

void DownloadCommand::Cancel() {
    // The waiting GET_FILE notices its session is gone and returns at once;
    // file work under way stops before its next step.
    moFtp.reset();
    if (m_stopFileWork)
        m_stopFileWork->store(true);
}

DownloadCommand::Outcome DownloadCommand::Run(const QString& title) {
    if (moFtp || !TXLMain::HasSettings())
        return Outcome::Cancelled;
    const QString localPath = TXLMain::Text(TXLMain::kSrvTxlFile);
    const QString tempPath = FileOps::TempPathBeside(localPath);
    // Only one download runs at a time: any partial file is what a killed run left.
    FileOps::RemoveStaleTemps(localPath);

    moFtp = std::make_unique<FtpItem>();
    moFtp->RequestTimeout(m_timeout);
    const QPointer<DownloadCommand> self(this);
    // Cancel on any prompt puts back the server the command started with
    // (the first answer is stored at once, so an Exit meanwhile saves it).
    const QString serverBefore = TXLMain::Text(TXLMain::kFtpServer);
    const auto undo = [&] {
        if (moFtp && TXLMain::HasSettings())
            TXLMain::settings().Item(TXLMain::kFtpServer)->Value(serverBefore);
    };
    // Cancel ends the command quietly and keeps the configured values.
    const auto ask = [&](const QString& prompt, const QString& key) {
        QString answer = TXLMain::Text(key);
        const bool ok = m_dialogs.Input(title, prompt, answer);
        if (!self)
            return false;
        if (!ok || !moFtp || !TXLMain::HasSettings()) {
            if (!ok)
                undo();
            moFtp.reset();
            return false;
        }
        TXLMain::settings().Item(key)->Value(answer);
        return true;
    };

    if (!ask(kServerPrompt, TXLMain::kFtpServer))
        return Outcome::Cancelled;
    // A directory server: its entries become the book, no remote file is asked for.
    if (const QString answer = TXLMain::Text(TXLMain::kFtpServer); LdapAddress::isLdap(answer)) {
        TXLMain::settings().Item(TXLMain::kFtpServer)->Value(FtpAddress(answer).WithoutPassword());
        return fromDirectory(title, answer, tempPath, localPath, undo);
    }
    // The settings keep the address without its password; the session gets the login apart.
    const FtpAddress address(TXLMain::Text(TXLMain::kFtpServer));
    TXLMain::settings().Item(TXLMain::kFtpServer)->Value(address.WithoutPassword());
    if (const FtpError rejected = moFtp->Server(address.WithoutLogin()); rejected.failed())
        return failed(title, u'(' + QString::number(rejected.number) + u')' + rejected.description, tempPath,
                      localPath);
    const auto running = [self, this] { return self && moFtp; };
    QString password;
    if (!m_login.Password(FtpLogin::AccountOf(address), title, running, password)) {
        if (self) {
            undo();
            moFtp.reset();
        }
        return Outcome::Cancelled;
    }
    moFtp->UserName(address.User());
    moFtp->Password(password);
    if (!ask(kFilePrompt, TXLMain::kFtpFile))
        return Outcome::Cancelled;
    const QString remoteFile = TXLMain::Text(TXLMain::kFtpFile);

    emit transferStarted();
    moFtp->GET_FILE(remoteFile, tempPath);
    if (!self) {
        QFile::remove(tempPath);
        return Outcome::Cancelled;
    }
    emit transferEnded();
    // A password just typed is kept only once the server has taken it.
    if (!moFtp || !m_login.Settle(moFtp->LastCommandLoggedIn(), title, running)) {
        QFile::remove(tempPath);
        return Outcome::Cancelled;
    }

    QString error;
    bool diskFull = false;
    const bool fetched = moFtp->LastCommandCompleted() && QFileInfo(tempPath).isFile();
    bool swapped = false;
    if (fetched && !swapIn(tempPath, localPath, error, diskFull, swapped))
        return Outcome::Cancelled;
    if (!swapped) {
        QFile::remove(tempPath);
        const DownloadReason::Facts facts{remoteFile, localPath, m_timeout, !password.isEmpty()};
        const QString reason = fetched ? DownloadReason::LocalFailure(facts, error, diskFull)
                                       : DownloadReason::TransferFailure(facts, moFtp->LastFailure());
        return failed(title, kDownloadFailed + u'\n' + reason, tempPath, localPath);
    }
    return succeeded(title, moFtp->UseTime());
}

DownloadCommand::Outcome DownloadCommand::fromDirectory(const QString& title, const QString& text,
                                                        const QString& tempPath, const QString& localPath,
                                                        const std::function<void()>& undo) {
    const LdapAddress address(text);
    if (!address.Problem().isEmpty())
        return failed(title, kDownloadFailed + u'\n' + address.Problem(), tempPath, localPath);
    const QPointer<DownloadCommand> self(this);
    const auto running = [self, this] { return self && moFtp; };
    QString password;
    const FtpLogin::Account account{address.BindName(), address.LoginKey(), address.HasPassword(), address.Password(),
                                    true};
    if (!m_login.Password(account, title, running, password)) {
        if (self) {
            undo();
            moFtp.reset();
        }
        return Outcome::Cancelled;
    }

    emit transferStarted();
    // Read and written off the window's thread; Cancel sets `stop`, which the read looks at every 100 ms.
    const auto stop = m_stopFileWork = std::make_shared<std::atomic<bool>>(false);
    const LdapReader::Request request{address, password, DirectoryBook::Attributes(address.Attributes()), m_timeout};
    LdapReader::Result result;
    qsizetype entries = 0;
    QString error;
    bool diskFull = false;
    bool written = false;
    QElapsedTimer clock;
    clock.start();
    Aside::Run([&, stop] {
        DirectoryBook book;
        result = LdapReader::Read(request, *stop, [&](const DirectoryBook::Row& row) { book.Add(row); });
        entries = book.Count();
        if (result.failure != LdapReader::Failure::None || entries == 0 || stop->load())
            return;
        const QByteArray bytes = book.Encoded();
        QFile file(tempPath);
        written =
            file.open(QIODevice::WriteOnly | QIODevice::NewOnly) && file.write(bytes) == bytes.size() && file.flush();
        if (!written) {
            const FileOps::WriteFault fault = FileOps::WriteFaultOf(file);
            error = fault.why;
            diskFull = fault.diskFull;
        }
    });
    const qint64 useTime = clock.nsecsElapsed() / 100000;
    if (self)
        emit transferEnded();
    if (!self || !moFtp) {
        QFile::remove(tempPath);
        return Outcome::Cancelled;
    }
    m_stopFileWork.reset();
    // A password just typed is kept only once the server has taken it.
    if (!m_login.Settle(result.bound, title, running)) {
        QFile::remove(tempPath);
        return Outcome::Cancelled;
    }

    const DownloadReason::Facts facts{QString(), localPath, m_timeout, !password.isEmpty()};
    QString reason;
    bool swapped = false;
    if (result.failure != LdapReader::Failure::None)
        reason = DownloadReason::DirectoryFailure(facts, result, address.BaseDn());
    else if (entries == 0)
        reason = DownloadReason::DirectoryEmpty();
    else if (!written)
        reason = DownloadReason::LocalFailure(facts, error, diskFull);
    else if (!swapIn(tempPath, localPath, error, diskFull, swapped))
        return Outcome::Cancelled;
    else if (!swapped)
        reason = DownloadReason::LocalFailure(facts, error, diskFull);
    if (!swapped) {
        QFile::remove(tempPath);
        return failed(title, kDownloadFailed + u'\n' + reason, tempPath, localPath);
    }
    return succeeded(title, useTime);
}

bool DownloadCommand::swapIn(const QString& tempPath, const QString& localPath, QString& error, bool& diskFull,
                             bool& swapped) {
    const QString backupPath = localPath + QStringLiteral(".bak");
    const QPointer<DownloadCommand> self(this);
    // Off the window's thread: on a slow or network disk each step may take seconds.
    const auto stop = m_stopFileWork = std::make_shared<std::atomic<bool>>(false);
    Aside::Run([&, stop] {
        swapped = FileOps::Sync(tempPath, error, &diskFull) && !stop->load();
        if (swapped && QFileInfo::exists(localPath))
            swapped = FileOps::CopyOver(localPath, backupPath, error, &diskFull) && !stop->load();
        if (swapped)
            swapped = FileOps::Replace(tempPath, localPath, error);
    });
    if (!self || !moFtp) {
        QFile::remove(tempPath);
        return false;
    }
    m_stopFileWork.reset();
    return true;
}

DownloadCommand::Outcome DownloadCommand::succeeded(const QString& title, qint64 useTime) {
    const QPointer<DownloadCommand> self(this);
    m_dialogs.Message(title, kDownloadDone + FtpItem::formatUseTime(useTime), Dialogs::Icon::Information);
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
