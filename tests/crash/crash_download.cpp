// One run of the program, headless, for the crash harness: start-up with the
// given books, then either the public-book download answered from the command
// line, or nothing more. Prints what a user would have seen, one line each.
//
//   crash_download STORE PRIVATE PUBLIC LOG start
//   crash_download STORE PRIVATE PUBLIC LOG download SERVER FILE
//
// "downloading" is printed (and flushed) just before the download starts and
// "done" just after it, so the harness can aim its kills at the command itself.
#include "ScriptedDialogs.h"
#include "app/TXLMain.h"
#include "phonebook/ManApp.h"
#include "phonebook/ManItems.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QFile>
#include <QSettings>

#include <cstdio>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc < 6)
        return 2;
    const QString store = QString::fromLocal8Bit(argv[1]);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(store));
    qputenv("XDG_DATA_HOME", QFile::encodeName(store + QStringLiteral("/data")));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(store + QStringLiteral("/runtime")));
    QApplication app(argc, argv);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, store);
    {
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Pellinor"),
                    QStringLiteral("Mirodex"));
        s.setValue(TXLMain::kLocalTxlFile, QString::fromLocal8Bit(argv[2]));
        s.setValue(TXLMain::kSrvTxlFile, QString::fromLocal8Bit(argv[3]));
        s.setValue(TXLMain::kLogFilePath, QString::fromLocal8Bit(argv[4]));
    }
    const QByteArray mode = argv[5];

    ScriptedDialogs dialogs;
    frmMain window(dialogs);
    window.Form_Load();
    if (mode == "download" && argc >= 8) {
        dialogs.answers = {QString::fromLocal8Bit(argv[6]), QString::fromLocal8Bit(argv[7])};
        std::puts("downloading");
        std::fflush(stdout);
        window.mnuFile_GetTxl_Click();
        std::puts("done");
    } else if (mode != "start") {
        return 2;
    }
    for (const auto& m : dialogs.messages)
        std::printf("message %s\n", m.text.toUtf8().constData());
    std::printf("entries %d\n", window.manApp()->ManItems()->Count());
    std::fflush(stdout);
    return 0;
}
