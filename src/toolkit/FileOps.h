#pragma once

#include <QString>

class QFileDevice;

// File replacement that never leaves a half-written target: data goes to a
// hidden file beside the target, is flushed to disk, and then takes the
// target's name in one rename.
namespace FileOps {

// A fresh hidden name in the target's folder, e.g. "/dir/.PublicTel.txt.ab12cd.part".
// Nothing is created.
QString TempPathBeside(const QString& target);

// Removes what TempPathBeside names for `target` and a killed run left behind.
// Answers how many files went.
int RemoveStaleTemps(const QString& target);

// Renames `source` over `target`, replacing it in one step. Both must lie on
// one file system (TempPathBeside gives such a source).
bool Replace(const QString& source, const QString& target, QString& error);

// Copies `source` to `target` through a hidden file beside `target`, so an
// existing target stays whole until the new one is complete. `diskFull`, when
// given, tells whether a failure was for want of space.
bool CopyOver(const QString& source, const QString& target, QString& error, bool* diskFull = nullptr);

// True when a file can be created in `dir` (tried, not guessed from mode bits,
// so read-only mounts count as read-only even for root).
bool IsWritableDir(const QString& dir);

// Why a write or flush of `file` just failed, and whether for want of space.
// Ask at once: a short write leaves Qt's error unset, only errno tells.
struct WriteFault {
    QString why;
    bool diskFull = false;
};
WriteFault WriteFaultOf(const QFileDevice& file);

// Forces a written file's data to disk; `diskFull` as for CopyOver.
bool Sync(const QString& path, QString& error, bool* diskFull = nullptr);

} // namespace FileOps
