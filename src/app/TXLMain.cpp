#include "TXLMain.h"

#include "toolkit/AppInfo.h"
#include "toolkit/FileOps.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <memory>

#ifndef MIRODEX_INSTALL_BINDIR
#define MIRODEX_INSTALL_BINDIR ""
#endif

namespace TXLMain {
namespace {
std::unique_ptr<Settings> g_settings;
QString g_vendorName;
} // namespace

bool IsPortable(const QString& programDir) {
    const QString installed = QFileInfo(QStringLiteral(MIRODEX_INSTALL_BINDIR)).canonicalFilePath();
    if (!installed.isEmpty() && installed == QFileInfo(programDir).canonicalFilePath())
        return false;
    return FileOps::IsWritableDir(programDir);
}

QString DefaultDirectory() {
    const QString programDir = QCoreApplication::applicationDirPath();
    if (IsPortable(programDir))
        return QDir::toNativeSeparators(programDir);
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u'/' +
                            AppInfo::VendorName() + u'/' + AppInfo::Title();
    QDir().mkpath(dataDir);
    return QDir::toNativeSeparators(dataDir);
}

QString DefaultPath(const QString& fileName) {
    return DefaultDirectory() + QDir::separator() + fileName;
}

void RegisterSettings() {
    g_settings = std::make_unique<Settings>();
    Settings& s = *g_settings;
    const QString dir = DefaultDirectory() + QDir::separator();
    s.Add(kSoftName, AppInfo::ProductName(), QString(), Setting::Text);
    s.Add(kLogFilePath, dir + QStringLiteral("txl.log"), QString(), Setting::Text);
    s.Add(kDebugFilePath, dir + QStringLiteral("TxlDebug.txt"), QString(), Setting::Text);
    s.Add(kIsDebug, false, QString(), Setting::Boolean);
    s.Add(kSrvTxlFile, dir + QStringLiteral("PublicTel.txt"), QString(), Setting::Text);
    s.Add(kLocalTxlFile, dir + QStringLiteral("PrivateTel.txt"), QString(), Setting::Text);
    s.Add(kFtpServer, QStringLiteral("ftp://127.0.0.1"), QString(), Setting::Text);
    s.Add(kFtpFile, QStringLiteral("/PublicTel.txt"), QString(), Setting::Text);
}

void ReleaseSettings() {
    g_settings.reset();
}

bool HasSettings() {
    return g_settings != nullptr;
}

Settings& settings() {
    Q_ASSERT(g_settings);
    return *g_settings;
}

QString& vendorName() {
    return g_vendorName;
}

QString Text(const QString& key) {
    const Setting* item = g_settings ? g_settings->Item(key) : nullptr;
    return item ? item->Value().toString() : QString();
}

bool Flag(const QString& key) {
    const Setting* item = g_settings ? g_settings->Item(key) : nullptr;
    return item && item->Value().toBool();
}

} // namespace TXLMain
