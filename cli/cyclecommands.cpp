// meterlane-cli cycle and run: the read-and-send cycle headless, once or on its timed schedule.
#include "commands.h"
#include "consolewindow.h"

#include "store/config.h"
#include "store/globals.h"
#include "store/snmpprofiles.h"
#include "upload/cycle.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>
#include <QTimer>

#include <csignal>

namespace cli {
namespace {

// Start-up as the desktop program does it: the configuration file created or renewed, the vendor values read.
// ExitOk to go on, else the exit status, after saying why. Nothing is read or sent for a folder where the program
// cannot keep its configuration file, or whose credentials file cannot be read.
int startUp(const QString &command, const QStringList &args) {
    QCommandLineParser parser;
    parser.addOption(folderOption());
    if (!parseArguments(parser, command, args)) return ExitUsage;
    if (!parser.positionalArguments().isEmpty()) return usageError(command + QStringLiteral(" takes [--folder DIR]"));
    if (!useProgramFolder(parser)) return ExitFailed;
    store::Globals &values = store::globals();
    if (!QFileInfo(values.programFolder).isDir()) {
        QTextStream(stderr) << "meterlane-cli: folder " << values.programFolder << " does not exist\n";
        return ExitFailed;
    }
    if (!lockProgramFolder()) return ExitFailed;
    if (!store::CreateIniFile() || !QFileInfo(values.iniFile).isWritable()) {
        QTextStream(stderr) << "meterlane-cli: cannot write " << values.iniFile << "\n";
        return ExitFailed;
    }
    if (store::snmpProfiles().unreadable) return ExitFailed; // it said why; every printer would read as silent
    store::readVendorValues();
    values.intervalRead = 1;
    return ExitOk;
}

void stopOnSignal(int) { upload::requestStop(); }

} // namespace

int cycleCommand(const QStringList &args) {
    if (const int status = startUp(QStringLiteral("cycle"), args); status != ExitOk) return status;
    ConsoleWindow console;
    platform::setWindow(&console);
    const bool completed = upload::SendPCC();
    const bool kept = console.waitForRequests();
    platform::setWindow(nullptr);
    return completed && kept && console.failedRequests() == 0 ? ExitOk : ExitFailed;
}

int runCommand(const QStringList &args) {
    if (const int status = startUp(QStringLiteral("run"), args); status != ExitOk) return status;
    ConsoleWindow console;
    platform::setWindow(&console);
    std::signal(SIGINT, stopOnSignal);
    std::signal(SIGTERM, stopOnSignal);

    upload::ReadSchedule schedule;
    QTimer ticks, stopWatch;
    QObject::connect(&ticks, &QTimer::timeout, [&] { schedule.tick(); });
    QObject::connect(&stopWatch, &QTimer::timeout, [] {
        if (upload::stopRequested()) QCoreApplication::quit();
    });
    ticks.start(upload::tickLength());
    stopWatch.start(200);
    QCoreApplication::exec();
    const bool kept = console.waitForRequests();
    platform::setWindow(nullptr);
    return kept ? ExitOk : ExitFailed;
}

} // namespace cli
