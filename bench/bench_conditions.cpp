// The condition poll of a 200-printer site: 180 printers served by one snmpsim on loopback, 20 addresses silent. The
// site's memory is as after its first reading (device index and alert counters known), so that an unchanged printer
// costs one get. Prints the poll's wall time, the requests the agent saw per answering printer, and beside them the
// same reads sent one printer after another (each printer's status objects in turn, as a reading reads them).
// bench/run calls it inside a network namespace of its own.
//   bench_conditions [NETWORK]   NETWORK: a 127.x.y network (default 127.0.2, printers on .1 to .200)
#include "snmpsimsite.h"

#include "platform/componentfactory.h"
#include "platform/window.h"
#include "reading/conditionread.h"
#include "store/conditionstate.h"
#include "store/globals.h"
#include "upload/conditionwatch.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {

constexpr int Printers = 200, Answering = 180;

const char *const PrinterData = "1.3.6.1.2.1.1.1.0|4|KYOCERA Document Solutions Printing System\n"
                                "1.3.6.1.2.1.1.3.0|67|1290000\n"
                                "1.3.6.1.2.1.25.3.2.1.2.1|6|1.3.6.1.2.1.25.3.1.5\n"
                                "1.3.6.1.2.1.25.3.2.1.5.1|2|2\n"
                                "1.3.6.1.2.1.25.3.5.1.1.1|2|3\n"
                                "1.3.6.1.2.1.25.3.5.1.2.1|4x|00\n"
                                "1.3.6.1.2.1.43.5.1.1.18.1|65|0\n"
                                "1.3.6.1.2.1.43.5.1.1.19.1|65|0\n";

[[noreturn]] void fail(const QString &why) {
    std::fprintf(stderr, "bench_conditions: %s\n", qPrintable(why));
    std::exit(1);
}


// The requests the agent has seen so far, as its log names them.
int requestsSeen(const QTemporaryDir &work) {
    QFile log(work.filePath(QStringLiteral("agent.log")));
    return log.open(QIODevice::ReadOnly) ? int(log.readAll().count("Request var-binds")) : 0;
}

// The program folder of the site: every address in a slot, the memory of a first reading in condition-state.json.
void writeSite(const QTemporaryDir &program, const QStringList &addresses) {
    QStringList ini{QStringLiteral("[General]"), QStringLiteral("ver=2.7.9"), QStringLiteral("[Pips]")};
    QMap<QString, store::PrinterCondition> memory;
    for (int slot = 1; slot <= Printers; ++slot) {
        ini << QStringLiteral("pip%1=%2").arg(slot, 3, 10, QLatin1Char('0')).arg(addresses[slot - 1]);
        store::PrinterCondition &printer = memory[addresses[slot - 1]];
        printer.deviceIndex = 1;
        printer.upTime = 1290000;
        printer.allEvents = printer.criticalEvents = 0;
        printer.lastAnswer = QDateTime::currentDateTimeUtc();
    }
    QFile iniFile(program.filePath(QStringLiteral("meterlane.ini")));
    QFile state(program.filePath(store::ConditionStateFileName));
    if (!iniFile.open(QIODevice::WriteOnly) || iniFile.write(ini.join(QStringLiteral("\r\n")).toUtf8() + "\r\n") < 0 ||
        !state.open(QIODevice::WriteOnly) || state.write(store::conditionStatesJson(memory)) < 0)
        fail("cannot write the site's files");
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication application(argc, argv);
    const QString network = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("127.0.2");
    if (!network.startsWith(QLatin1String("127."))) fail("the site must be on a 127.x.y network");
    QStringList addresses;
    for (int host = 1; host <= Printers; ++host) addresses << network + u'.' + QString::number(host);

    QTemporaryDir work, program;
    QProcess agent;
    if (!startSnmpsimSite(agent, work.path(), PrinterData, addresses.mid(0, Answering)))
        fail("the simulated printers do not answer");
    writeSite(program, addresses);
    store::setProgramFolder(program.path());
    platform::setLibraryFolder(QCoreApplication::applicationDirPath());

    const int before = requestsSeen(work);
    QElapsedTimer clock;
    clock.start();
    if (!upload::runConditionPoll()) fail("the poll did not run");
    const qint64 pollMs = clock.elapsed();
    QThread::msleep(500); // the agent's log catches up
    const double perPrinter = double(requestsSeen(work) - before) / Answering;

    clock.restart();
    store::ConditionStates states(program.path());
    for (const QString &address : addresses) {
        const store::PrinterCondition &printer = states.printer(address);
        reading::readConditionSignals(address, {printer.deviceIndex, printer.upTime, printer.allEvents,
                                                printer.criticalEvents, false});
    }
    const qint64 sequentialMs = clock.elapsed();

    std::printf("condition poll of %d printers (%d answering, %d silent): %lld ms; requests per unchanged printer: "
                "%.2f\nthe same reads one printer after another: %lld ms (%.1fx the poll)\n",
                Printers, Answering, Printers - Answering, static_cast<long long>(pollMs), perPrinter,
                static_cast<long long>(sequentialMs), double(sequentialMs) / double(std::max<qint64>(pollMs, 1)));
    agent.terminate();
    agent.waitForFinished();
    return 0;
}
