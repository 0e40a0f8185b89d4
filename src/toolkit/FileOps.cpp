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
    // std::rename replaces an existing target atomically on POSIX file systems.
    if (std::rename(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}

bool IsWritableDir(const QString& dir) {
    QTemporaryFile probe(QDir(dir).filePath(QStringLiteral(".mirodex-probe-XXXXXX")));
    return probe.open();
}

bool Sync(const QString& path, QString& error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    if (::fsync(file.handle()) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}

bool CopyOver(const QString& source, const QString& target, QString& error) {
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
            error = out.errorString();
            ok = false;
            break;
        }
    }
    if (ok && (!out.flush() || ::fsync(out.handle()) != 0)) {
        error = out.errorString().isEmpty() ? QString::fromLocal8Bit(std::strerror(errno)) : out.errorString();
        ok = false;
    }
    out.close();
    if (ok)
        ok = Replace(temp, target, error);
    if (!ok)
        QFile::remove(temp);
    return ok;
}

} // namespace FileOps
