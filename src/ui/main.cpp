#include "QtDialogs.h"
#include "QtTranslations.h"
#include "SingleInstance.h"
#include "frmMain.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY") &&
        !qEnvironmentVariableIsSet("WAYLAND_DISPLAY")) {
        std::fputs("mirodex: no display found (DISPLAY and WAYLAND_DISPLAY are unset).\n"
                   "Lumeo电话簿 is a desktop program: start it inside a graphical session.\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    // Before any widget, so standard buttons read 确定 and 取消.
    QtTranslations::Install(app);
    // Hidden to the tray is not "closed": only Exit ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    // Ties the window to mirodex.desktop (its name and icon in task bars).
    QApplication::setDesktopFileName(QStringLiteral("mirodex"));

    // A second start only brings the running copy's window forward.
    SingleInstance instance;
    if (!instance.claim())
        return 0;

    QtDialogs dialogs;
    frmMain window(dialogs);
    dialogs.setParent(&window);
    // Boxes open when Exit is chosen close, so the exit need not wait for the user.
    QObject::connect(&window, &frmMain::exitPending, &window, [&dialogs] { dialogs.DismissOpen(); });
    // Also while the books load: a second start then asks for the window as a tray click does.
    QObject::connect(&instance, &SingleInstance::showRequested, &window, &frmMain::BringForward);
    window.Form_Load();
    // Exit chosen during start-up (from a loader box): the window never shows.
    if (window.unloaded())
        return 0;
    window.show();
    return app.exec();
}
