#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

#include <QStringList>

#include <functional>
#include <vector>

namespace TestSupport {
// Encodes `text` in code page 936 ("GBK").
QByteArray gbk(const QString& text);
// Writes `bytes` to `path`, replacing it; fails the current test on error.
void writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);
// Points the program's settings store at `folder` and stores `values` there,
// as an earlier run would have left them.
void useSettingsStore(const QString& folder, const QList<QPair<QString, QVariant>>& values);
// Runs the event loop until `condition` holds or `timeoutMs` have passed;
// answers whether it holds. A fault then fails the test instead of hanging it.
bool waitFor(const std::function<bool()>& condition, int timeoutMs = 30000);
// Delivers what is already queued for this thread (posted events, ready
// sockets), and nothing that comes later: before a check that nothing happened.
void drainEvents();
// Whether this Windows test program runs under Wine rather than Windows.
bool underWine();
// A program and its arguments as execv takes them (for the servers started
// with a plain fork); argv is valid while the object lives.
struct ExecArgs {
    ExecArgs(const QByteArray& program, const QStringList& args);
    ExecArgs(const ExecArgs&) = delete;
    ExecArgs& operator=(const ExecArgs&) = delete;
    QList<QByteArray> bytes;
    std::vector<char*> argv;
};

} // namespace TestSupport
