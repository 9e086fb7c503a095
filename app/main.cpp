// meterlane: the desktop program. It starts with its main window, mostly hidden in the notification area, and
// ends when the window is closed or "Exit" is confirmed.
#include "platform/componentfactory.h"
#include "platform/eventpump.h"
#include "store/globals.h"
#include "ui/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(ui::programTitle());
    // The window may hide into the notification area; the program ends through its own exit, not the last window.
    QApplication::setQuitOnLastWindowClosed(false);
    const QString folder = QCoreApplication::applicationDirPath();
    platform::setLibraryFolder(folder);
    platform::setEventPump([] { QCoreApplication::processEvents(); });
    store::setProgramFolder(folder, store::programFileName());

    ui::MainWindow frmZOV;
    frmZOV.load();
    return QApplication::exec();
}
