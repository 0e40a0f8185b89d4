#include "TestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QSettings>
#include <QStringEncoder>
#include <QTimer>

#include <gtest/gtest.h>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace TestSupport {

QByteArray gbk(const QString& text) {
    QStringEncoder encoder("GBK");
    return encoder(text);
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

void useSettingsStore(const QString& folder, const QList<QPair<QString, QVariant>>& values) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Pellinor"), QStringLiteral("Mirodex"));
#ifdef Q_OS_WIN
    // The registry has no folders: a store in a new folder starts empty, as
    // its file would elsewhere.
    static QString current;
    if (folder != current) {
        s.clear();
        current = folder;
    }
#endif
    for (const auto& [key, value] : values)
        s.setValue(key, value);
}

bool underWine() {
#ifdef Q_OS_WIN
    // Wine's ntdll exports this; Windows' does not.
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
    return false;
#endif
}

bool waitFor(const std::function<bool()>& condition, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    // Wakes the wait below now and then, when nothing else arrives.
    QTimer wake;
    wake.start(10);
    while (!condition()) {
        if (deadline.hasExpired())
            return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void drainEvents() {
    // Posted last, so everything queued before it has been delivered once it runs.
    bool reached = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&reached] { reached = true; }, Qt::QueuedConnection);
    EXPECT_TRUE(waitFor([&reached] { return reached; }, 5000));
}

ExecArgs::ExecArgs(const QByteArray& program, const QStringList& args) : bytes{program} {
    for (const QString& arg : args)
        bytes << QFile::encodeName(arg);
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
}

} // namespace TestSupport
