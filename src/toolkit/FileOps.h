#pragma once

#include <QString>

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
// existing target stays whole until the new one is complete.
bool CopyOver(const QString& source, const QString& target, QString& error);

// True when a file can be created in `dir` (tried, not guessed from mode bits,
// so read-only mounts count as read-only even for root).
bool IsWritableDir(const QString& dir);

// Forces a written file's data to disk.
bool Sync(const QString& path, QString& error);

} // namespace FileOps
