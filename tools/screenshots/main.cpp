// meterlane-screenshots FOLDER OUTDIR: starts the main window on the program folder FOLDER, runs one read-and-send
// cycle, probes the first printer and a console scan of the simulated site, and saves the window as it looks:
// normal.png, expanded.png and diagnostic.png in OUTDIR. Run by scripts/screenshots under Xvfb.
#include "platform/componentfactory.h"
#include "platform/eventpump.h"
#include "store/config.h"
#include "store/globals.h"
#include "ui/mainwindow.h"
#include "ui/trayicon.h"
#include "ui/servicebrowser.h"
#include "ui/twips.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeView>

#include <cstdio>

namespace {

void settle(int ms = 300) {
    QTimer wait;
    wait.setSingleShot(true);
    wait.start(ms);
    while (wait.isActive()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool save(QWidget &window, const QString &path) {
    settle();
    const bool saved = window.grab().save(path);
    std::fprintf(stderr, "%s %s\n", saved ? "saved" : "cannot save", qPrintable(path));
    return saved;
}

template <typename T> T *child(QWidget &window, const char *name) {
    return window.findChild<T *>(QString::fromLatin1(name));
}

// Closes the next modal box (the console's completion message) once it is up.
void closeNextModal() {
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            modal->close();
            poll->deleteLater();
        }
    });
    poll->start(50);
}

} // namespace

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: meterlane-screenshots FOLDER OUTDIR\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]), out = QString::fromLocal8Bit(argv[2]);
    ui::setUpApplication();
    platform::setLibraryFolder(QCoreApplication::applicationDirPath());
    platform::setEventPump([] { QCoreApplication::processEvents(); });
    store::setProgramFolder(folder);
    store::WriteIniValue(store::globals().iniFile, QStringLiteral("Settings"), QStringLiteral("StartUpMinimized"),
                         QStringLiteral("0"));

    ui::MainWindow window;
    window.tray().setAvailability([] { return false; });
    window.load();
    window.move(0, 0);
    child<QPushButton>(window, "Command2")->click();
    auto *list = child<QTreeView>(window, "lvPips");
    list->setCurrentIndex(list->model()->index(0, 0));
    settle(1000);
    bool saved = save(window, QDir(out).filePath(QStringLiteral("normal.png")));

    child<QPushButton>(window, "cmdTest")->click();

    list->setCurrentIndex(list->model()->index(0, 0));
    // The probe runs on a release over the list, as the user's click does.
    QMouseEvent release(QEvent::MouseButtonRelease, list->visualRect(list->currentIndex()).center(),
                        list->viewport()->mapToGlobal(list->visualRect(list->currentIndex()).center()),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list->viewport(), &release);
    saved = save(window, QDir(out).filePath(QStringLiteral("expanded.png"))) && saved;

    window.resize(ui::twips::toPixelsX(ui::MainWindow::DiagnosticWidth), window.height());
    child<QLineEdit>(window, "txtAgent")->setText(QStringLiteral("127.0.0.1"));
    child<QLineEdit>(window, "txtAgentTo")->setText(QStringLiteral("127.0.0.8"));
    closeNextModal();
    child<QPushButton>(window, "cmdGo")->click();
    saved = save(window, QDir(out).filePath(QStringLiteral("diagnostic.png"))) && saved;
    return saved ? 0 : 1;
}
