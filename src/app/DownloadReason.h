#pragma once

#include "ftp/FtpItem.h"
#include "ldap/LdapReader.h"

#include <QString>

// Why a download failed, as one line of plain Chinese for the failure box,
// below "无法下载文件！". Paths and the server's own words are shown where
// they tell the user what to do; passwords never are.
namespace DownloadReason {

struct Facts {
    QString remoteFile;
    QString localPath; // the local copy the download was to replace
    int timeout = 0;   // seconds a transfer may stall
    bool withPassword = false;
};

// The transfer did not bring the file.
QString TransferFailure(const Facts& facts, const FtpItem::Failure& failure);
// The directory server's entries did not come; `base` is the base DN asked for.
QString DirectoryFailure(const Facts& facts, const LdapReader::Result& result, const QString& base);
// The directory server answered with no entry that has a name.
QString DirectoryEmpty();
// The file came but could not take the local copy's place; `error` is the
// system's own words.
QString LocalFailure(const Facts& facts, const QString& error, bool diskFull);

} // namespace DownloadReason
