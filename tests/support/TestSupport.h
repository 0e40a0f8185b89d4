#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

namespace TestSupport {
// Encodes `text` in code page 936 ("GBK").
QByteArray gbk(const QString& text);
// Writes `bytes` to `path`, replacing it; fails the current test on error.
void writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);
// Points the program's settings store at `folder` and stores `values` there,
// as an earlier run would have left them.
void useSettingsStore(const QString& folder, const QList<QPair<QString, QVariant>>& values);
} // namespace TestSupport
