// What reading every supply adds to a reading: a printer with 15 supply rows served by snmpsim on loopback, read by
// the cycle's reading (getPrinterInfo with its key point) and by the supplies read, in version 1 and through a version
// 2c profile (GetBulk). Prints the median wall time of each over several runs, the requests one of each sent (counted
// through a relay) and the time the agent alone takes for them (sent again raw); and the same reads through a relay
// that holds each request back 5 ms, as a printer on a network that takes that long per request. snmpsim's own time
// grows with every binding it answers, a printer's mostly with the requests. bench/run calls it inside a network
// namespace of its own.
//   bench_supplies [ADDRESS [RELAY [SLOW]]]   loopback addresses of the printer (default 127.0.0.71), of the relay
//                                             that counts the requests (127.0.0.72) and of the slow one (127.0.0.73)
#include "requestrecorder.h"
#include "snmpsimsite.h"

#include "platform/componentfactory.h"
#include "reading/brand.h"
#include "reading/keypoint.h"
#include "reading/printerinfo.h"
#include "reading/supplyread.h"
#include "store/globals.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int Runs = 7;
constexpr std::chrono::milliseconds PrinterDelay(5);

// A colour laser of the standard Printer MIB with 15 supplies: four toners, four drums, four developers, a transfer
// belt, a fuser and a waste toner box, and the colorants they point at.
QByteArray printerData() {
    QByteArray data = "1.3.6.1.2.1.1.1.0|4|KYOCERA Document Solutions Printing System\n"
                      "1.3.6.1.2.1.1.2.0|6|1.3.6.1.4.1.1347.41\n"
                      "1.3.6.1.2.1.1.3.0|67|1290000\n"
                      "1.3.6.1.2.1.25.3.2.1.2.1|6|1.3.6.1.2.1.25.3.1.5\n"
                      "1.3.6.1.2.1.25.3.2.1.3.1|4|ECOSYS P6235cdn\n"
                      "1.3.6.1.2.1.43.5.1.1.17.1|4|VCF9400001\n"
                      "1.3.6.1.2.1.43.10.2.1.4.1.1|65|123456\n";
    const char *const colours[] = {"black", "cyan", "magenta", "yellow"};
    struct Supply {
        int type, colorant, supplyClass;
        QByteArray description;
    };
    std::vector<Supply> supplies;
    for (int c = 0; c < 4; ++c) supplies.push_back({3, c + 1, 3, QByteArray(colours[c]) + " toner"});
    for (int c = 0; c < 4; ++c) supplies.push_back({9, c + 1, 3, QByteArray(colours[c]) + " drum"});
    for (int c = 0; c < 4; ++c) supplies.push_back({10, c + 1, 3, QByteArray(colours[c]) + " developer"});
    supplies.push_back({20, 0, 3, "Transfer belt"});
    supplies.push_back({15, 0, 3, "Fuser"});
    supplies.push_back({4, 0, 4, "Waste toner box"});
    const auto column = [&](int number, const std::function<QByteArray(const Supply &, int)> &value) {
        for (int row = 1; row <= int(supplies.size()); ++row)
            data += "1.3.6.1.2.1.43.11.1.1." + QByteArray::number(number) + ".1." + QByteArray::number(row) + "|" +
                    value(supplies[row - 1], row) + "\n";
    };
    column(3, [](const Supply &s, int) { return "2|" + QByteArray::number(s.colorant); });
    column(4, [](const Supply &s, int) { return "2|" + QByteArray::number(s.supplyClass); });
    column(5, [](const Supply &s, int) { return "2|" + QByteArray::number(s.type); });
    column(6, [](const Supply &s, int) { return "4|" + s.description; });
    column(7, [](const Supply &, int) { return QByteArray("2|7"); });
    column(8, [](const Supply &, int) { return QByteArray("2|20000"); });
    column(9, [](const Supply &, int row) { return "2|" + QByteArray::number(row * 1000); });
    for (int c = 0; c < 4; ++c)
        data += "1.3.6.1.2.1.43.12.1.1.4.1." + QByteArray::number(c + 1) + "|4|" + colours[c] + "\n";
    return data;
}

[[noreturn]] void fail(const QString &why) {
    std::fprintf(stderr, "bench_supplies: %s\n", qPrintable(why));
    std::exit(1);
}

struct Measured {
    qint64 medianMs = 0;
    int requests = 0; // of one run
    qint64 agentMs = 0; // the same requests sent again raw on one socket, each waiting for its reply: the agent's share
    qint64 slowMs = 0;  // the median through the relay that holds each request back
};

// Sends the datagrams one after another, each once its predecessor's reply came; the wall time, -1 when one is lost.
qint64 replayRaw(const sockaddr_in &printer, const std::vector<std::string> &datagrams) {
    const int fd = openUdpSocket();
    if (fd < 0) return -1;
    char reply[65536];
    QElapsedTimer clock;
    clock.start();
    for (const std::string &datagram : datagrams)
        if (sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr *>(&printer),
                   sizeof printer) != ssize_t(datagram.size()) ||
            recv(fd, reply, sizeof reply, 0) <= 0) {
            close(fd);
            return -1;
        }
    close(fd);
    return clock.elapsed();
}

qint64 medianMs(const std::function<void()> &run) {
    std::vector<qint64> times;
    QElapsedTimer clock;
    for (int i = 0; i < Runs; ++i) {
        clock.restart();
        run();
        times.push_back(clock.elapsed());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

struct Site {
    QString printer, relay, slow; // the printer's address, the counting relay's and the slow one's
    sockaddr_in printerSocket{};
    RequestRecorder *counting = nullptr, *delaying = nullptr;
};

// run(address) once through the counting relay, then Runs times straight to the printer and Runs times through the
// slow relay.
Measured measure(const Site &site, const std::function<void(const QString &)> &run) {
    Measured measured;
    const std::vector<std::string> requests = site.counting->record([&] { run(site.relay); });
    measured.requests = int(requests.size());
    measured.agentMs = replayRaw(site.printerSocket, requests);
    measured.medianMs = medianMs([&] { run(site.printer); });
    site.delaying->record([&] { measured.slowMs = medianMs([&] { run(site.slow); }); });
    return measured;
}

void writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) fail("cannot write " + path);
}

QString argument(int argc, char **argv, int index, const char *fallback) {
    return argc > index ? QString::fromLocal8Bit(argv[index]) : QString::fromLatin1(fallback);
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication application(argc, argv);
    Site site{argument(argc, argv, 1, "127.0.0.71"), argument(argc, argv, 2, "127.0.0.72"),
              argument(argc, argv, 3, "127.0.0.73")};
    sockaddr_in relaySocket{}, slowSocket{};
    if (!loopbackAddress(site.printer.toStdString(), 161, site.printerSocket) ||
        !loopbackAddress(site.relay.toStdString(), 161, relaySocket) ||
        !loopbackAddress(site.slow.toStdString(), 161, slowSocket))
        fail("the printer and the relays must be on loopback");
    RequestRecorder counting(relaySocket, site.printerSocket), delaying(slowSocket, site.printerSocket, PrinterDelay);
    if (!counting.ready() || !delaying.ready()) fail("cannot relay from " + site.relay + " and " + site.slow);
    site.counting = &counting;
    site.delaying = &delaying;
    QTemporaryDir work, program;
    QProcess agent;
    if (!startSnmpsimSite(agent, work.path(), printerData(), {site.printer}))
        fail("the simulated printer does not answer");
    store::setProgramFolder(program.path());
    platform::setLibraryFolder(QCoreApplication::applicationDirPath());
    writeFile(program.filePath(QStringLiteral("meterlane.ini")), "[Settings]\r\nTonerLow=20\r\n");

    int supplies = 0;
    for (const char *version : {"1", "2c"}) {
        if (QByteArray(version) == "2c") {
            const QString credentials = program.filePath(QStringLiteral("snmp-credentials.ini"));
            writeFile(credentials, "[site]\nVersion=2c\nCommunity=public\n");
            QFile::setPermissions(credentials, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        }
        QString description;
        const short rules = reading::readingRules(reading::GetCodeBrand(site.printer, description), description);
        QString identity;
        const QString keyPoint = reading::SearchPrinterKeyPoint(rules, site.printer, identity);
        const Measured reading = measure(site, [&](const QString &to) {
            if (reading::getPrinterInfo(rules, to, to, QStringLiteral("Bench"), keyPoint, identity).isEmpty())
                fail("the reading gave no record");
        });
        const Measured read = measure(site, [&](const QString &to) {
            supplies = int(reading::readSupplies(to, 1).supplies.size());
        });
        const auto share = [](qint64 part, qint64 whole) {
            return 100.0 * double(part) / double(std::max<qint64>(whole, 1));
        };
        std::printf("version %s: reading %lld ms, %d requests (the agent alone %lld ms); its %d supplies %lld ms, %d "
                    "requests (the agent alone %lld ms): %.0f %% of the reading's time, %.0f %% of its requests; at "
                    "%lld ms a request: reading %lld ms, supplies %lld ms, %.0f %%\n",
                    version, static_cast<long long>(reading.medianMs), reading.requests,
                    static_cast<long long>(reading.agentMs), supplies, static_cast<long long>(read.medianMs),
                    read.requests, static_cast<long long>(read.agentMs), share(read.medianMs, reading.medianMs),
                    share(read.requests, reading.requests), static_cast<long long>(PrinterDelay.count()),
                    static_cast<long long>(reading.slowMs), static_cast<long long>(read.slowMs),
                    share(read.slowMs, reading.slowMs));
    }
    agent.terminate();
    agent.waitForFinished();
    return supplies == 15 ? 0 : 1;
}
