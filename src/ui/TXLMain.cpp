#include "TXLMain.h"

#include "toolkit/AppInfo.h"

#include <QCoreApplication>
#include <QDir>

#include <memory>

namespace TXLMain {
namespace {
std::unique_ptr<Settings> g_settings;
QString g_vendorName;
} // namespace

QString DefaultPath(const QString& fileName) {
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath()) + QDir::separator() + fileName;
}

void RegisterSettings() {
    g_settings = std::make_unique<Settings>();
    Settings& s = *g_settings;
    s.Add(kSoftName, AppInfo::ProductName(), QString(), Setting::Text);
    s.Add(kLogFilePath, DefaultPath(QStringLiteral("txl.log")), QString(), Setting::Text);
    s.Add(kDebugFilePath, DefaultPath(QStringLiteral("TxlDebug.txt")), QString(), Setting::Text);
    s.Add(kIsDebug, false, QString(), Setting::Boolean);
    s.Add(kSrvTxlFile, DefaultPath(QStringLiteral("PublicTel.txt")), QString(), Setting::Text);
    s.Add(kLocalTxlFile, DefaultPath(QStringLiteral("PrivateTel.txt")), QString(), Setting::Text);
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
