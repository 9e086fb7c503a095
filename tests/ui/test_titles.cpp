// Window titles as the window system holds them (_NET_WM_NAME, read by xprop), on an X server of the test's own
// with the application set up as the program sets it up: the boxes and dialogs show their titles and nothing more,
// never the name the program was started under (here the test program's).
#include "store/globals.h"
#include "ui/csvexport.h"
#include "ui/hostconfigdialog.h"
#include "ui/mainwindow.h"
#include "uitest.h"

#include "support/modal.h"
#include "support/qtprint.h"

#include <QAction>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardItemModel>
#include <QTest>

namespace {

using namespace Qt::StringLiterals;

class WindowTitles : public uitest::WidgetTest {
protected:
    // The application comes up on the X server, with a session bus of its own there from the start.
    static void SetUpTestSuite() {
        xvfb = new QProcess;
        xvfb->start(u"Xvfb"_s, {u"-displayfd"_s, u"1"_s, u"-nolisten"_s, u"tcp"_s});
        QByteArray display;
        while (!display.endsWith('\n') && xvfb->waitForReadyRead(10000)) display += xvfb->readAllStandardOutput();
        qputenv("DISPLAY", ":" + display.trimmed());
        qputenv("QT_QPA_PLATFORM", "xcb");
        bus = new uitest::PrivateSessionBus;
        static int argc = 1;
        static char name[] = "titles_tests";
        static char *argv[] = {name, nullptr};
        app = new QApplication(argc, argv);
        ui::setUpApplication();
    }
    static void TearDownTestSuite() {
        WidgetTest::TearDownTestSuite();
        xvfb->terminate();
        xvfb->waitForFinished();
        delete xvfb;
    }
    static inline QProcess *xvfb = nullptr;

    // The title the window system holds for a window once it is up.
    static QString shownTitle(QWidget &window) {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        QProcess xprop;
        xprop.start(u"xprop"_s, {u"-id"_s, QString::number(window.winId()), u"-notype"_s, u"_NET_WM_NAME"_s});
        xprop.waitForFinished();
        static const QRegularExpression name(u"^_NET_WM_NAME = \"(.*)\"$"_s);
        const QString said = QString::fromUtf8(xprop.readAll()).trimmed();
        const QRegularExpressionMatch match = name.match(said);
        return match.hasMatch() ? match.captured(1) : u"<"_s + said + u">"_s;
    }
};

TEST_F(WindowTitles, AreShownExactlyAsTheProgramSetsThem) {
    ui::MainWindow window;
    window.show();
    uitest::BoxAnswerer answerer({QMessageBox::No, QMessageBox::No}); // "Exit?", "Are you sure?"; then OK
    answerer.titleOf = shownTitle;
    window.findChild<QAction *>(u"mnu_exit"_s)->trigger();
    ui::HostConfigDialog dialog(0, &window);
    dialog.show();
    dialog.findChild<QPushButton *>(u"cmdRemove"_s)->click();
    // An export of a list without rows: where the file goes, then the error.
    qputenv("HOME", folder.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", folder.filePath(u"config"_s).toUtf8());
    store::globals().dataSent = true;
    const QStandardItemModel empty;
    ui::exportPipList(&window, empty);

    QStringList boxes;
    for (const uitest::SeenBox &box : answerer.seen) boxes << box.title + u": "_s + box.text.section(u' ', 0, 1);
    EXPECT_EQ(boxes, (QStringList{u"ZOV: Exit?"_s, u"Meterlane: Are you"_s, u"Yonderlook: File available"_s,
                                  u"Meterlane: Error: The"_s}));
    EXPECT_EQ(shownTitle(dialog), u"host config"_s);
    EXPECT_EQ(shownTitle(window), u"Meterlane"_s);
}

} // namespace
