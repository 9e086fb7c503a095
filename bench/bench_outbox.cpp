// A site of 100 printers through a service outage: meterlane-cli run reads them on short ticks while the development
// service is stopped for three cycles, then the service comes back on its port. Prints how many readings waited, how
// many arrived (each printer's newest, once) and how long the outbox took to empty after the service's return, with
// the share of that spent waiting for the next tick. One snmpsim serves the simulated HP printer on 100 loopback
// addresses; bench/run calls it inside a network namespace of its own.
//   bench_outbox [NETWORK [TICK_MS]]   NETWORK: a 127.x.y network (default 127.0.1, printers on .1 to .100)
#include "snmpsimsite.h"
#include "upload/outbox.h"
#include "store/servicetable.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr int Printers = 100;
constexpr int OutageCycles = 3;
constexpr int IntervalTicks = 20; // time enough after the outage for the outbox to empty before the next cycle

// Thrown to end the benchmark, so that the processes it started stop with their objects.
struct Failure {
    QString why;
};

[[noreturn]] void fail(const QString &why) { throw Failure{why}; }

// Polls until condition holds, reading what the processes said; false after the time limit.
bool waitFor(const std::function<bool()> &condition, int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > milliseconds) return false;
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    return true;
}

// The simulated HP printer on every address.
void startSite(QProcess &agent, const QTemporaryDir &work, const QStringList &addresses) {
    QFile data(QStringLiteral(METERLANE_AGENTS_DIR "/printers/hp.snmprec"));
    if (!data.open(QIODevice::ReadOnly)) fail("no printer data");
    if (!startSnmpsimSite(agent, work.path(), data.readAll(), addresses)) fail("the simulated printers do not answer");
}

// The development service on the port given (0: a free one); its root once it listens.
QString startService(QProcess &service, const QString &database, quint16 port) {
    service.setProgram(QStringLiteral(METERLANE_BIN_DIR "/yonderlook-devserver"));
    service.setArguments({QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port), QStringLiteral("--db"),
                          database});
    service.setReadChannel(QProcess::StandardError);
    service.start();
    static const QRegularExpression listening(QStringLiteral("listening on (http://\\S+)"));
    QString said;
    while (service.waitForReadyRead(5000)) {
        said += QString::fromUtf8(service.readAllStandardError());
        if (const auto match = listening.match(said); match.hasMatch()) return match.captured(1);
    }
    fail("the development service did not start: " + said);
}

QList<upload::WaitingReading> outbox(const QString &folder) {
    QFile file(QDir(folder).filePath(QStringLiteral("outbox")));
    const auto readings = upload::parseOutbox(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
    return readings.value_or(QList<upload::WaitingReading>{});
}

int measure(const QString &network, int tickMs) {
    QTemporaryDir work, program;
    QStringList addresses, ini{QStringLiteral("[General]"), QStringLiteral("ver=2.7.9"), QStringLiteral("[Settings]"),
                               QStringLiteral("TonerLowNotNotify=1"),
                               QStringLiteral("IntervalReadMinutes=%1").arg(IntervalTicks), QStringLiteral("[Vendor]"),
                               QStringLiteral("ID=") + store::vendorTable()[0].vendorId, QStringLiteral("[Pips]")};
    for (int host = 1; host <= Printers; ++host) {
        addresses << network + u'.' + QString::number(host);
        ini << QStringLiteral("pip%1=%2").arg(host, 3, 10, QLatin1Char('0')).arg(addresses.last());
    }
    QFile iniFile(program.filePath(QStringLiteral("meterlane.ini")));
    if (!iniFile.open(QIODevice::WriteOnly) || iniFile.write(ini.join(QStringLiteral("\r\n")).toUtf8() + "\r\n") < 0)
        fail("cannot write meterlane.ini");
    iniFile.close();

    QProcess agent;
    startSite(agent, work, addresses);
    const QString database = work.filePath(QStringLiteral("service.sqlite"));
    QProcess service;
    const QString root = startService(service, database, 0); // its port, then down
    service.terminate();
    service.waitForFinished();

    QProcess run;
    run.setEnvironment(QProcess::systemEnvironment() << QStringLiteral("METERLANE_SERVICE_URL=") + root
                                                     << QStringLiteral("METERLANE_TICK_MS=%1").arg(tickMs));
    run.setStandardOutputFile(QProcess::nullDevice());
    QString said; // run's standard error
    const auto cycles = [&] {
        said += QString::fromUtf8(run.readAllStandardError());
        return int(said.count(QStringLiteral("Last Update ")));
    };
    QElapsedTimer clock;
    clock.start();
    run.start(QStringLiteral(METERLANE_BIN_DIR "/meterlane-cli"), {QStringLiteral("run"), QStringLiteral("--folder"),
                                                                    program.path()});
    if (!waitFor([&] {
            const auto waiting = outbox(program.path());
            return cycles() >= OutageCycles && waiting.size() == Printers &&
                   std::all_of(waiting.begin(), waiting.end(), [](const auto &r) { return r.tries > 0; });
        }, 600'000))
        fail(QStringLiteral("%1 cycles, %2 waiting; run said:\n").arg(cycles()).arg(outbox(program.path()).size()) +
             said);
    const qint64 outageMs = clock.elapsed();
    const QList<upload::WaitingReading> waiting = outbox(program.path());

    clock.restart();
    startService(service, database, quint16(QUrl(root).port()));
    const QDateTime back = QDateTime::currentDateTimeUtc();
    const qint64 startMs = clock.elapsed();
    clock.restart();
    const bool emptied = waitFor([&] { return outbox(program.path()).isEmpty(); }, 120'000);
    const qint64 emptyMs = clock.elapsed();
    const int cyclesAfter = cycles() - OutageCycles;
    run.terminate();
    run.waitForFinished();
    service.terminate();
    service.waitForFinished();
    agent.terminate();
    agent.waitForFinished();

    // What arrived: each waiting reading once, and the service's own log of when the uploads came.
    QSet<QString> expected;
    for (const upload::WaitingReading &reading : waiting) expected << reading.address.query(QUrl::FullyEncoded);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(database);
    if (!db.open()) fail("cannot open the service's database");
    int arrived = 0, ofTheOutbox = 0;
    QSet<QString> printers;
    for (QSqlQuery row(QStringLiteral("SELECT address, query FROM readings"), db); row.next(); ++arrived) {
        printers << row.value(0).toString();
        ofTheOutbox += expected.remove(row.value(1).toString()) ? 1 : 0;
    }
    static const QRegularExpression upload(QStringLiteral("^(\\S+) \\S+ GET /\\S+/upload\\?"),
                                           QRegularExpression::MultilineOption);
    QList<QDateTime> uploads;
    for (auto it = upload.globalMatch(QString::fromUtf8(service.readAllStandardError())); it.hasNext();)
        uploads << QDateTime::fromString(it.next().captured(1), Qt::ISODateWithMs);

    std::printf("site: %d printers on %s.1-%d, tick %d ms, a cycle every %d ticks\n", Printers, qPrintable(network),
                Printers, tickMs, IntervalTicks);
    std::printf("outage: the service stopped for %d cycles (%lld ms)\n", OutageCycles, static_cast<long long>(outageMs));
    std::printf("waiting=%d readings (one per printer, the newest)\n", int(waiting.size()));
    std::printf("service started again in %lld ms\n", static_cast<long long>(startMs));
    std::printf("arrived=%d readings of %d printers, %d of them the waiting ones, %d waiting ones missing\n", arrived,
                int(printers.size()), ofTheOutbox, int(expected.size()));
    if (!uploads.isEmpty())
        std::printf("first upload %lld ms after the return, last %lld ms after\n",
                    static_cast<long long>(back.msecsTo(uploads.first())),
                    static_cast<long long>(back.msecsTo(uploads.last())));
    if (cyclesAfter > 0) std::printf("WARNING: %d cycle(s) ran before the outbox was empty\n", cyclesAfter);
    std::printf("empty_ms=%lld%s\n", static_cast<long long>(emptyMs), emptied ? "" : " (NOT EMPTIED)");
    return emptied && arrived == Printers && expected.isEmpty() && cyclesAfter == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    const QString network = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("127.0.1");
    const int tickMs = argc > 2 ? std::max(QByteArray(argv[2]).toInt(), 100) : 500;
    if (!QRegularExpression(QStringLiteral("^127\\.\\d{1,3}\\.\\d{1,3}$")).match(network).hasMatch()) {
        std::fprintf(stderr, "bench_outbox: only a 127.x.y network, not %s\n", qPrintable(network));
        return 2;
    }
    try {
        return measure(network, tickMs);
    } catch (const Failure &failure) {
        std::fprintf(stderr, "bench_outbox: %s\n", qPrintable(failure.why));
        return 1;
    }
}
