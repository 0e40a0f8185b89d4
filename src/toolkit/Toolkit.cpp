#include "Toolkit.h"

#include <QDateTime>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

namespace Toolkit {

QString GetBetween(QString& source, const QString& open, const QString& close, bool cut) {
    qsizetype start = 0;
    if (!open.isEmpty()) {
        const qsizetype at = source.indexOf(open);
        if (at < 0)
            return QString();
        start = at + open.size();
    }
    qsizetype end = source.size();
    qsizetype cutEnd = end;
    if (!close.isEmpty()) {
        end = source.indexOf(close, start);
        if (end < 0)
            return QString();
        cutEnd = end + close.size();
    }
    QString result = source.mid(start, end - start);
    if (cut)
        source.remove(0, cutEnd);
    return result;
}

QString FindPosition(const QString& text, const QString& pattern) {
    if (pattern.isEmpty())
        return QStringLiteral("0");
    const qsizetype at = text.indexOf(pattern);
    if (at < 0)
        return QStringLiteral("0");
    return QString::number(at + pattern.size());
}

QString GetFrom(const QString& text, int start, int length) {
    const qsizetype from = start < 1 ? 0 : qsizetype(start) - 1;
    if (from >= text.size())
        return QString();
    return length > 0 ? text.mid(from, length) : text.mid(from);
}

int TextLength(const QString& text) {
    return int(qMin<qsizetype>(text.size(), INT_MAX));
}

QString LeftPart(const QString& text, int n) {
    if (n <= 0)
        return QString();
    if (n >= text.size())
        return text;
    if (text.at(n - 1).isHighSurrogate())
        --n;
    return text.left(n);
}

bool WriteLog(const QString& text, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const QString line =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) + u' ' + text + u'\n';
    const QByteArray bytes = line.toUtf8();
    return file.write(bytes) == bytes.size() && file.flush();
}

void Pause(double milliseconds) {
    if (milliseconds < 0)
        milliseconds = 0;
    QThread::usleep(static_cast<unsigned long>(milliseconds * 1000.0));
}

#ifndef _WIN32 // Windows: Registry_win.cpp
QString ReadRegValue(const QString& rootKey, const QString& subKey, const QString& valueName, QString& status) {
    Q_UNUSED(rootKey);
    Q_UNUSED(valueName);
    // The browser's registry entry stands for "how do I open a web page here".
    if (subKey.endsWith(QStringLiteral("\\App Paths\\IEXPLORE.EXE"), Qt::CaseInsensitive)) {
        const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
        if (opener.isEmpty()) {
            status = QStringLiteral("找不到打开网页的程序 (xdg-open)");
            return QString();
        }
        status = QStringLiteral("OK");
        return opener;
    }
    status = QStringLiteral("此平台没有注册表项：") + subKey;
    return QString();
}
#endif

} // namespace Toolkit
