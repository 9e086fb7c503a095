// meterlane: the desktop program. It starts with its main window, mostly hidden in the notification area, and
// ends when the window is closed or "Exit" is confirmed.
//   meterlane [--folder DIR] [--version] [--help]
#include "platform/componentfactory.h"
#include "platform/eventpump.h"
#include "platform/programend.h"
#include "store/folderlock.h"
#include "store/globals.h"
#include "ui/mainwindow.h"
#include "ui/programtitle.h"
#include "ui/runningcopy.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>

#include <cstdio>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv); // takes Qt's own options (-platform, -style, ...) out of the arguments
    QCoreApplication::setApplicationVersion(QStringLiteral(METERLANE_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Reads the site's printers and sends their counters to the "
                                                    "service; lives mostly in the notification area."));
    const QCommandLineOption help(QStringLiteral("help"), QStringLiteral("Shows this help."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Shows the program's version."));
    const QCommandLineOption folder(QStringLiteral("folder"),
                                    QStringLiteral("Keeps every file of the program in DIR (default: the program's "
                                                   "own folder when it holds meterlane.ini or zov.vnd, else "
                                                   "$XDG_DATA_HOME/meterlane)."),
                                    QStringLiteral("DIR"));
    parser.addOptions({help, version, folder});
    if (!parser.parse(QCoreApplication::arguments()) || !parser.positionalArguments().isEmpty()) {
        const QString why = parser.errorText().isEmpty()
                                ? QStringLiteral("unexpected argument ") + parser.positionalArguments().constFirst()
                                : parser.errorText();
        std::fprintf(stderr, "meterlane: %s\n%s", qPrintable(why), qPrintable(parser.helpText()));
        return 2;
    }
    if (parser.isSet(help)) parser.showHelp(0);
    if (parser.isSet(version)) parser.showVersion();

    ui::setUpApplication();
    const QString programName = store::programFileName();
    platform::setLibraryFolder(QCoreApplication::applicationDirPath());
    platform::setEventPump([] { QCoreApplication::processEvents(); });
    platform::setProgramEnd(platform::endProcess);
    if (parser.isSet(folder))
        store::setProgramFolder(parser.value(folder), programName);
    else
        store::useProgramFolder(QCoreApplication::applicationDirPath(), programName); // a failure shows at start-up

    // One copy per program folder: a second start shows the first one's window and ends.
    const QString programFolder = store::globals().programFolder;
    store::FolderLock lock(programFolder);
    if (!lock.tryLock()) {
        if (ui::bringRunningCopyToFront(programFolder)) return 0;
        QString why = lock.failure();
        why[0] = why[0].toUpper();
        QMessageBox::warning(nullptr, ui::programTitle(), why + u'.');
        return 1;
    }
    ui::MainWindow frmZOV;
    frmZOV.load();
    ui::listenForLaterCopies(programFolder, frmZOV);
    return QApplication::exec();
}
