#pragma once

#include <QByteArray>
#include <QString>

namespace TestSupport {
// Encodes `text` in code page 936 ("GBK").
QByteArray gbk(const QString& text);
// Writes `bytes` to `path`, replacing it; fails the current test on error.
void writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);
} // namespace TestSupport
