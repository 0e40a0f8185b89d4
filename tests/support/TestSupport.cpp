#include "TestSupport.h"

#include <QFile>
#include <QSettings>
#include <QStringEncoder>

#include <gtest/gtest.h>

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
    for (const auto& [key, value] : values)
        s.setValue(key, value);
}

} // namespace TestSupport
