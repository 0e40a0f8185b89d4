#include "FtpItem.h"

#include "FtpAddress.h"
#include "FtpProtocol.h"
#include "InetControl.h"
#include "app/TXLMain.h"
#include "frmInetTrans.h"
#include "toolkit/Toolkit.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QStringEncoder>

#include <climits>
#include <cmath>

namespace {

enum class Kind { Query, Mutating, Cd, OkFirst };

struct CommandDef {
    const char* label;
    Kind kind;
};

// Index order matches the command methods below.
enum CommandIndex {
    kSize,
    kRmDir,
    kRename,
    kQuit,
    kPwd,
    kPutFile,
    kMkDir,
    kGetFile,
    kDirFiles,
    kDelete,
    kCloseFtp,
    kCdUp,
    kCd
};

constexpr CommandDef kCommands[] = {
    {"SIZE...", Kind::Query},      {"RMDIR...", Kind::Mutating},    {"RENAME...", Kind::Mutating},
    {"QUIT...", Kind::Mutating},   {"PWD...", Kind::Query},         {"PUT_FILE...", Kind::Mutating},
    {"MKDIR...", Kind::Mutating},  {"GET_FILE...", Kind::Mutating}, {"DIR_FILES...", Kind::Query},
    {"DELETE...", Kind::Mutating}, {"CLOSE_FTP...", Kind::OkFirst}, {"CDUP...", Kind::Mutating},
    {"CD...", Kind::Cd},
};

// Step numbers of the command cycle, as error records carry them. CD has one
// step more before Execute.
constexpr int kStepExecute = 13;

const QString kOk = QStringLiteral("OK");
const QString kHandlerName = QStringLiteral("moInet_StateChanged");

qint64 monotonicNs() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.nsecsElapsed();
}

} // namespace

FtpItem::FtpItem(QObject* parent) : FtpItem(ControlFactory(), Clock(), parent) {}

FtpItem::FtpItem(ControlFactory factory, Clock clock, QObject* parent)
    : QObject(parent), m_factory(std::move(factory)), m_clock(std::move(clock)) {
    m_requestTimeout = 60;
    ReNew();
}

FtpItem::~FtpItem() {
    disconnect(m_inetConnection);
    mfrmTrans->Dispose();
}

qint64 FtpItem::now() const {
    return m_clock ? m_clock() : monotonicNs();
}

FtpError FtpItem::Server(const QString& vData) {
    QString s = vData;
    QString probe = s;
    const QString scheme = Toolkit::GetBetween(probe, QString(), QStringLiteral("://"), false).toLower();
    if (!isFtpScheme(scheme)) {
        bool ok = false;
        const double position = Toolkit::FindPosition(s, QStringLiteral("://")).trimmed().toDouble(&ok);
        if (!ok)
            return {FtpErrors::kTypeMismatch, QStringLiteral("类型不匹配")};
        const double start = std::nearbyint(position + 1.0);
        if (!std::isfinite(start) || start < double(INT_MIN) || start > double(INT_MAX))
            return {FtpErrors::kOverflow, QStringLiteral("溢出")};
        s = QStringLiteral("ftp://") + Toolkit::GetFrom(s, int(start), 0);
    }
    m_server = s;
    BuildUrl();
    return {};
}

void FtpItem::BuildUrl() {
    msUrl = m_server.toLower();
    m_urlUser.clear();
    m_urlPassword.clear();
    const QString user = moInet->UserName();
    if (user.isEmpty())
        return;
    m_urlUser = user;
    m_urlPassword = moInet->Password();
    const qsizetype sep = msUrl.indexOf(QStringLiteral("://"));
    msUrl = msUrl.left(sep) + QStringLiteral("://") + user + u':' + m_urlPassword + u'@' + msUrl.mid(sep + 3);
}

QString FtpItem::UserName() const {
    return moInet->UserName();
}

void FtpItem::UserName(const QString& vData) {
    moInet->UserName(vData);
    BuildUrl();
}

QString FtpItem::Password() const {
    return moInet->Password();
}

void FtpItem::Password(const QString& vData) {
    moInet->Password(vData);
    BuildUrl();
}

int FtpItem::RequestTimeout() const {
    return moInet->RequestTimeout();
}

void FtpItem::RequestTimeout(int vData) {
    moInet->RequestTimeout(vData);
    m_requestTimeout = vData;
}

void FtpItem::ReNew() {
    if (mfrmTrans) {
        disconnect(m_inetConnection);
        mfrmTrans->Dispose();
    }
    mfrmTrans = new frmInetTrans(m_factory ? m_factory() : nullptr);
    moInet = mfrmTrans->inetMain();
    m_inetConnection = connect(moInet, &InetControl::StateChanged, this, &FtpItem::moInet_StateChanged);
    moInet->Protocol(InetControl::icFTP);
    moInet->RequestTimeout(m_requestTimeout);
    // The fresh control starts without a user name, yet msUrl still carries
    // the credentials; it must take them whole.
    moInet->VerbatimUrlCredentials(m_urlUser, m_urlPassword);
    m_status = Idle;
}

void FtpItem::SIZE(const QString& remoteFile) {
    runCommand(kSize, QStringLiteral("SIZE ") + remoteFile);
}

void FtpItem::RmDir(const QString& remoteDir) {
    runCommand(kRmDir, QStringLiteral("RMDIR ") + remoteDir);
}

void FtpItem::RENAME(const QString& oldName, const QString& newName) {
    runCommand(kRename, QStringLiteral("RENAME ") + oldName + u' ' + newName, {oldName, newName});
}

void FtpItem::QUIT() {
    runCommand(kQuit, QStringLiteral("QUIT"));
}

void FtpItem::PWD() {
    runCommand(kPwd, QStringLiteral("PWD"));
}

void FtpItem::PUT_FILE(const QString& localFile, const QString& remoteFile) {
    runCommand(kPutFile, QStringLiteral("PUT ") + localFile + u' ' + remoteFile, {localFile, remoteFile});
}

void FtpItem::MkDir(const QString& remoteDir) {
    runCommand(kMkDir, QStringLiteral("MKDIR ") + remoteDir);
}

void FtpItem::GET_FILE(const QString& remoteFile, const QString& localFile) {
    runCommand(kGetFile, QStringLiteral("GET ") + remoteFile + u' ' + localFile, {remoteFile, localFile});
}

void FtpItem::DIR_FILES(const QString& remotePath) {
    runCommand(kDirFiles, QStringLiteral("LS ") + remotePath);
}

void FtpItem::DELETE(const QString& remoteFile) {
    runCommand(kDelete, QStringLiteral("DELETE ") + remoteFile);
}

void FtpItem::CLOSE_FTP() {
    runCommand(kCloseFtp, QStringLiteral("CLOSE"));
}

void FtpItem::CDUP() {
    runCommand(kCdUp, QStringLiteral("CDUP"));
}

void FtpItem::CD(const QString& remoteDir) {
    runCommand(kCd, QStringLiteral("CD ") + remoteDir);
}

// The two arguments go to the control whole as well, so names with blanks are
// never split at the wrong blank.
void FtpItem::runCommand(int command, const QString& operation, const QStringList& arguments) {
    const CommandDef& def = kCommands[command];
    const QString label = QString::fromLatin1(def.label);
    const QString recordName = label.chopped(3);
    const int extraStep = def.kind == Kind::Cd ? 1 : 0;
    QPointer<FtpItem> self(this);

    // A control still busy with an earlier command past its time-out is dropped.
    if (moInet->StillExecuting() && IsTimedOut())
        ReNew();
    m_lastCompleted = false;
    m_lastLoggedIn = false;
    m_status = Busy;
    m_optStatus = 0;
    m_responseString.clear();
    m_optString = label;
    m_lastFailure = Failure();
    msngStartTime = now();
    m_lastProgress = msngStartTime;

    if (const FtpError refused = moInet->Execute(msUrl, operation, arguments)) {
        LogError(recordName, refused, kStepExecute + extraStep);
        return;
    }
    WaitForCompletion();
    if (!self)
        return;
    // Read before a mutating command resets Status: the only sign of a time-out.
    m_lastCompleted = m_status == Completed && m_optStatus == 0;
    switch (def.kind) {
    case Kind::Query:
        break;
    case Kind::OkFirst:
        m_optString += kOk;
        m_status = Idle;
        break;
    case Kind::Mutating:
    case Kind::Cd:
        m_status = Idle;
        m_optString += kOk;
        break;
    }
}

bool FtpItem::WaitForCompletion() {
    QPointer<FtpItem> self(this);
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (!self)
            return false;
        Toolkit::Pause(10.0);
        switch (m_status) {
        case Idle:
        case Completed:
            return true;
        case TimedOut:
        case Failed:
            return false;
        default:
            if (IsTimedOut())
                timedOut();
        }
    }
}

// Measured from the last sign of progress: a transfer that keeps moving is
// never cut off, one that stalls ends RequestTimeout seconds after it stalled.
bool FtpItem::IsTimedOut() const {
    const qint64 elapsed = now() - qMax(msngStartTime, m_lastProgress);
    return elapsed > qint64(RequestTimeout()) * 1000000000LL;
}

void FtpItem::timedOut() {
    if (moInet->StillExecuting())
        ReNew();
    m_status = TimedOut;
    m_lastFailure = {FtpFailure::TimedOut, {}, {}};
}

void FtpItem::moInet_StateChanged(int state) {
    switch (state) {
    case InetControl::icError:
        m_lastLoggedIn = moInet->LoggedIn();
        m_optStatus = moInet->ResponseCode();
        m_optString += moInet->ResponseInfo();
        if (m_optStatus != 0)
            m_lastFailure = {moInet->Failure(), moInet->ResponseInfo(), {}};
        else
            m_lastFailure = {moInet->Failure(), {}, moInet->ResponseInfo()};
        m_status = Failed;
        LogError(kHandlerName, FtpError(), 0);
        break;
    case InetControl::icResponseCompleted: {
        m_lastLoggedIn = moInet->LoggedIn();
        QPointer<FtpItem> self(this);
        QString piece = moInet->GetChunk(1024, InetControl::icString).toString();
        while (!piece.isEmpty()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            if (!self)
                return;
            m_responseString += piece;
            // Read from whatever control is current: one replaced meanwhile has
            // nothing for this session.
            piece = moInet->GetChunk(1024, InetControl::icString).toString();
        }
        m_useTime = std::llround(double(now() - msngStartTime) / 100000.0);
        m_optString += kOk;
        m_status = Completed;
        break;
    }
    default:
        // Checked before the news counts, so news that comes too late still times out.
        if (IsTimedOut())
            timedOut();
        else if (state == InetControl::icConnected || state == InetControl::icReceivingResponse)
            m_lastProgress = now();
    }
}

void FtpItem::LogError(const QString& procedure, const FtpError& error, int lineNumber, const QString& extraData) {
    if (error.failed()) {
        m_optStatus = error.number;
        m_optString += error.description;
        m_lastFailure = {FtpFailure::Other, {}, error.description};
    } else if (m_optStatus == 0) {
        m_optStatus = -1;
    }
    if (TXLMain::Flag(TXLMain::kIsDebug))
        writeRecord(procedure, lineNumber, extraData);
    m_status = Failed;
}

// One record, appended in code page 936 with CR LF line ends; the file is open
// only while the record is written. A file that cannot be written costs the
// record, never the session.
void FtpItem::writeRecord(const QString& procedure, int lineNumber, const QString& extraData) const {
    const QString path = TXLMain::Text(TXLMain::kDebugFilePath);
    const QString crlf = QStringLiteral("\r\n");
    QString record = QStringLiteral("<ErrOcc>") + crlf;
    record += QStringLiteral("<ErrTime>") +
              QDateTime::currentDateTime().toString(QStringLiteral("MM/dd/yyyy hh:mm:ss")) + crlf;
    record += QStringLiteral("<ErrSub>FtpItem.") + procedure + crlf;
    if (lineNumber != 0)
        record += QStringLiteral("<ErrLineNum>") + QString::number(lineNumber) + crlf;
    record += QStringLiteral("<ErrNum>") + QString::number(m_optStatus) + crlf;
    record += QStringLiteral("<ErrDesc>") + hidden(m_optString) + crlf;
    if (!extraData.isEmpty())
        record += QStringLiteral("<AppendData>") + hidden(extraData) + crlf;
    record += QStringLiteral("</ErrOcc>") + crlf;

    QStringEncoder encoder("GBK");
    const QByteArray bytes = encoder(record);
    QFile file(path);
    QString why;
    if (!encoder.isValid() || encoder.hasError())
        why = QStringLiteral("cannot encode it in code page 936");
    else if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(bytes) != bytes.size() || !file.flush())
        why = QStringLiteral("cannot write \"%1\": %2").arg(path, file.errorString());
    if (!why.isEmpty())
        qWarning().noquote() << QStringLiteral("FtpItem: error record dropped, ") + why;
}

QString FtpItem::hidden(const QString& text) const {
    return hidePasswords(text, {moInet->Password(), m_urlPassword});
}

QString FtpItem::formatUseTime(qint64 tenThousandths) {
    const bool negative = tenThousandths < 0;
    const quint64 magnitude = negative ? quint64(-(tenThousandths + 1)) + 1 : quint64(tenThousandths);
    QString text = QString::number(magnitude / 10000);
    if (const quint64 fraction = magnitude % 10000) {
        QString digits = QStringLiteral("%1").arg(fraction, 4, 10, QLatin1Char('0'));
        while (digits.endsWith(u'0'))
            digits.chop(1);
        text += u'.' + digits;
    }
    return negative ? u'-' + text : text;
}
