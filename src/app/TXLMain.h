#pragma once

#include "toolkit/Settings.h"

#include <QString>

// Program-wide settings: the eight keys, their defaults and the vendor name.
namespace TXLMain {

inline const QString kSoftName = QStringLiteral("SoftName");
inline const QString kLogFilePath = QStringLiteral("LogFilePath");
inline const QString kDebugFilePath = QStringLiteral("DebugFilePath");
inline const QString kIsDebug = QStringLiteral("IsDebug");
inline const QString kSrvTxlFile = QStringLiteral("SrvTxlFile");
inline const QString kLocalTxlFile = QStringLiteral("LocalTxlFile");
inline const QString kFtpServer = QStringLiteral("FtpServer");
inline const QString kFtpFile = QStringLiteral("FtpFile");

// Creates a new settings collection (replacing any earlier one) and registers
// the eight keys with their defaults, in this order.
void RegisterSettings();
// Drops the collection; settings() must not be used until RegisterSettings runs again.
void ReleaseSettings();
bool HasSettings();
Settings& settings();

QString& vendorName();

// Typed reads of a registered setting; "" / false when not registered.
QString Text(const QString& key);
bool Flag(const QString& key);

// Whether a program in `programDir` keeps its books and logs beside itself: a
// copy the user can write, but never one in the folder it was built to be
// installed to (root can write /usr/bin, yet must not get books there).
bool IsPortable(const QString& programDir);
// Where the default books and logs live: the program's own directory for a
// portable copy, else the per-user data folder.
QString DefaultDirectory();
// That directory and a file name joined with the platform's separator.
QString DefaultPath(const QString& fileName);

} // namespace TXLMain
