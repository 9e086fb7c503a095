// The main window under the offscreen platform, driven through its controls' names against simulated printers and
// the development service: start-up with and without branding files and with each StartUpMinimized, hiding and
// restoring, the height toggle and the diagnostic width, the exit question, the printer dialog from the list, the
// probe of each make, a read-and-send cycle with its toner notes, the printers' condition in the list, the tip and a
// notice, a printer's supplies and status and its history from its row's menu, the export and the portal button, and
// "Find printers..." over a simulated site.
#include "platform/componentfactory.h"
#include "platform/eventpump.h"
#include "platform/programend.h"
#include "store/config.h"
#include "store/conditionstate.h"
#include "store/folderlock.h"
#include "store/globals.h"
#include "store/history.h"
#include "store/usage.h"
#include "ui/art.h"
#include "ui/consolepanel.h"
#include "ui/chart.h"
#include "ui/findprintersdialog.h"
#include "ui/historydialog.h"
#include "ui/mainwindow.h"
#include "ui/runningcopy.h"
#include "ui/servicebrowser.h"
#include "ui/suppliesdialog.h"
#include "ui/trayicon.h"
#include "ui/trayrecord.h"
#include "ui/twips.h"
#include "upload/outbox.h"
#include "store/servicetable.h"

#include "support/devservice.h"
#include "support/faultagent.h"
#include "support/modal.h"
#include "support/printers.h"
#include "support/qtprint.h"
#include "support/site.h"

#include "uitest.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QHelpEvent>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QTreeView>
#include <QTreeWidget>

#include <memory>
#include <optional>

namespace {

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using meterlane::test::FaultAgent;
using meterlane::test::Reply;
using meterlane::test::Step;
using testsupport::answerNextModal;
using testsupport::SimulatedPrinter;
using uitest::child;

QString readText(const QString &path) { return QString::fromUtf8(uitest::readBytes(path)); }

QColor centreColour(const QPixmap &picture) {
    const QImage image = picture.toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

void clickButton(QWidget *dialog, const QString &name) {
    auto *button = dialog->findChild<QPushButton *>(name);
    ASSERT_NE(button, nullptr) << name.toStdString();
    button->click();
}

void clickStandardButton(QWidget *box, QMessageBox::StandardButton which) {
    auto *message = qobject_cast<QMessageBox *>(box);
    ASSERT_NE(message, nullptr);
    message->button(which)->click();
}

// The running processes whose command line names text.
QStringList processesNaming(const QString &text) {
    QStringList found;
    for (const QString &pid : QDir(u"/proc"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (uitest::readBytes(u"/proc/%1/cmdline"_s.arg(pid)).contains(text.toUtf8())) found << pid;
    return found;
}

class MainWindowTest : public uitest::WidgetTest {
protected:
    // The desktop folder lies in a home of the suite's own; the service runs for the whole suite.
    static void SetUpTestSuite() {
        home = new QTemporaryDir;
        qputenv("HOME", home->path().toUtf8());
        qputenv("XDG_CONFIG_HOME", (home->path() + "/.config").toUtf8());
        qputenv("QUORREL_TIMEOUT_MS", "300");
        WidgetTest::SetUpTestSuite();
        platform::setLibraryFolder(QStringLiteral(METERLANE_BIN_DIR));
        platform::setEventPump([] { QCoreApplication::processEvents(); });
        database = new QTemporaryDir;
        service = new testsupport::DevService(database->filePath("service.sqlite"));
        qputenv("METERLANE_SERVICE_URL", service->root().toUtf8());
    }
    static void TearDownTestSuite() {
        delete service;
        delete database;
        WidgetTest::TearDownTestSuite();
        delete home;
    }
    static inline QTemporaryDir *home = nullptr;
    static inline QTemporaryDir *database = nullptr;
    static inline testsupport::DevService *service = nullptr;

    void SetUp() override {
        WidgetTest::SetUp();
        ASSERT_FALSE(service->root().isEmpty()) << "the development service did not start";
    }

    // A configuration file of the current version, so start-up keeps it; printers as (host, description).
    void writeIni(const QList<std::pair<QString, QString>> &printers = {}, const QString &settings = {},
                  const QString &customerCode = {}) {
        QString text = u"[General]\r\nver=2.7.9\r\n[Settings]\r\nTonerLow=20\r\nIntervalReadMinutes=150\r\n"_s + settings +
                       u"[Vendor]\r\nID="_s + vendor() + u"\r\nCID="_s + customerCode + u"\r\n[pips]\r\n"_s;
        QString info = u"[pipsinfo]\r\n"_s;
        for (int slot = 1; slot <= printers.size(); ++slot) {
            text += u"pip%1=%2\r\n"_s.arg(slot, 3, 10, QChar('0')).arg(printers[slot - 1].first);
            info += u"pip%1=%2\r\n"_s.arg(slot, 3, 10, QChar('0')).arg(printers[slot - 1].second);
        }
        QFile file(store::globals().iniFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write((text + info).toUtf8());
    }

    static QString vendor() { return store::vendorTable()[0].vendorId; }

    std::unique_ptr<ui::MainWindow> start(bool trayAvailable = false) {
        auto window = std::make_unique<ui::MainWindow>();
        window->tray().setAvailability([trayAvailable] { return trayAvailable; });
        window->load();
        return window;
    }

    static QString caption(QWidget &window, const QString &name) { return child<QLabel>(window, name)->text(); }

    static void waitForService(ui::MainWindow &window) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return window.browser().pending() == 0; }, 10000));
    }

    // The rectangle of a row of the printer list, in its viewport.
    static QRect rowRect(QWidget &window, int row) {
        auto *list = child<QTreeView>(window, u"lvPips"_s);
        return list->visualRect(list->model()->index(row, 0));
    }

    // A release over a row of the printer list, with or without Shift (the press selects it first).
    static void releaseOnRow(QWidget &window, int row, Qt::KeyboardModifiers modifiers) {
        auto *list = child<QTreeView>(window, u"lvPips"_s);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, rowRect(window, row).center());
    }

    // The tool tip shown where the pointer rests on a cell of the printer list.
    static QString tipAt(QWidget &window, int row, int column) {
        auto *list = child<QTreeView>(window, u"lvPips"_s);
        const QPoint at = list->visualRect(list->model()->index(row, column)).center();
        QHelpEvent rest(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(list->viewport(), &rest);
        return rest.isAccepted() ? QToolTip::text() : QString(); // accepted by the widget that showed a tip
    }

    // A right-click on a row of the printer list as the window system delivers it: the press selects the row and asks
    // for the menu, the release goes to the menu shown, which is returned.
    static QMenu *rowMenu(QWidget &window, int row) {
        auto *list = child<QTreeView>(window, u"lvPips"_s);
        const QPoint at = list->viewport()->mapTo(&window, rowRect(window, row).center());
        QTest::mousePress(window.windowHandle(), Qt::RightButton, {}, at);
        QTest::mouseRelease(window.windowHandle(), Qt::RightButton, {}, at);
        return qobject_cast<QMenu *>(QApplication::activePopupWidget());
    }

    // Right-clicks the row and clicks the entry of that object name in its menu; the entry's text, empty (the menu
    // closed) when the menu has none.
    static QString chooseInRowMenu(QWidget &window, int row, const QString &entryName) {
        QMenu *menu = rowMenu(window, row);
        QAction *entry = menu ? menu->findChild<QAction *>(entryName) : nullptr;
        if (!entry) {
            if (menu) menu->close();
            return {};
        }
        const QString text = entry->text();
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
        return text;
    }

    static int rowCount(QWidget &window) { return child<QTreeView>(window, u"lvPips"_s)->model()->rowCount(); }

    static QString cell(QWidget &window, int row, int column, int role = Qt::DisplayRole) {
        auto *list = child<QTreeView>(window, u"lvPips"_s);
        return list->model()->index(row, column).data(role).toString();
    }

    QString logText() const { return readText(folder.filePath("log/zov.log")); }

    // The program's side of ClosingOrExitEndsTheProgramAtOnceDuringAConsoleRun: a console Get over the hosts, the
    // window closed ("close") or "Exit?" answered Yes ("exit") while the second host's answer is awaited. The test
    // fails (status 1) if the run comes back. It takes the real way out, which the program installs at start-up.
    void endDuringAConsoleRun(const QStringList &hosts, const QString &how) {
        platform::setProgramEnd(platform::endProcess);
        writeIni();
        auto window = start();
        child<QLineEdit>(*window, u"txtAgent"_s)->setText(hosts.first());
        child<QLineEdit>(*window, u"txtAgentTo"_s)->setText(hosts.last());
        child<QLineEdit>(*window, u"txtOID"_s)->setText(u"1.3.6.1.2.1.1.1.0"_s);
        uitest::BoxAnswerer answerer({QMessageBox::Yes}); // "Exit?"; then the completion box of a run that went on
        QObject::connect(child<QLineEdit>(*window, u"txtIP"_s), &QLineEdit::textChanged, [&](const QString &shown) {
            if (shown != hosts[1]) return;
            QTimer::singleShot(100, window.get(), [&] {
                how == u"close"_s ? void(window->close()) : child<QAction>(*window, u"mnu_exit"_s)->trigger();
            });
        });
        child<QPushButton>(*window, u"cmdGo"_s)->click();
        FAIL() << "the run came back";
    }
};

// ---- start-up

TEST_F(MainWindowTest, StartUpWithoutBrandingKeepsBuiltInPicturesAndLoadsThePortal) {
    writeIni({{u"127.0.0.250"_s, u"Floor 2"_s}}, u"StartUpMinimized=0\r\n"_s);
    auto window = start();

    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(child<QAction>(*window, u"mnu_min"_s)->isChecked());
    EXPECT_FALSE(child<QLabel>(*window, u"imgCompany"_s)->isVisible());
    EXPECT_EQ(caption(*window, u"Label6"_s), u"Version 2.7.9"_s);
    EXPECT_FALSE(caption(*window, u"Label3"_s).startsWith(u"Error loading icons"_s));
    EXPECT_EQ(store::globals().vendorId, vendor());
    EXPECT_EQ(store::globals().intervalRead, 1);
    EXPECT_EQ(window->tray().record().uFlags, ui::CreationFlags);
    EXPECT_EQ(ui::tipText(window->tray().record()), u"Meterlane"_s);

    // The list: the stored printer, then "[new]".
    ASSERT_EQ(rowCount(*window), 2);
    EXPECT_EQ(cell(*window, 0, 0), u"127.0.0.250"_s);
    EXPECT_EQ(cell(*window, 0, 3), u"Floor 2"_s);
    EXPECT_EQ(cell(*window, 1, 0), u"[new]"_s);

    // The portal address is logged, with an empty customer code at its end, and its page is shown.
    const QRegularExpression portal(u"\\?d="_s + vendor() + u";\\w+&SWV=2\\.7\\.9&CID=\r\n"_s);
    EXPECT_TRUE(portal.match(logText()).hasMatch()) << logText().toStdString();
    waitForService(*window);
    EXPECT_TRUE(window->browser().toPlainText().contains(u"Yonderlook"_s)) << window->browser().toPlainText().toStdString();
    EXPECT_TRUE(child<QTimer>(*window, u"Timer1"_s)->isActive());
}

TEST_F(MainWindowTest, BrandingFilesGiveIconAlertPictureAndBanner) {
    writeIni();
    const QString base = folder.filePath(vendor());
    QImage red(32, 32, QImage::Format_RGB32), green(32, 32, QImage::Format_RGB32), banner(160, 48, QImage::Format_RGB32);
    red.fill(Qt::red);
    green.fill(Qt::green);
    banner.fill(Qt::blue);
    ASSERT_TRUE(red.save(base + ".ico", "PNG"));
    ASSERT_TRUE(green.save(base + "!.ico", "PNG"));
    ASSERT_TRUE(banner.save(base + "b.jpg", "JPG"));
    auto window = start();

    EXPECT_EQ(centreColour(window->windowIcon().pixmap(32, 32)), QColor(Qt::red));
    EXPECT_EQ(centreColour(child<QLabel>(*window, u"picIcoErr"_s)->pixmap()), QColor(Qt::green));
    EXPECT_TRUE(child<QLabel>(*window, u"imgCompany"_s)->isVisible());
    EXPECT_FALSE(caption(*window, u"Label3"_s).startsWith(u"Error loading icons"_s));

    // The quiet toner note shows the alert picture.
    window->notifyTonerLow(false, u"MP C3003"_s, u"Floor 2"_s, u"Cyan = 15%"_s);
    EXPECT_EQ(centreColour(window->tray().iconOf(window->tray().record().hIcon).pixmap(32, 32)), QColor(Qt::green));
}

TEST_F(MainWindowTest, AnUnreadableIconIsReportedAndStartUpGoesOn) {
    writeIni({{u"127.0.0.250"_s, u"x"_s}});
    QFile broken(folder.filePath(vendor() + ".ico"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a picture");
    broken.close();
    auto window = start();
    EXPECT_EQ(caption(*window, u"Label3"_s), u"Error loading icons: "_s + vendor());
    EXPECT_EQ(rowCount(*window), 2);
    EXPECT_TRUE(window->isVisible());
}

// Every printer would read as silent: the status line names the file at start-up (as root, a folder in its place
// is what cannot be read).
TEST_F(MainWindowTest, AnUnreadableCredentialsFileIsNamedAtStartUp) {
    writeIni();
    const QString credentials = folder.filePath(u"snmp-credentials.ini"_s);
    ASSERT_TRUE(QDir().mkpath(credentials));
    auto window = start();
    EXPECT_TRUE(caption(*window, u"Label3"_s).startsWith(credentials + u": cannot be read ("_s))
        << caption(*window, u"Label3"_s).toStdString();
}

TEST_F(MainWindowTest, StartUpMinimizedOnlyForTheValueOne) {
    for (const QString &value : {u"1"_s, u"0"_s, u""_s, u"abc"_s, u"1.0"_s}) {
        writeIni({}, u"StartUpMinimized="_s + value + u"\r\n"_s);
        auto window = start(true);
        const bool minimized = value == u"1"_s || value == u"1.0"_s;
        EXPECT_EQ(window->isVisible(), !minimized) << value.toStdString();
        EXPECT_EQ(child<QAction>(*window, u"mnu_min"_s)->isChecked(), minimized) << value.toStdString();
    }
}

// The desktop program names its ini file after the executable file it runs from: a copy of it under another file
// name, started through a link of a third name, makes that file's ini in the folder it is given.
TEST_F(MainWindowTest, TheProgramNamesItsIniFileAfterItsExecutableFile) {
    QTemporaryDir copy;
    const QString file = copy.filePath(u"printwatch"_s), link = copy.filePath(u"other"_s);
    ASSERT_TRUE(QFile::copy(u"%1/meterlane"_s.arg(METERLANE_BIN_DIR), file));
    ASSERT_TRUE(QFile::link(file, link));
    QProcess program;
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(link, {u"--folder"_s, folder.path()});
    const auto iniFiles = [&] { return QDir(folder.path()).entryList({u"*.ini"_s}, QDir::Files); };
    EXPECT_TRUE(QTest::qWaitFor([&] { return !iniFiles().isEmpty(); }, 10000));
    EXPECT_EQ(iniFiles(), QStringList{u"printwatch.ini"_s}) << program.readAll().toStdString();
    program.kill();
    program.waitForFinished();
}

TEST_F(MainWindowTest, TheWindowHidesInTheNotificationAreaOnlyWhileThereIsOne) {
    writeIni({}, u"StartUpMinimized=1\r\n"_s);
    auto window = start(false);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isMinimized());
    if (!window->tray().available()) {
        EXPECT_TRUE(caption(*window, u"Label3"_s).contains(u"no notification area"_s));
    }
    child<QPushButton>(*window, u"cmdInTray"_s)->click();
    EXPECT_TRUE(window->isVisible());

    // A tray that turns up later (a panel that starts after the program) takes the window.
    window->tray().setAvailability([] { return true; });
    child<QPushButton>(*window, u"cmdInTray"_s)->click();
    EXPECT_FALSE(window->isVisible());
}

// ---- window behaviour

TEST_F(MainWindowTest, HidesIntoTheTrayAndComesBackAtTheRestoredPlace) {
    writeIni();
    auto window = start(true);
    child<QPushButton>(*window, u"cmdInTray"_s)->click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(window->isVisible());

    emit window->tray().restoreRequested();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());
    EXPECT_EQ(window->pos(), QPoint(ui::twips::toPixelsX(100), ui::twips::toPixelsY(100)));

    // Minimizing by any means hides the window; "Open" of the icon menu brings it back, also when it is visible.
    window->showMinimized();
    QTest::qWait(20);
    EXPECT_FALSE(window->isVisible());
    child<QAction>(*window, u"mnu_open"_s)->trigger();
    EXPECT_TRUE(window->isVisible());
    child<QAction>(*window, u"mnu_open"_s)->trigger();
    EXPECT_TRUE(window->isVisible());

    // "Start minimized" only changes its check mark.
    const QString settings = readText(store::globals().iniFile);
    child<QAction>(*window, u"mnu_min"_s)->trigger();
    EXPECT_TRUE(child<QAction>(*window, u"mnu_min"_s)->isChecked());
    EXPECT_EQ(readText(store::globals().iniFile), settings);
}

TEST_F(MainWindowTest, HeightToggleAndResultListFollowTheWindow) {
    writeIni();
    auto window = start();
    const int compact = ui::twips::toPixelsY(window->compactHeight());
    const int expanded = ui::twips::toPixelsY(window->expandedHeight());
    EXPECT_EQ(window->height(), compact);
    auto *toggle = child<QPushButton>(*window, u"cmdTest"_s);
    toggle->click();
    EXPECT_EQ(window->height(), expanded);
    toggle->click();
    EXPECT_EQ(window->height(), compact);
    toggle->click();
    EXPECT_EQ(window->height(), expanded);

    auto *results = child<QListWidget>(*window, u"lstResults"_s);
    window->resize(ui::twips::toPixelsX(ui::MainWindow::DiagnosticWidth), window->height());
    const int margin = ui::twips::toPixelsX(ui::MainWindow::ListMargin);
    EXPECT_NEAR(results->geometry().right() + 1, window->width() - margin, 2);
    EXPECT_NEAR(results->geometry().bottom() + 1, window->height() - margin, 2);

    // A window whose height ends above the list leaves the list as it is.
    const QSize before = results->size();
    window->resize(window->width() + 40, results->y() - 5);
    EXPECT_EQ(results->size(), before);
}

TEST_F(MainWindowTest, TheAccessCodeUncoversTheConsole) {
    writeIni();
    auto window = start();
    auto *picIco = child<QLabel>(*window, u"picIco"_s);
    const int normal = ui::twips::toPixelsX(ui::MainWindow::NormalWidth);
    const int diagnostic = ui::twips::toPixelsX(ui::MainWindow::DiagnosticWidth);

    auto answer = [&](const QString &text, bool cancel) {
        QWidget *seen = nullptr;
        answerNextModal(
            [&](QWidget *box) {
                auto *input = qobject_cast<QInputDialog *>(box);
                ASSERT_NE(input, nullptr);
                EXPECT_EQ(input->windowTitle(), u"debug"_s);
                EXPECT_EQ(input->labelText(), u"pwd"_s);
                EXPECT_EQ(input->textValue(), u"0"_s);
                input->setTextValue(text);
                cancel ? input->reject() : input->accept();
            },
            &seen);
        QTest::mousePress(picIco, Qt::LeftButton, Qt::ShiftModifier);
        QTest::mouseRelease(picIco, Qt::LeftButton, Qt::ShiftModifier);
        EXPECT_NE(seen, nullptr);
    };
    answer(u"kdwfz"_s, false);
    EXPECT_EQ(window->width(), diagnostic);
    answer(u"KDWFZ"_s, false);
    EXPECT_EQ(window->width(), normal);
    answer(u"kdwfz"_s, false);
    EXPECT_EQ(window->width(), diagnostic);
    answer(u"kdwfz"_s, true);
    EXPECT_EQ(window->width(), normal);

    // Without Shift, or with Shift and Ctrl, no prompt comes up.
    bool prompted = false;
    answerNextModal([&](QWidget *box) { prompted = true; box->close(); }, nullptr, 300);
    QTest::mouseClick(picIco, Qt::LeftButton);
    QTest::mouseClick(picIco, Qt::LeftButton, Qt::ShiftModifier | Qt::ControlModifier);
    QTest::qWait(400);
    EXPECT_FALSE(prompted);
}

TEST_F(MainWindowTest, ExitAnsweredNoKeepsTheProgramAsItWas) {
    writeIni();
    auto window = start();
    QWidget *seen = nullptr;
    answerNextModal(
        [](QWidget *box) {
            auto *message = qobject_cast<QMessageBox *>(box);
            ASSERT_NE(message, nullptr);
            EXPECT_EQ(message->windowTitle(), u"ZOV"_s);
            EXPECT_EQ(message->text(), u"Exit?"_s);
            EXPECT_EQ(message->icon(), QMessageBox::Question);
            clickStandardButton(box, QMessageBox::No);
        },
        &seen);
    child<QAction>(*window, u"mnu_exit"_s)->trigger();
    EXPECT_NE(seen, nullptr);
    EXPECT_TRUE(window->isVisible());
}

// A second start of the desktop program on the same program folder shows the window of the copy that holds the
// folder, and ends without running a copy of its own.
TEST_F(MainWindowTest, ASecondStartOnTheFolderBringsTheFirstWindowBack) {
    writeIni({}, u"StartUpMinimized=1\r\n"_s);
    auto window = start(true);
    ASSERT_FALSE(window->isVisible());
    store::FolderLock lock(folder.path());
    ASSERT_TRUE(lock.tryLock());
    ui::listenForLaterCopies(folder.path(), *window);

    QProcess second;
    second.setProcessChannelMode(QProcess::MergedChannels);
    second.start(QStringLiteral(METERLANE_BIN_DIR "/meterlane"), {u"--folder"_s, folder.path()});
    EXPECT_TRUE(QTest::qWaitFor([&] { return second.state() == QProcess::NotRunning; }, 10000));
    EXPECT_EQ(second.exitCode(), 0) << second.readAll().toStdString();
    EXPECT_TRUE(window->isVisible());
}

// Closing the window, or answering "Exit?" with Yes, while a console Get waits for the second of three answering
// hosts ends the program there: status 0, nothing sent to the third host, no zovdata.txt written. The program is a
// copy of this test in a process of its own, its folders in a scratch folder of ours; the agents, each answering
// 200 ms late, stay here and count what reached them. Its child process (the development service) goes with it.
TEST_F(MainWindowTest, ClosingOrExitEndsTheProgramAtOnceDuringAConsoleRun) {
    const QStringList hosts{u"127.0.0.61"_s, u"127.0.0.62"_s, u"127.0.0.63"_s};
    if (const QString how = qEnvironmentVariable("METERLANE_END_BY"); !how.isEmpty())
        return endDuringAConsoleRun(hosts, how);
    const testing::TestInfo *test = testing::UnitTest::GetInstance()->current_test_info();
    for (const QString &how : {u"close"_s, u"exit"_s}) {
        std::vector<std::unique_ptr<FaultAgent>> agents;
        for (const QString &host : hosts) {
            agents.push_back(std::make_unique<FaultAgent>(host.toStdString()));
            agents.back()->setDefault(Step{{Reply{}}, 200ms});
        }
        QTemporaryDir scratch;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"METERLANE_END_BY"_s, how);
        environment.insert(u"TMPDIR"_s, scratch.path());
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(QCoreApplication::applicationFilePath(),
                      {u"--gtest_filter=%1.%2"_s.arg(test->test_suite_name(), test->name())});
        ASSERT_TRUE(program.waitForFinished(60000)) << how;
        const std::string said = how.toStdString() + "\n" + program.readAll().toStdString();
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << said;
        EXPECT_EQ(program.exitCode(), 0) << said;
        EXPECT_GE(agents[1]->requestCount(), 1u) << said;
        EXPECT_EQ(agents[2]->requestCount(), 0u) << said;
        QStringList files;
        for (QDirIterator it(scratch.path(), {u"zovdata.txt"_s, u"meterlane.ini"_s}, QDir::Files,
                             QDirIterator::Subdirectories);
             it.hasNext();)
            files << it.nextFileInfo().fileName();
        EXPECT_EQ(files.filter(u"zovdata"_s), QStringList()) << said;
        EXPECT_EQ(files.filter(u".ini"_s).size(), 1) << "the program's folder lies in the scratch folder; " << said;
        EXPECT_TRUE(QTest::qWaitFor([&] { return processesNaming(scratch.path()).isEmpty(); }, 5000));
    }
}

// ---- the printer list: dialog and probe

TEST_F(MainWindowTest, ShiftReleaseOnNewAddsAnnouncesAndRemovesAPrinter) {
    SimulatedPrinter ricoh("ricoh");
    ASSERT_AGENT(ricoh);
    const QString address = QString::fromStdString(ricoh.address());
    writeIni({{u"127.0.0.251"_s, u"Hall"_s}});
    auto window = start();
    waitForService(*window);

    // A plain release on "[new]" probes it: its text is no address.
    releaseOnRow(*window, 1, Qt::NoModifier);
    EXPECT_EQ(caption(*window, u"Label3"_s), u"PIP error: [new]>"_s);

    answerNextModal([&](QWidget *dialog) {
        EXPECT_EQ(dialog->windowTitle(), u"host config"_s);
        EXPECT_TRUE(dialog->findChild<QLineEdit *>(u"txtIP"_s)->text().isEmpty());
        dialog->findChild<QLineEdit *>(u"txtIP"_s)->setText(address);
        dialog->findChild<QLineEdit *>(u"txtDescr"_s)->setText(u"Floor 2; east"_s);
        clickButton(dialog, u"Command1"_s);
    });
    releaseOnRow(*window, 1, Qt::ShiftModifier);
    const QString ini = store::globals().iniFile;
    EXPECT_EQ(store::ReadIniValue(ini, u"pips"_s, u"pip002"_s), address);
    EXPECT_EQ(store::ReadIniValue(ini, u"pipsinfo"_s, u"pip002"_s), u"Floor 2; east"_s);
    ASSERT_EQ(rowCount(*window), 3);
    EXPECT_EQ(cell(*window, 1, 0), address);

    // The service received the identity read from the printer and the description as its location.
    waitForService(*window);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"announcements"_s);
        db.setDatabaseName(database->filePath("service.sqlite"));
        ASSERT_TRUE(db.open());
        QSqlQuery query(u"SELECT identity, location FROM announcements ORDER BY id DESC LIMIT 1"_s, db);
        ASSERT_TRUE(query.next());
        EXPECT_EQ(query.value(0).toString(), u"E174M610045"_s);
        EXPECT_EQ(query.value(1).toString(), u"Floor 2; east"_s);
    }
    QSqlDatabase::removeDatabase(u"announcements"_s);

    // Remove answered No leaves the record and the dialog; Yes removes it.
    for (const bool yes : {false, true}) {
        answerNextModal([&](QWidget *dialog) {
            answerNextModal([&](QWidget *box) {
                EXPECT_EQ(qobject_cast<QMessageBox *>(box)->text(), u"Are you sure?"_s);
                clickStandardButton(box, yes ? QMessageBox::Yes : QMessageBox::No);
            });
            clickButton(dialog, u"cmdRemove"_s);
            EXPECT_EQ(dialog->isVisible(), !yes);
            if (!yes) clickButton(dialog, u"cmdCancel"_s);
        });
        releaseOnRow(*window, 1, Qt::ShiftModifier);
        EXPECT_EQ(store::ReadIniValue(ini, u"pips"_s, u"pip002"_s), yes ? QString() : address);
        EXPECT_EQ(rowCount(*window), yes ? 2 : 3);
    }
}

// The site's namespace must come before the process's first SNMP request: the library keeps the sockets of closed
// sessions, which stay in the namespace they were made in (ctest runs each test in a process of its own).
TEST_F(MainWindowTest, FindPrintersSearchesWithoutBlockingAndAddsTheCheckedOnes) {
    testsupport::SimulatedSite site;
    ASSERT_TRUE(site.ready()) << site.failure();
    qputenv("QUORREL_TIMEOUT_MS", "1000"); // the default: a busy machine may keep the simulator from answering in 0.3 s
    writeIni({{u"127.0.0.251"_s, u"Hall"_s}});
    auto window = start();
    child<QPushButton>(*window, u"cmdFind"_s)->click();
    auto *dialog = child<ui::FindPrintersDialog>(*window, u"frmFindPrinters"_s);
    ASSERT_TRUE(dialog && dialog->isVisible());
    // Ranges of more than 65,536 addresses in all are refused on the status line.
    child<QLineEdit>(*dialog, u"txtRange"_s)->setText(u"198.18.0.0/16 198.19.0.0/16"_s);
    clickButton(dialog, u"cmdSearch"_s);
    EXPECT_FALSE(dialog->searching());
    EXPECT_TRUE(child<QLabel>(*dialog, u"lblStatus"_s)->text().startsWith(u"the ranges hold 131068 addresses"_s));
    // Without a credentials file only the version 1 "public" printers answer.
    child<QLineEdit>(*dialog, u"txtRange"_s)->setText(u"198.18.0.0/24"_s);
    clickButton(dialog, u"cmdSearch"_s);

    // The window's loop runs while the search goes on: the progress bar moves before the search is over.
    auto *progress = child<QProgressBar>(*dialog, u"barSearch"_s);
    EXPECT_TRUE(QTest::qWaitFor([&] { return progress->value() > 0 && dialog->searching(); }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->searching(); }, 20000));
    auto *found = child<QTreeWidget>(*dialog, u"lvFound"_s);
    std::vector<testsupport::SitePrinter> publicOnes;
    for (const testsupport::SitePrinter &printer : site.printers())
        if (printer.access == testsupport::PrinterAccess::PublicV1) publicOnes.push_back(printer);
    // And the gateway, which is no printer.
    ASSERT_EQ(found->topLevelItemCount(), int(publicOnes.size()) + 1)
        << child<QLabel>(*dialog, u"lblStatus"_s)->text().toStdString();
    QTreeWidgetItem *first = found->topLevelItem(0), *second = found->topLevelItem(1);
    EXPECT_EQ(first->text(0).toStdString(), publicOnes[0].address);
    EXPECT_EQ(second->text(3).toStdString(), publicOnes[1].identity);
    first->setCheckState(0, Qt::Checked);
    second->setCheckState(0, Qt::Checked);
    clickButton(dialog, u"cmdAdd"_s);

    ASSERT_EQ(rowCount(*window), 4); // the printer there was, the two added, "[new]"
    for (const int row : {1, 2}) {
        EXPECT_EQ(cell(*window, row, 0).toStdString(), publicOnes[row - 1].address);
        EXPECT_EQ(cell(*window, row, 3), found->topLevelItem(row - 1)->text(2)); // the model as the description
        EXPECT_EQ(found->topLevelItem(row - 1)->text(4), u"added"_s);
    }
    EXPECT_EQ(found->topLevelItem(2)->text(4), u"new"_s);

    // Closing the dialog during a search ends it.
    clickButton(dialog, u"cmdSearch"_s);
    ASSERT_TRUE(dialog->searching());
    clickButton(dialog, u"cmdClose"_s);
    EXPECT_FALSE(dialog->searching());
    EXPECT_FALSE(dialog->isVisible());
    qputenv("QUORREL_TIMEOUT_MS", "300");
}

TEST_F(MainWindowTest, ProbeShowsEachMakesValues) {
    const auto printers = testsupport::startPrinters({"ricoh", "oki", "hp", "brother", "kyocera", "unknown"});
    QList<std::pair<QString, QString>> rows;
    for (const auto &printer : printers) {
        ASSERT_AGENT(*printer);
        rows.append({QString::fromStdString(printer->address()), QString::fromStdString(printer->name())});
    }
    writeIni(rows);
    auto window = start();
    struct Expected {
        QString brand, model, identity, counter;
    };
    const Expected expected[] = {
        {u"RICOH"_s, u"MP C3003"_s, u"E174M610045"_s, u"154321"_s},
        {u"OKI"_s, u"C5850"_s, u"AK59012345"_s, u"23456"_s},
        {u"HP "_s, u"LaserJet 4250"_s, u"CNRXB12345"_s, u"87654"_s},
        {u"BROTHER"_s, u"HL-5250DN"_s, u"L5J123456"_s, u"12873"_s},
        {u"KYOCERA"_s, u"ECOSYS P3045dn"_s, u"VCF8Z01234"_s, u"45678"_s},
        {u"unknow"_s, u"-"_s, u"-"_s, u"-"_s},
    };
    for (int row = 0; row < 6; ++row) {
        releaseOnRow(*window, row, Qt::NoModifier);
        const std::string make = rows[row].second.toStdString();
        EXPECT_EQ(caption(*window, u"lblPrinterBrand"_s), expected[row].brand) << make;
        EXPECT_EQ(caption(*window, u"lblPrinterModel"_s), expected[row].model) << make;
        EXPECT_EQ(caption(*window, u"lblPrinterID"_s), expected[row].identity) << make;
        EXPECT_EQ(caption(*window, u"lblPrinterCopies"_s), expected[row].counter) << make;
        EXPECT_EQ(caption(*window, u"lblMsg"_s), row == 5 ? u"-"_s : QString()) << make;
    }
    EXPECT_TRUE(child<QLabel>(*window, u"lblPrinterBrand"_s)->toolTip().startsWith(u"KYOCERA"_s));
}

// ---- a read-and-send cycle, its toner notes and the export

TEST_F(MainWindowTest, SendToServerFillsTheRowsAndRaisesTheTonerNotes) {
    SimulatedPrinter ricoh("ricoh");
    ASSERT_AGENT(ricoh);
    const QString address = QString::fromStdString(ricoh.address());
    for (const bool balloon : {true, false}) {
        writeIni({{address, u"Floor 2"_s}, {u"abc"_s, u"short"_s}},
                 u"TonerLowNotNotify="_s + (balloon ? u"0"_s : u"1"_s) + u"\r\n"_s);
        auto window = start();
        child<QPushButton>(*window, u"Command2"_s)->click();
        EXPECT_TRUE(store::globals().dataSent);
        EXPECT_TRUE(caption(*window, u"Label3"_s).startsWith(u"Last Update "_s)) << caption(*window, u"Label3"_s).toStdString();
        EXPECT_EQ(cell(*window, 0, 1), u"MP C3003"_s);
        EXPECT_EQ(cell(*window, 0, 4), u"92110"_s);
        const QString warning = u"Cyan = 15%\r\nMagenta Empty!!!\r\nYellow < 20%"_s;
        // The list shows the warning on one line and whole in the tool tip.
        EXPECT_EQ(cell(*window, 0, 6), u"Cyan = 15%, Magenta Empty!!!, Yellow < 20%"_s);
        EXPECT_EQ(cell(*window, 0, 6, Qt::ToolTipRole), warning);
        // A row's own tip wins over the list's, which says how to use it; the picture buttons say what they do.
        EXPECT_EQ(tipAt(*window, 0, 6), warning);
        EXPECT_EQ(tipAt(*window, 1, 1),
                  u"Click a printer to read it; Shift+click to add, change or remove a printer"_s);
        const std::pair<QString, QString> buttons[] = {{u"cmdExport"_s, u"Export the list to the desktop"_s},
                                                       {u"cmdWeb"_s, u"Open the customer portal"_s},
                                                       {u"cmdTest"_s, u"Show or hide printer details"_s},
                                                       {u"cmdInTray"_s, u"Hide in the notification area"_s}};
        for (const auto &[name, tip] : buttons) EXPECT_EQ(child<QPushButton>(*window, name)->toolTip(), tip);
        EXPECT_EQ(caption(*window, u"lblPrinterModel"_s), u"MP C3003"_s);
        EXPECT_EQ(caption(*window, u"lblMsg"_s), warning);
        // An update for a host in no row changes nothing, the labels included.
        window->updatePipRow(u"127.0.0.77"_s, u"Other"_s, u"X1"_s, u"1"_s, u"2"_s, u"Black Empty!!!"_s);
        EXPECT_EQ(caption(*window, u"lblPrinterModel"_s), u"MP C3003"_s);
        EXPECT_EQ(caption(*window, u"lblMsg"_s), warning);

        const ui::NotifyIconRecord &record = window->tray().record();
        if (balloon) {
            EXPECT_EQ(ui::infoTitleText(record), u"MP C3003 (Floor 2) - Toner Low!"_s);
            EXPECT_EQ(ui::infoText(record), warning);
            EXPECT_EQ(record.dwInfoFlags, ui::BalloonWarning);
            EXPECT_EQ(record.uTimeoutOrVersion, 30000u);
            EXPECT_EQ(record.uFlags, ui::NifInfo);
            EXPECT_EQ(ui::tipText(record), u"Meterlane"_s);
        } else {
            EXPECT_EQ(ui::tipText(record), u"MeterlaneMP C3003"_s + warning);
            EXPECT_EQ(record.uFlags, ui::CreationFlags);
            EXPECT_TRUE(ui::infoText(record).isEmpty());
        }
        waitForService(*window);
    }

    // A long warning cuts the tip at 127 characters.
    writeIni();
    auto window = start();
    window->notifyTonerLow(false, u"M"_s, u"d"_s, QString(200, u'x'));
    EXPECT_EQ(ui::tipText(window->tray().record()), u"MeterlaneM"_s + QString(117, u'x'));
}

// Readings the service did not take are counted on a line of their own after the icon's tip, which is cut to make
// room, and after "Last Update" in the status line; once the service took them, neither shows anything.
TEST_F(MainWindowTest, WaitingReadingsAreShownAfterTheTipAndTheLastUpdate) {
    SimulatedPrinter ricoh("ricoh");
    ASSERT_AGENT(ricoh);
    writeIni({{QString::fromStdString(ricoh.address()), u"Floor 2"_s}}, u"TonerLowNotNotify=1\r\n"_s);
    std::optional<testsupport::DevService> down(std::in_place, database->filePath(u"down.sqlite"_s),
                                                QStringList{u"--outage"_s, u"503"_s});
    const QString downRoot = down->root();
    qputenv("METERLANE_SERVICE_URL", downRoot.toUtf8());
    auto window = start();
    child<QPushButton>(*window, u"Command2"_s)->click();
    waitForService(*window);
    qputenv("METERLANE_SERVICE_URL", service->root().toUtf8());
    const QString line = u"1 reading waiting to be sent"_s;
    EXPECT_TRUE(caption(*window, u"Label3"_s).contains(QRegularExpression(u"^Last Update .+ \u2013 "_s + line + u'$')))
        << caption(*window, u"Label3"_s).toStdString();
    window->notifyTonerLow(false, u"M"_s, u"d"_s, QString(200, u'x'));
    EXPECT_EQ(window->tray().trayIcon()->toolTip(), u"MeterlaneM"_s + QString(88, u'x') + u'\n' + line); // 127

    down.emplace(database->filePath(u"down.sqlite"_s), QStringList{}, QUrl(downRoot).port()); // the service is back
    EXPECT_EQ(upload::retryWaitingReadings(false), 1);
    waitForService(*window);
    EXPECT_EQ(window->tray().trayIcon()->toolTip(), u"MeterlaneM"_s + QString(117, u'x'));
    EXPECT_TRUE(caption(*window, u"Label3"_s).contains(QRegularExpression(u"^Last Update [^\u2013]+$"_s)));
}

// Without a notification area the toner balloon becomes a desktop notification, and the quiet note marks the window
// itself; with no notification service either, the status line shows the balloon's title. The window waits for no
// answer of the service: it asks the capabilities once, and a printer's next note replaces its last one, named by the
// number the service gives that one (the next note waits for it).
TEST_F(MainWindowTest, WithoutANotificationAreaTonerNotesReachTheDesktop) {
    writeIni();
    auto window = start();
    ASSERT_FALSE(window->tray().available());
    const QString title = u"MP C3000 (Floor 2) - Toner Low!"_s;
    const auto titleShown = [&] {
        return QTest::qWaitFor([&] { return caption(*window, u"Label3"_s) == title; }, 10000);
    };
    window->notifyTonerLow(true, u"MP C3000"_s, u"Floor 2"_s, u"Black Empty!!!"_s); // before any service is up
    EXPECT_TRUE(titleShown());
    window->setStatus({});
    {
        uitest::NotificationService service;
        service.answerDelayMs = 1000;
        QElapsedTimer waited;
        waited.start();
        window->notifyTonerLow(true, u"MP C3000"_s, u"Floor 2"_s, u"Black Empty!!!\r\nYellow < 20%"_s);
        EXPECT_LT(waited.elapsed(), service.answerDelayMs);
        EXPECT_TRUE(QTest::qWaitFor([&] { return service.notices.size() == 1; }, 10000));
        waited.restart();
        window->notifyTonerLow(true, u"MP C3000"_s, u"Floor 2"_s, u"Black Empty!!!"_s); // before the first's answer
        EXPECT_LT(waited.elapsed(), service.answerDelayMs);
        EXPECT_TRUE(QTest::qWaitFor([&] { return service.notices.size() == 2; }, 10000));
        QTest::qWait(service.answerDelayMs + 200); // the last answer
        EXPECT_EQ(service.notices,
                  (QStringList{u"0|dialog-warning|"_s + title + u"|Black Empty!!!\nYellow &lt; 20%|30000|meterlane"_s,
                               u"1|dialog-warning|"_s + title + u"|Black Empty!!!|30000|meterlane"_s}));
        EXPECT_EQ(service.capabilityAsks, 1);
        EXPECT_NE(caption(*window, u"Label3"_s), title);
    }
    window->notifyTonerLow(false, u"MP C3000"_s, u"Floor 2"_s, u"Black Empty!!!"_s);
    EXPECT_EQ(window->windowIcon().cacheKey(), window->tray().iconOf(window->tray().record().hIcon).cacheKey());
    EXPECT_EQ(window->toolTip(), u"MeterlaneMP C3000Black Empty!!!"_s);

    window->notifyTonerLow(true, u"MP C3000"_s, u"Floor 2"_s, u"Black Empty!!!"_s); // the service has gone
    EXPECT_TRUE(titleShown());
}

// ---- the printers' condition

// What the program remembers of the printers' condition shows from start-up on, before any poll, and again after the
// list is refilled: in the Status column of each row of a printer, with the picture of its weight and the conditions
// as the row's tip, and as a line of the icon's tip after the waiting readings, the first left out of a full tip
// (the window's own tip without a notification area).
TEST_F(MainWindowTest, RememberedConditionsShowInTheStatusColumnAndTheTip) {
    const QDateTime since = QDateTime::currentDateTimeUtc().addSecs(-600);
    {
        store::ConditionStates states(folder.path());
        states.printer(u"127.0.0.31"_s).conditions.insert(
            u"jam"_s, {{u"jam"_s, u"jam"_s, {}, u"Paper jam"_s, 3}, since, true, 0});
        states.printer(u"127.0.0.32"_s).silentSince = since;
        ASSERT_TRUE(states.save());
    }
    writeIni({{u"127.0.0.31"_s, u"Hall"_s}, {u"127.0.0.32"_s, u"Lab"_s}, {u"127.0.0.31"_s, u"Hall, upstairs"_s}});
    auto window = start();
    const auto picture = [&](int row) {
        const QModelIndex cell = child<QTreeView>(*window, u"lvPips"_s)->model()->index(row, 7);
        return cell.data(Qt::DecorationRole).value<QIcon>().pixmap(16).toImage();
    };
    const auto standard = [](QStyle::StandardPixmap which) {
        return QApplication::style()->standardIcon(which).pixmap(16).toImage();
    };
    const QString jam = u"Paper jam (critical, since %1)"_s.arg(since.toLocalTime().toString(u"yyyy-MM-dd HH:mm"_s));
    for (const int row : {0, 2}) {
        EXPECT_EQ(cell(*window, row, 7), u"Paper jam"_s);
        EXPECT_EQ(picture(row), standard(QStyle::SP_MessageBoxCritical));
        EXPECT_EQ(tipAt(*window, row, 7), jam);
        EXPECT_EQ(tipAt(*window, row, 1), jam);
    }
    EXPECT_EQ(cell(*window, 1, 7), u"Not answering"_s);
    EXPECT_EQ(picture(1), ui::art::icon(ui::art::HostSilent).pixmap(16).toImage());
    const QString waiting = u"2 readings waiting to be sent"_s;
    window->showWaitingReadings(2);
    EXPECT_EQ(window->tray().trayIcon()->toolTip(), u"Meterlane\n"_s + waiting + u"\n1 printer needs attention"_s);
    window->notifyTonerLow(false, u"M"_s, u"d"_s, QString(80, u'x')); // 7 characters left: the line goes whole
    EXPECT_EQ(window->tray().trayIcon()->toolTip(), u"MeterlaneM"_s + QString(80, u'x') + u'\n' + waiting);
    EXPECT_EQ(window->toolTip(), window->tray().trayIcon()->toolTip());

    // Each weight its picture; all well: neither text nor picture, and the list's own tip.
    const std::pair<platform::Attention, QImage> weights[] = {
        {platform::Attention::Warning, standard(QStyle::SP_MessageBoxWarning)},
        {platform::Attention::Notice, standard(QStyle::SP_MessageBoxInformation)},
        {platform::Attention::None, QImage()}};
    for (const auto &[attention, image] : weights) {
        window->updatePipStatus(u"127.0.0.31"_s, {}, attention, {});
        EXPECT_EQ(picture(2), image) << int(attention);
    }
    EXPECT_EQ(cell(*window, 0, 7), QString());
    EXPECT_EQ(tipAt(*window, 0, 7), u"Click a printer to read it; Shift+click to add, change or remove a printer"_s);
    window->refillPipList();
    EXPECT_EQ(cell(*window, 2, 7), u"Paper jam"_s);
}

// Without a notification area, a newly raised condition is one desktop notification of its weight.
TEST_F(MainWindowTest, AConditionNoticeIsOneDesktopNotification) {
    writeIni();
    auto window = start();
    uitest::NotificationService service;
    window->notifyCondition(u"MP C3003 (Floor 2)"_s, u"Paper jam"_s, platform::Attention::Critical);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !service.notices.isEmpty(); }, 10000));
    QTest::qWait(200); // time for a second one
    EXPECT_EQ(service.notices, QStringList{u"0|dialog-error|MP C3003 (Floor 2)|Paper jam|30000|meterlane"_s});
}

// ---- supplies and status

// A right-click on a printer's row, as the window system delivers it (the press selects the row and asks for the
// menu), then "Supplies and status": the view reads the printer through the row's host; its conditions are the alert
// table's and the supplies' as one list without the muted ones, each with its severity and the remembered since; each
// supply a bar in its colour, a receptacle filling up, the words where the level is no percent.
TEST_F(MainWindowTest, SuppliesAndStatusShowTheConditionsAndEverySupply) {
    SimulatedPrinter printer("ui-supplies");
    ASSERT_AGENT(printer);
    const QString address = QString::fromStdString(printer.address());
    const QDateTime since = QDateTime::currentDateTimeUtc().addSecs(-3600);
    {
        store::ConditionStates states(folder.path());
        states.printer(address).conditions.insert(
            u"wasteNearlyFull"_s, {{u"wasteNearlyFull"_s, u"wasteNearlyFull"_s, {}, u"Waste"_s, 2}, since, true, 0});
        ASSERT_TRUE(states.save());
    }
    {
        // The cyan toner's history: 24 % twenty days ago, 5 % yesterday.
        store::History history(folder.path());
        for (const auto &[daysAgo, percent] : {std::pair{20, 24}, {1, 5}}) {
            store::ReadingRecord record;
            record.reading.time = QDateTime::currentDateTimeUtc().addDays(-daysAgo);
            record.reading.host = address;
            store::SupplyEntry cyan;
            cyan.time = record.reading.time;
            cyan.host = address;
            cyan.index = 3;
            cyan.percent = percent;
            cyan.state = u"ok"_s;
            record.supplies = {cyan};
            ASSERT_GT(history.record(record), 0) << history.failure().toStdString();
        }
    }
    QFile mute(folder.filePath(u"alerts.ini"_s));
    ASSERT_TRUE(mute.open(QIODevice::WriteOnly) && mute.write("[Conditions]\r\nMute=someRemaining\r\n") > 0);
    mute.close();
    writeIni({{address, u"Hall"_s}});
    auto window = start();
    ASSERT_EQ(chooseInRowMenu(*window, 0, u"mnuSupplies"_s), u"Supplies and status"_s);
    auto *view = window->findChild<ui::SuppliesDialog *>();
    ASSERT_TRUE(view && view->isVisible());
    EXPECT_EQ(caption(*view, u"lblState"_s), QString()); // the read starts once the view is shown
    ASSERT_TRUE(QTest::qWaitFor([&] { return caption(*view, u"lblState"_s).startsWith(u"Read "_s); }, 10000))
        << caption(*view, u"lblState"_s).toStdString();
    EXPECT_TRUE(caption(*view, u"lblState"_s).endsWith(u": device down, printer other"_s));
    EXPECT_EQ(caption(*view, u"lblPrinter"_s), u"HP Color LaserJet M553 (Hall)\n"_s + address);

    // Each row of a list as "cell|cell|...", a level bar by its text.
    const auto shown = [](QTreeWidget *list) {
        QStringList rows;
        for (QTreeWidgetItem *row = list->topLevelItem(0); row; row = list->itemBelow(row)) {
            QStringList cells;
            for (int column = 0; column < list->columnCount(); ++column) {
                auto *bar = qobject_cast<ui::SupplyBar *>(list->itemWidget(row, column));
                cells << (bar ? bar->text() : row->text(column));
            }
            rows << cells.join(u'|');
        }
        return rows;
    };
    EXPECT_EQ(shown(child<QTreeWidget>(*view, u"lvConditions"_s)),
              (QStringList{u"critical|Paper jam: tray 2|"_s, u"warning|Toner low: cyan|"_s,
                           u"warning|Waste toner box nearly full|"_s + store::shownTime(since)}));
    auto *supplies = child<QTreeWidget>(*view, u"lvSupplies"_s);
    const QString unknown = u"not yet known"_s;
    EXPECT_EQ(shown(supplies), (QStringList{u"Black toner|62 %|"_s + unknown + u"||Black Cartridge HP CF360X||"_s,
                                            u"Magenta toner|48 %|"_s + unknown + u"||Magenta Cartridge HP CF363X||"_s,
                                            u"Cyan toner|4 %|about 4 days left|low|Cyan Cartridge HP CF361X||"_s,
                                            u"Yellow toner|55 %|"_s + unknown + u"||Yellow Cartridge HP CF362X||"_s,
                                            u"Waste toner box|95 % full|"_s + unknown +
                                                u"|nearly full|Toner Collection Unit||"_s,
                                            u"Black drum|some remaining|"_s + unknown + u"||Black Imaging Drum||"_s,
                                            u"Fuser|unknown|"_s + unknown + u"||Fuser Kit||FK0042"_s}));
    const auto bar = [&](int row) {
        return qobject_cast<ui::SupplyBar *>(supplies->itemWidget(supplies->topLevelItem(row), 1));
    };
    const QString colours[] = {u"black"_s, u"magenta"_s, u"cyan"_s, u"yellow"_s, {}, u"black"_s, {}};
    for (int row = 0; row < 7; ++row) EXPECT_EQ(bar(row)->colour(), ui::barColour(colours[row])) << row;
    EXPECT_NE(ui::barColour(u"black"_s), ui::barColour({}));
    // The waste box is drawn 95 % full, not 5 %.
    ui::SupplyBar *waste = bar(4);
    EXPECT_TRUE(waste->fillsUp());
    const QImage drawn = waste->grab().toImage();
    const QColor base = waste->palette().color(QPalette::Base);
    EXPECT_NE(drawn.pixelColor(drawn.width() * 9 / 10, drawn.height() / 2), base);
    EXPECT_EQ(drawn.pixelColor(drawn.width() - 3, drawn.height() / 2), base);
}

// A printer that does not answer says so; "Read again" is off while a read runs, and the view may be closed then.
TEST_F(MainWindowTest, SuppliesAndStatusOfASilentPrinterMayBeClosedWhileReading) {
    writeIni({{u"127.100.100.140"_s, u"Lab"_s}});
    auto window = start();
    ASSERT_EQ(chooseInRowMenu(*window, 0, u"mnuSupplies"_s), u"Supplies and status"_s);
    QPointer view = window->findChild<ui::SuppliesDialog *>();
    const QString silent = u"The printer does not answer"_s;
    ASSERT_TRUE(QTest::qWaitFor([&] { return caption(*view, u"lblState"_s) == silent; }, 10000));
    QStringList whileReading;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (!view || !view->reading()) return;
        whileReading << caption(*view, u"lblState"_s)
                     << QString::number(child<QPushButton>(*view, u"cmdRead"_s)->isEnabled());
        view->close();
    });
    closer.start(5);
    child<QPushButton>(*view, u"cmdRead"_s)->click();
    EXPECT_EQ(whileReading, (QStringList{u"Reading..."_s, u"0"_s}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.isNull(); }, 5000));
}

// The window's own menu where the row is no printer's, and on every row while StandardPrinterMib is 0.
TEST_F(MainWindowTest, TheRowMenuOnlyForAPrinterWhileTheStandardPrinterMibIsRead) {
    for (const bool standard : {true, false}) {
        writeIni({{u"127.100.100.140"_s, u"Lab"_s}}, standard ? QString() : u"StandardPrinterMib=0\r\n"_s);
        auto window = start();
        for (const int row : {0, 1}) {
            QMenu *menu = rowMenu(*window, row);
            ASSERT_NE(menu, nullptr);
            EXPECT_EQ(menu->objectName(), standard && row == 0 ? u"mnuPrinter"_s : u"mnu"_s) << standard << row;
            for (const QString &entry : {u"mnuSupplies"_s, u"mnuHistory"_s})
                EXPECT_EQ(menu->findChild<QAction *>(entry) != nullptr, standard && row == 0) << standard << row;
            menu->close();
        }
    }
}

// ---- history

// "History" from a printer's row over a store of four months and twenty days: the months as bars, the one whose
// totals dropped (a board replaced) and the running one estimated and drawn lighter; each supply's levels as a line
// and its days left; "Export CSV" writes every printer's months to the file chosen.
TEST_F(MainWindowTest, HistoryShowsTheMonthsTheSupplyLevelsAndExportsEveryPrinter) {
    const QString host = u"127.100.100.140"_s, other = u"127.100.100.141"_s;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDate thisMonth = store::periodStart(store::Period::Month, now.date());
    const auto monthStart = [&](int back) { return QDateTime(thisMonth.addMonths(-back), QTime(0, 0), Qt::UTC); };
    const auto month = [&](int back) { return store::periodName(store::Period::Month, thisMonth.addMonths(-back)); };
    {
        store::History history(folder.path());
        ASSERT_TRUE(history.isOpen()) << history.failure().toStdString();
        const auto read = [&](const QString &at, const QDateTime &time, qint64 blackAndWhite, qint64 colour,
                              const QList<store::SupplyEntry> &supplies = {}) {
            const store::ReadingEntry reading{time, at, u"E1234"_s, u"MP C3003"_s, blackAndWhite, colour};
            EXPECT_GT(history.record({reading, supplies, {}, {}}), 0) << history.failure().toStdString();
        };
        read(host, monthStart(3), 1000, 100);
        read(host, monthStart(2), 1500, 150);
        read(host, monthStart(2).addDays(14), 1800, 180);
        read(host, monthStart(2).addDays(15), 50, 5);
        read(host, monthStart(1), 350, 35);
        read(host, monthStart(0), 950, 95);
        // A reading a day for twenty days: black toner down 1 % a day, the waste box up 1 % a day, and cyan toner
        // known for thirteen days only.
        for (int day = 20; day >= 0; --day) {
            const QDateTime time = now.addDays(-day);
            QList<store::SupplyEntry> supplies = {
                {time, host, 1, u"toner"_s, u"black"_s, u"Black Cartridge"_s, {}, false, 60 + day, u"ok"_s},
                {time, host, 3, u"waste toner"_s, {}, u"Toner Collection Unit"_s, {}, true, 40 - day, u"ok"_s}};
            if (day <= 13)
                supplies.append(
                    {time, host, 2, u"toner"_s, u"cyan"_s, u"Cyan Cartridge"_s, {}, false, 37 + day, u"ok"_s});
            read(host, time, 950, 95, supplies);
        }
        read(other, monthStart(1), 10, 0);
        read(other, monthStart(0), 210, 0);
    }
    writeIni({{host, u"Hall"_s}});
    auto window = start();
    ASSERT_EQ(chooseInRowMenu(*window, 0, u"mnuHistory"_s), u"History"_s);
    auto *view = window->findChild<ui::HistoryDialog *>();
    ASSERT_TRUE(view && view->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->loading(); }, 10000));
    EXPECT_TRUE(caption(*view, u"lblState"_s).startsWith(u"Readings stored from "_s))
        << caption(*view, u"lblState"_s).toStdString();

    auto *pages = child<ui::Chart>(*view, u"chtPages"_s);
    QStringList months;
    for (const ui::BarGroup &group : pages->data().groups)
        months << u"%1 %2 %3"_s.arg(group.label).arg(group.values.value(0)).arg(group.values.value(1)) +
                      (group.estimated ? u" estimated"_s : QString());
    EXPECT_EQ(months, (QStringList{month(3) + u" 500 50"_s, month(2) + u" 600 60 estimated"_s, month(1) + u" 600 60"_s,
                                   month(0) + u" 0 0 estimated"_s}));
    EXPECT_TRUE(child<QLabel>(*view, u"lblEstimated"_s)->isVisible());
    const QImage drawn = pages->grab().toImage();
    const ui::ChartLayout layout = pages->currentLayout();
    const auto barPixel = [&](int group) { return drawn.pixelColor(layout.bars[group][0].center().toPoint()); };
    EXPECT_EQ(barPixel(2), ui::barColour(u"black"_s));
    EXPECT_GT(barPixel(1).lightness(), barPixel(2).lightness());

    QStringList lines;
    for (const auto &[series, points] : child<ui::Chart>(*view, u"chtSupplies"_s)->data().lines) {
        const QString levels = u"%1-%2"_s.arg(points.first().percent).arg(points.last().percent);
        lines << u"%1 %2 %3"_s.arg(series.name).arg(points.size()).arg(levels) + (series.fill ? u" fill"_s : QString());
    }
    EXPECT_EQ(lines,
              (QStringList{u"Black toner 21 80-60"_s, u"Cyan toner 14 50-37"_s, u"Waste toner 21 20-40 fill"_s}));
    auto *supplies = child<QTreeWidget>(*view, u"lvSupplies"_s);
    QStringList rows;
    for (QTreeWidgetItem *row = supplies->topLevelItem(0); row; row = supplies->itemBelow(row))
        rows << row->text(0) + u'|' + qobject_cast<ui::SupplyBar *>(supplies->itemWidget(row, 1))->text() + u'|' +
                    row->text(2);
    EXPECT_EQ(rows, (QStringList{u"Black toner|60 %|about 60 days left"_s, u"Cyan toner|37 %|not yet known"_s,
                                 u"Waste toner|40 % full|about 60 days to full"_s}));

    const QString path = folder.filePath(u"usage.csv"_s);
    uitest::BoxAnswerer answerer;
    answerer.onDialog = [&](QDialog *dialog) {
        auto *files = qobject_cast<QFileDialog *>(dialog);
        ASSERT_NE(files, nullptr);
        files->selectFile(path);
        dialog->accept();
    };
    child<QPushButton>(*view, u"cmdExport"_s)->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->exporting(); }, 10000));
    EXPECT_EQ(caption(*view, u"lblExport"_s), u"Exported to "_s + path);
    const auto csvLine = [&](const QString &at, int back, const QString &pages) {
        return at + u',' + month(back) + u',' + pages + u"\r\n"_s;
    };
    EXPECT_EQ(readText(path), u"Host,Month,Black and white,Colour,Complete\r\n"_s + csvLine(host, 3, u"500,50,yes"_s) +
                                  csvLine(host, 2, u"600,60,no"_s) + csvLine(host, 1, u"600,60,yes"_s) +
                                  csvLine(host, 0, u"0,0,no"_s) + csvLine(other, 1, u"200,0,yes"_s) +
                                  csvLine(other, 0, u"0,0,no"_s));
}

// Without a store the view says so, and makes none.
TEST_F(MainWindowTest, HistoryWithoutAStoreSaysSo) {
    writeIni({{u"127.100.100.140"_s, u"Lab"_s}});
    auto window = start();
    ASSERT_EQ(chooseInRowMenu(*window, 0, u"mnuHistory"_s), u"History"_s);
    auto *view = window->findChild<ui::HistoryDialog *>();
    ASSERT_TRUE(view && QTest::qWaitFor([&] { return !view->loading(); }, 10000));
    EXPECT_EQ(caption(*view, u"lblState"_s),
              u"No history is stored yet: it starts with the next read-and-send cycle."_s);
    EXPECT_FALSE(child<QPushButton>(*view, u"cmdExport"_s)->isEnabled());
    EXPECT_FALSE(QFile::exists(folder.filePath(store::HistoryFileName)));
}

TEST_F(MainWindowTest, ExportBeforeAndAfterACycle) {
    SimulatedPrinter hp("hp");
    ASSERT_AGENT(hp);
    const QString address = QString::fromStdString(hp.address());
    writeIni({{address, u"Floor 2; east"_s}, {u"abc"_s, u"short"_s}});
    auto window = start();
    const QString path = QDir(home->path()).filePath(u"Desktop/ZOVExport.csv"_s);
    QDir(home->path()).mkpath(u"Desktop"_s);
    QFile::remove(path);

    QStringList messages;
    auto answerOk = [&] {
        answerNextModal([&](QWidget *box) {
            messages << qobject_cast<QMessageBox *>(box)->text();
            clickStandardButton(box, QMessageBox::Ok);
        });
    };
    answerOk();
    child<QPushButton>(*window, u"cmdExport"_s)->click();
    EXPECT_EQ(messages, QStringList{u"Send data before export"_s});
    EXPECT_FALSE(QFile::exists(path));

    child<QPushButton>(*window, u"Command2"_s)->click();
    waitForService(*window);
    messages.clear();
    answerOk();
    child<QPushButton>(*window, u"cmdExport"_s)->click();
    EXPECT_EQ(messages, QStringList{u"File available on desktop \r\n"_s + path});
    EXPECT_EQ(readText(path), u"IP;Model;ID;Description;TotBW;TotCol;Toner;\r\n"_s + address +
                                  u";LaserJet 4250;CNRXB12345;Floor 2; east;87654;0;\r\n"_s);
}

// ---- the diagnostic console

TEST_F(MainWindowTest, ConsoleOptionsFollowTheOperation) {
    writeIni();
    auto window = start();
    auto *value = child<QLineEdit>(*window, u"txtSetVal"_s);
    auto *integer = child<QCheckBox>(*window, u"chkSetInteger"_s);
    auto *fullWalk = child<QCheckBox>(*window, u"chkFullWalk"_s);
    EXPECT_TRUE(child<QRadioButton>(*window, u"optOps_0"_s)->isChecked());
    EXPECT_FALSE(value->isEnabled());

    child<QRadioButton>(*window, u"optOps_2"_s)->click();
    EXPECT_TRUE(value->isEnabled());
    EXPECT_FALSE(integer->isHidden());
    EXPECT_TRUE(fullWalk->isHidden());
    integer->setChecked(true);

    child<QRadioButton>(*window, u"optOps_3"_s)->click();
    EXPECT_FALSE(value->isEnabled());
    EXPECT_TRUE(integer->isHidden());
    EXPECT_FALSE(integer->isChecked());
    EXPECT_FALSE(fullWalk->isHidden());
    fullWalk->setChecked(true);

    child<QRadioButton>(*window, u"optOps_1"_s)->click();
    EXPECT_TRUE(fullWalk->isHidden());
    EXPECT_FALSE(fullWalk->isChecked());
}

TEST_F(MainWindowTest, ConsoleRunListsTheResultsAndAppendsThemToTheFile) {
    SimulatedPrinter ricoh("ricoh");
    ASSERT_AGENT(ricoh);
    const QString address = QString::fromStdString(ricoh.address());
    writeIni();
    auto window = start();
    child<QLineEdit>(*window, u"txtAgent"_s)->setText(address);
    child<QLineEdit>(*window, u"txtAgentTo"_s)->setText(address);
    child<QLineEdit>(*window, u"txtOID"_s)->setText(u"1.3.6.1.2.1.1.1.0"_s);
    child<QRadioButton>(*window, u"optOps_1"_s)->click();

    QString message;
    bool timerHeldOff = false;
    answerNextModal([&](QWidget *box) {
        message = qobject_cast<QMessageBox *>(box)->text();
        clickStandardButton(box, QMessageBox::Ok);
    });
    QTimer::singleShot(0, [&] { timerHeldOff = !child<QTimer>(*window, u"Timer1"_s)->isActive(); });
    child<QPushButton>(*window, u"cmdGo"_s)->click();

    const QString resultsFile = folder.filePath(u"zovdata.txt"_s);
    EXPECT_EQ(message, u"Complete ... file at: "_s + resultsFile);
    EXPECT_TRUE(timerHeldOff);
    EXPECT_TRUE(child<QTimer>(*window, u"Timer1"_s)->isActive());
    EXPECT_TRUE(child<QPushButton>(*window, u"cmdGo"_s)->isEnabled());
    EXPECT_TRUE(child<QPushButton>(*window, u"cmdCancelScan"_s)->isHidden());

    auto *addresses = child<QTreeWidget>(*window, u"LV_IPs"_s);
    ASSERT_EQ(addresses->topLevelItemCount(), 1);
    EXPECT_EQ(addresses->topLevelItem(0)->text(0), address);
    EXPECT_TRUE(QRegularExpression(u"^\\d+$"_s).match(addresses->topLevelItem(0)->text(1)).hasMatch());
    auto *current = child<QLineEdit>(*window, u"txtIP"_s);
    EXPECT_EQ(current->text(), address);
    EXPECT_EQ(current->palette().color(QPalette::Base), QColor(128, 255, 128));

    const QStringList expected{u"> "_s + address, u"-  1.3.6.1.2.1.1.2.0 : 1.3.6.1.4.1.367.1.1"_s,
                               QString(59, u'-')};
    QStringList shown;
    auto *results = child<QListWidget>(*window, u"lstResults"_s);
    for (int row = 0; row < results->count(); ++row) shown << results->item(row)->text();
    EXPECT_EQ(shown, expected);

    // A second run appends its lines after the first run's.
    answerNextModal([&](QWidget *box) { clickStandardButton(box, QMessageBox::Ok); });
    child<QPushButton>(*window, u"cmdGo"_s)->click();
    EXPECT_EQ(readText(resultsFile), (shown + shown).join(u"\r\n"_s) + u"\r\n"_s);

    // Equal columns that fit the widest address with its icon; an answer with the change marker is scrolled to.
    auto *panel = window->findChild<ui::ConsolePanel *>();
    panel->clearAddresses();
    for (int host = 0; host <= 255; ++host) panel->addAddress(u"255.255.255.%1"_s.arg(host));
    panel->showPingResult(255, u"1"_s, 3);
    EXPECT_EQ(addresses->columnWidth(1), addresses->columnWidth(0));
    EXPECT_EQ(addresses->columnWidth(2), addresses->columnWidth(0));
    EXPECT_LE(static_cast<QAbstractItemView *>(addresses)->sizeHintForColumn(0), addresses->columnWidth(0));
    const QRect row = addresses->visualItemRect(addresses->topLevelItem(255));
    EXPECT_TRUE(row.top() >= 0 && row.bottom() < addresses->viewport()->height()) << row.top();

    // A results file that cannot be written is said in the status line.
    store::setProgramFolder(folder.filePath(u"missing"_s));
    child<QPushButton>(*window, u"cmdGo"_s)->click();
    EXPECT_EQ(caption(*window, u"Label3"_s), u"Cannot write "_s + folder.filePath(u"missing/zovdata.txt"_s));
}

// ---- the portal button and the about box

TEST_F(MainWindowTest, PortalButtonOpensThePortalWithAFreshToken) {
    writeIni({}, {}, u"4711"_s);
    auto window = start();
    uitest::UrlRecorder catcher;
    child<QPushButton>(*window, u"cmdWeb"_s)->click();
    child<QPushButton>(*window, u"cmdWeb"_s)->click();

    ASSERT_EQ(catcher.opened.size(), 2u);
    const QRegularExpression token(u"t=(\\d{12})(-?\\d+)(\\d{12})$"_s);
    QStringList middles, tokens;
    for (const QUrl &url : catcher.opened) {
        EXPECT_TRUE(url.toString().startsWith(store::vendorTable()[0].portalButton)) << url.toString().toStdString();
        const auto match = token.match(url.toString());
        ASSERT_TRUE(match.hasMatch()) << url.toString().toStdString();
        middles << match.captured(2);
        tokens << match.captured(0);
    }
    EXPECT_EQ(middles[0], QString::number(7305194 - 4711));
    EXPECT_EQ(middles[1], middles[0]);
    EXPECT_NE(tokens[0], tokens[1]);
}

TEST_F(MainWindowTest, TheInfoLabelOpensTheAboutBox) {
    writeIni();
    auto window = start();
    QString name, title;
    answerNextModal([&](QWidget *box) {
        name = box->objectName();
        title = box->windowTitle();
        clickButton(box, u"cmdOK"_s);
    });
    QTest::mouseClick(child<QLabel>(*window, u"Label4"_s), Qt::LeftButton);
    EXPECT_EQ(name, u"frmCastorel"_s);
    EXPECT_EQ(title, u"info"_s);
}

} // namespace

