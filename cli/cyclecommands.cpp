// meterlane-cli cycle and run: the read-and-send cycle headless, once or on its timed schedule.
#include "commands.h"
#include "consolewindow.h"

#include "store/config.h"
#include "store/globals.h"
#include "upload/cycle.h"

#include <QCoreApplication>
#include <QTextStream>
#include <QTimer>

#include <csignal>

namespace cli {
namespace {

// Start-up as the desktop program does it: the configuration file created or renewed, the vendor identifier read.
bool startUp(QStringList &args, const char *usage) {
    if (!takeProgramFolder(args)) return false;
    if (!args.isEmpty()) {
        usageError(QString::fromLatin1(usage));
        return false;
    }
    store::Globals &values = store::globals();
    if (!store::CreateIniFile()) QTextStream(stderr) << "cannot write " << values.iniFile << "\n";
    values.vendorId = store::ReadIniValue(values.iniFile, QStringLiteral("Vendor"), QStringLiteral("ID"));
    values.intervalRead = 1;
    return true;
}

void stopOnSignal(int) { upload::requestStop(); }

} // namespace

int cycleCommand(const QStringList &arguments) {
    QStringList args = arguments;
    if (!startUp(args, "cycle takes [--folder DIR]")) return ExitUsage;
    ConsoleWindow console;
    platform::setWindow(&console);
    upload::runCycle();
    console.waitForRequests();
    platform::setWindow(nullptr);
    return ExitOk;
}

int runCommand(const QStringList &arguments) {
    QStringList args = arguments;
    if (!startUp(args, "run takes [--folder DIR]")) return ExitUsage;
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
    ticks.start(upload::ReadSchedule::TickMilliseconds);
    stopWatch.start(200);
    QCoreApplication::exec();
    console.waitForRequests();
    platform::setWindow(nullptr);
    return ExitOk;
}

} // namespace cli
