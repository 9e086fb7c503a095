// meterlane: the desktop program. It starts with its main window, mostly hidden in the notification area, and
// ends when the window is closed or "Exit" is confirmed.
#include "platform/componentfactory.h"
#include "platform/eventpump.h"
#include "store/globals.h"
#include "ui/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    ui::setUpApplication();
    const QString folder = QCoreApplication::applicationDirPath();
    platform::setLibraryFolder(folder);
    platform::setEventPump([] { QCoreApplication::processEvents(); });
    store::setProgramFolder(folder, store::programFileName());

    ui::MainWindow frmZOV;
    frmZOV.load();
    return QApplication::exec();
}
