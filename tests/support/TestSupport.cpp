#include "TestSupport.h"

#include <QFile>
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

} // namespace TestSupport
