#include "ProgramLauncher.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

namespace {

// Polls for the exit status a detached opener leaves in a file once it ends.
// The opener is detached, so it outlives the program and is never killed
// with it, nor is the editor it may be waiting for.
class OpenerWatch : public QObject {
public:
    OpenerWatch(QObject* parent, ProgramLauncher::Failed failed, int watchMs)
        : QObject(parent), m_failed(std::move(failed)), m_watchMs(watchMs) {}

    bool valid() const { return m_dir.isValid(); }
    QString errorFile() const { return m_dir.filePath(QStringLiteral("stderr")); }
    QString statusFile() const { return m_dir.filePath(QStringLiteral("status")); }

    void begin() {
        m_since.start();
        connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start(100);
    }

private:
    void poll() {
        QFile status(statusFile());
        if (!status.open(QIODevice::ReadOnly)) {
            if (m_since.elapsed() > m_watchMs)
                finish(); // still waiting for what it opened, or stuck: no longer watched
            return;
        }
        bool ok = false;
        const int code = status.readAll().trimmed().toInt(&ok);
        if (ok && code != 0) {
            QFile error(errorFile());
            QString words;
            if (error.open(QIODevice::ReadOnly))
                words = QString::fromLocal8Bit(error.read(4096)).trimmed();
            if (words.isEmpty())
                words = QStringLiteral("退出码 %1").arg(code);
            const ProgramLauncher::Failed failed = m_failed;
            finish();
            failed(words);
            return;
        }
        finish();
    }

    void finish() {
        m_timer.stop();
        deleteLater();
    }

    QTemporaryDir m_dir;
    QTimer m_timer;
    QElapsedTimer m_since;
    ProgramLauncher::Failed m_failed;
    int m_watchMs;
};

} // namespace

QString ProgramLauncher::TextEditor() {
#ifdef Q_OS_WIN
    return QStringLiteral("notepad.exe");
#else
    return QStandardPaths::findExecutable(DesktopOpener());
#endif
}

QString ProgramLauncher::DesktopOpener() {
#ifdef Q_OS_WIN
    return QString();
#else
    return QStringLiteral("xdg-open");
#endif
}

DetachedLauncher::DetachedLauncher() : m_watches(std::make_unique<QObject>()) {}

DetachedLauncher::~DetachedLauncher() = default;

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

bool DetachedLauncher::Open(const QString& program, const QStringList& arguments, QString& error,
                            const Failed& failed) {
#ifdef Q_OS_WIN
    Q_UNUSED(failed);
    return Start(program, arguments, error);
#else
    if (program.isEmpty() || !failed)
        return Start(program, arguments, error);
    auto* watch = new OpenerWatch(m_watches.get(), failed, m_watchMs);
    if (!watch->valid()) {
        delete watch;
        return Start(program, arguments, error);
    }
    // The shell runs the opener with its error output in a file and leaves
    // its exit status beside it, written whole by a rename.
    const QString script = QStringLiteral("err=$1; status=$2; shift 2; \"$@\" 2>\"$err\"; "
                                          "echo $? >\"$status.part\" && mv \"$status.part\" \"$status\"");
    QStringList shellArguments{QStringLiteral("-c"), script, QStringLiteral("sh"), watch->errorFile(),
                               watch->statusFile(),  program};
    shellArguments += arguments;
    if (!Start(QStringLiteral("/bin/sh"), shellArguments, error)) {
        delete watch;
        return false;
    }
    watch->begin();
    return true;
#endif
}
