#include "FileOps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#endif

namespace {

#ifdef _WIN32
// FlushFileBuffers, under _commit, wants a handle that may write.
constexpr QIODevice::OpenMode kSyncMode = QIODevice::ReadWrite | QIODevice::ExistingOnly;
#else
constexpr QIODevice::OpenMode kSyncMode = QIODevice::ReadOnly;
#endif

// Pushes what was written through `fd` to the disk; errno says why not.
int syncToDisk(int fd) {
#ifdef _WIN32
    return ::_commit(fd);
#else
    return ::fsync(fd);
#endif
}

#ifdef _WIN32
// rename() refuses an existing target on Windows; MoveFileEx replaces it in
// one step and returns only once the move is on the disk.
bool replaceWin(const QString& source, const QString& target, QString& error) {
    const std::wstring from = QDir::toNativeSeparators(source).toStdWString();
    const std::wstring to = QDir::toNativeSeparators(target).toStdWString();
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = qt_error_string(int(GetLastError()));
        return false;
    }
    return true;
}
#endif

} // namespace

namespace FileOps {

QString TempPathBeside(const QString& target) {
    const QFileInfo info(target);
    const QString tag = QString::number(QRandomGenerator::global()->generate64(), 36);
    return info.dir().filePath(u'.' + info.fileName() + u'.' + tag + QStringLiteral(".part"));
}

int RemoveStaleTemps(const QString& target) {
    const QFileInfo info(target);
    QDir dir = info.dir();
    const QStringList stale =
        dir.entryList({u'.' + info.fileName() + QStringLiteral(".*.part")}, QDir::Files | QDir::Hidden | QDir::System);
    int removed = 0;
    for (const QString& name : stale)
        removed += dir.remove(name) ? 1 : 0;
    return removed;
}

bool Replace(const QString& source, const QString& target, QString& error) {
#ifdef _WIN32
    return replaceWin(source, target, error);
#else
    // std::rename replaces an existing target atomically on POSIX file systems.
    if (std::rename(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
#endif
}

bool IsWritableDir(const QString& dir) {
    QTemporaryFile probe(QDir(dir).filePath(QStringLiteral(".mirodex-probe-XXXXXX")));
    return probe.open();
}

bool Sync(const QString& path, QString& error, bool* diskFull) {
    QFile file(path);
    if (!file.open(kSyncMode)) {
        error = file.errorString();
        return false;
    }
    if (syncToDisk(file.handle()) != 0) {
        if (diskFull)
            *diskFull = errno == ENOSPC;
        error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}

WriteFault WriteFaultOf(const QFileDevice& file) {
    const int err = errno;
    WriteFault fault;
    fault.diskFull = file.error() == QFileDevice::ResourceError || err == ENOSPC;
    const bool qtKnows = file.error() != QFileDevice::NoError && file.error() != QFileDevice::WriteError;
    fault.why = qtKnows || err == 0 ? file.errorString() : QString::fromLocal8Bit(std::strerror(err));
    return fault;
}

bool CopyOver(const QString& source, const QString& target, QString& error, bool* diskFull) {
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        error = in.errorString();
        return false;
    }
    const QString temp = TempPathBeside(target);
    QFile out(temp);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        error = out.errorString();
        return false;
    }
    QByteArray block(64 * 1024, Qt::Uninitialized);
    bool ok = true;
    bool full = false;
    for (;;) {
        const qint64 got = in.read(block.data(), block.size());
        if (got < 0) {
            error = in.errorString();
            ok = false;
            break;
        }
        if (got == 0)
            break;
        if (out.write(block.constData(), got) != got) {
            const WriteFault fault = WriteFaultOf(out);
            error = fault.why;
            full = fault.diskFull;
            ok = false;
            break;
        }
    }
    if (ok && !out.flush()) {
        const WriteFault fault = WriteFaultOf(out);
        error = fault.why;
        full = fault.diskFull;
        ok = false;
    }
    if (ok && syncToDisk(out.handle()) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        full = errno == ENOSPC;
        ok = false;
    }
    if (diskFull)
        *diskFull = full;
    out.close();
    if (ok)
        ok = Replace(temp, target, error);
    if (!ok)
        QFile::remove(temp);
    return ok;
}

} // namespace FileOps
