#include "ProgramLauncher.h"

#include <QProcess>
#include <QStandardPaths>

QString ProgramLauncher::TextEditor() {
#ifdef Q_OS_WIN
    return QStringLiteral("notepad.exe");
#else
    return QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
#endif
}

bool DetachedLauncher::Start(const QString& program, const QStringList& arguments, QString& error) {
    if (program.isEmpty()) {
        error = QStringLiteral("没有可启动的程序");
        return false;
    }
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (!process.startDetached()) {
        error = process.errorString();
        return false;
    }
    return true;
}
