// Cost of the reading engine against a simulated RICOH printer (snmpsim serving tests/agents/printers/ricoh.snmprec
// as "public"), and the agent's own share of it:
//   a_search_key_point        SearchPrinterKeyPoint(0, ...): identity plus 150 table rows, 151 reads, each its own
//                             object and session made by name through the factory
//   b_get_printer_info        one getPrinterInfo with the key point found by (a): model, identity, counters, toner,
//                             settings read from a meterlane.ini with TonerLow=20
//   c_raw_key_point_reads     the 151 gets of (a) as hand-built v1 datagrams on one plain UDP socket: what the agent
//                             (and the loopback) cost, the floor under (a)
//   c_raw_printer_info_reads  the same for the gets of (b)
// Our cost is (a) − (c) and (b) − (c).
//
// The printer: the first argument left after the benchmark flags, else METERLANE_BENCH_PRINTER, else 127.0.0.61;
// loopback addresses only, port 161.
#include "platform/componentfactory.h"
#include "reading/keypoint.h"
#include "reading/printerinfo.h"
#include "store/globals.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include "loopback.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

const QString RicohIdentityOid = QStringLiteral("1.3.6.1.4.1.367.3.2.1.2.1.4.0");
const QString RicohNamePrefix = QStringLiteral("1.3.6.1.4.1.367.3.2.1.2.19.5.1.5.");
const QString RicohValuePrefix = QStringLiteral("1.3.6.1.4.1.367.3.2.1.2.19.5.1.9.");
// What the simulated RICOH printer's table gives (tests/agents/printers/README.md).
const QString ExpectedKeyPoint = QStringLiteral("1,12,13,33,7,2,8,10,15,16,20,21,24,25,26,27,28,0,0,0,30,31,0,0,37,40");

struct Printer {
    QString host = QStringLiteral("127.0.0.61");
    sockaddr_in socketAddress{};
    QString identity;
    QString keyPoint;
};

Printer &printer() {
    static Printer value;
    return value;
}

// --- hand-built SNMP v1 gets --------------------------------------------------------------------------------------

void appendLength(std::string &out, std::size_t length) {
    if (length < 0x80) {
        out += static_cast<char>(length);
    } else if (length < 0x100) {
        out += '\x81';
        out += static_cast<char>(length);
    } else {
        out += '\x82';
        out += static_cast<char>(length >> 8);
        out += static_cast<char>(length & 0xFF);
    }
}

std::string tlv(char tag, const std::string &content) {
    std::string out(1, tag);
    appendLength(out, content.size());
    return out + content;
}

std::string encodeOid(const QString &dotted) {
    const QStringList arcs = dotted.split(QLatin1Char('.'));
    std::string out(1, static_cast<char>(arcs[0].toUInt() * 40 + arcs[1].toUInt()));
    for (qsizetype i = 2; i < arcs.size(); ++i) {
        unsigned long arc = arcs[i].toULong();
        std::string bytes(1, static_cast<char>(arc & 0x7F));
        while (arc >>= 7) bytes.insert(bytes.begin(), static_cast<char>(0x80 | (arc & 0x7F)));
        out += bytes;
    }
    return out;
}

// Request ids stay 4 bytes with the high bit clear, so that the id's encoding is fixed and easy to find in a reply.
std::string requestIdBytes(std::uint32_t id) {
    std::string out("\x02\x04", 2);
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((id >> shift) & 0xFF);
    return out;
}

std::string getDatagram(const QString &oid, std::uint32_t id) {
    const std::string binding = tlv(0x30, tlv(0x06, encodeOid(oid)) + std::string("\x05\x00", 2));
    const std::string status("\x02\x01\x00\x02\x01\x00", 6); // error-status and error-index 0
    const std::string pdu = tlv(static_cast<char>(0xA0), requestIdBytes(id) + status + tlv(0x30, binding));
    return tlv(0x30, std::string("\x02\x01\x00", 3) + tlv(0x04, "public") + pdu);
}

struct RawGets {
    std::vector<std::string> datagrams;
    std::vector<std::string> ids;
};

RawGets rawGets(const QStringList &oids) {
    RawGets gets;
    std::uint32_t id = 0x10203040;
    for (const QString &oid : oids) {
        gets.datagrams.push_back(getDatagram(oid, id));
        gets.ids.push_back(requestIdBytes(id));
        ++id;
    }
    return gets;
}

// Sends each get and waits for its GetResponse; false at the first one unanswered.
bool rawRoundTrips(int fd, const RawGets &gets) {
    const sockaddr_in &to = printer().socketAddress;
    unsigned char reply[2048];
    for (std::size_t i = 0; i < gets.datagrams.size(); ++i) {
        const std::string &datagram = gets.datagrams[i];
        if (sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to) !=
            static_cast<ssize_t>(datagram.size()))
            return false;
        for (;;) {
            const ssize_t got = recv(fd, reply, sizeof reply, 0);
            if (got <= 0) return false;
            const void *id = memmem(reply, static_cast<std::size_t>(got), gets.ids[i].data(), gets.ids[i].size());
            const void *tag = std::memchr(reply, 0xA2, static_cast<std::size_t>(got));
            if (id && tag && tag < id) break; // else a late reply to an earlier get: keep waiting
        }
    }
    return true;
}

// --- what the reading engine reads --------------------------------------------------------------------------------

QStringList keyPointSearchOids() {
    QStringList oids{RicohIdentityOid};
    for (int row = 1; row <= reading::CounterTableRows; ++row) oids << RicohNamePrefix + QString::number(row);
    return oids;
}

// Model, identity, machine total, one value per key point field that is not 0, then the four toner names and levels.
QStringList printerInfoOids(const QString &keyPoint) {
    QStringList oids{QStringLiteral("1.3.6.1.4.1.367.3.2.1.1.1.1.0"), RicohIdentityOid,
                     QStringLiteral("1.3.6.1.4.1.367.3.2.1.2.19.1.0")};
    for (const QString &field : keyPoint.split(QLatin1Char(',')))
        if (field != QLatin1String("0")) oids << RicohValuePrefix + field;
    for (int cartridge = 1; cartridge <= 4; ++cartridge)
        oids << QStringLiteral("1.3.6.1.4.1.367.3.2.1.2.24.1.1.2.%1").arg(cartridge)
             << QStringLiteral("1.3.6.1.4.1.367.3.2.1.2.24.1.1.5.%1").arg(cartridge);
    return oids;
}

// --- benchmarks ----------------------------------------------------------------------------------------------------

void a_search_key_point(benchmark::State &state) {
    QString identity;
    for (auto _ : state) {
        identity.clear();
        const QString keyPoint = reading::SearchPrinterKeyPoint(0, printer().host, identity);
        if (keyPoint != printer().keyPoint) {
            state.SkipWithError(("key point changed: " + keyPoint.toStdString()).c_str());
            break;
        }
    }
    state.counters["reads"] = 1 + reading::CounterTableRows;
}

void b_get_printer_info(benchmark::State &state) {
    const Printer &target = printer();
    for (auto _ : state) {
        const QString record = reading::getPrinterInfo(0, target.host, target.host, QStringLiteral("Bench"),
                                                       target.keyPoint, target.identity);
        if (record.isEmpty() || record == QLatin1String("-2")) {
            state.SkipWithError(("no record: " + record.toStdString()).c_str());
            break;
        }
    }
    state.counters["reads"] = static_cast<double>(printerInfoOids(target.keyPoint).size());
}

void runRaw(benchmark::State &state, const QStringList &oids) {
    const RawGets gets = rawGets(oids);
    const int fd = openUdpSocket();
    if (fd < 0) {
        state.SkipWithError("socket failed");
        return;
    }
    for (auto _ : state) {
        if (!rawRoundTrips(fd, gets)) {
            state.SkipWithError("no reply to a raw get");
            break;
        }
    }
    close(fd);
    state.counters["reads"] = static_cast<double>(oids.size());
}

void c_raw_key_point_reads(benchmark::State &state) { runRaw(state, keyPointSearchOids()); }

void c_raw_printer_info_reads(benchmark::State &state) { runRaw(state, printerInfoOids(printer().keyPoint)); }

// Network waits are not CPU time: wall-clock time throughout; the CPU column counts every thread of the process.
BENCHMARK(a_search_key_point)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(b_get_printer_info)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(c_raw_key_point_reads)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(c_raw_printer_info_reads)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

bool configurePrinter(int &argc, char **argv) {
    Printer &target = printer();
    if (const char *text = std::getenv("METERLANE_BENCH_PRINTER"); text && *text) target.host = QString::fromUtf8(text);
    if (argc > 1 && argv[1][0] != '-') {
        target.host = QString::fromUtf8(argv[1]);
        for (int i = 1; i < argc; ++i) argv[i] = argv[i + 1];
        --argc;
    }
    const std::string address = target.host.toStdString();
    if (!loopbackAddress(address, 161, target.socketAddress)) {
        std::fprintf(stderr, "bench_reading: the printer must be a 127.x.x.x address, not %s\n", address.c_str());
        return false;
    }
    return true;
}

// The program folder of the reads: libraries from the benchmark's own folder (the build's bin), the ini file and
// the log in a temporary folder.
bool configureProgram(const QTemporaryDir &folder) {
    const QString binFolder =
        QString::fromStdString(std::filesystem::read_symlink("/proc/self/exe").parent_path().string());
    platform::setLibraryFolder(binFolder);
    if (!folder.isValid()) {
        std::fprintf(stderr, "bench_reading: cannot create a temporary folder\n");
        return false;
    }
    store::setProgramFolder(folder.path());
    QFile ini(folder.filePath(QStringLiteral("meterlane.ini")));
    if (!ini.open(QIODevice::WriteOnly) ||
        ini.write("[Settings]\r\nTonerLow=20\r\nTonerLowNotNotify=1\r\n") < 0) {
        std::fprintf(stderr, "bench_reading: cannot write %s\n", ini.fileName().toUtf8().constData());
        return false;
    }
    return true;
}

// One search and one reading before measuring: the printer answers and the engine reads what the data hold.
bool printerAnswers() {
    Printer &target = printer();
    target.keyPoint = reading::SearchPrinterKeyPoint(0, target.host, target.identity);
    std::printf("key point: %s%s\nidentity:  %s\n", target.keyPoint.toUtf8().constData(),
                target.keyPoint == ExpectedKeyPoint ? "" : "   (NOT the expected one)",
                target.identity.toUtf8().constData());
    if (target.identity.isEmpty() || target.identity == QLatin1String("-10000")) {
        std::fprintf(stderr, "bench_reading: the printer at %s does not answer as the RICOH printer\n",
                     target.host.toUtf8().constData());
        return false;
    }
    const reading::PrinterReading found = reading::readPrinter(0, target.host, target.host, QStringLiteral("Bench"),
                                                               target.keyPoint, target.identity);
    std::printf("reading:   model %s, totals %s;%s, toner %s\n", found.model.toUtf8().constData(),
                found.totalBW.toUtf8().constData(), found.totalColour.toUtf8().constData(),
                found.tonerWarning.simplified().toUtf8().constData());
    std::fflush(stdout);
    const int fd = openUdpSocket();
    const bool raw = fd >= 0 && rawRoundTrips(fd, rawGets(keyPointSearchOids()));
    if (fd >= 0) close(fd);
    if (!raw) std::fprintf(stderr, "bench_reading: no reply to the raw gets\n");
    return raw;
}

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (!configurePrinter(argc, argv)) return 2;
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    const QTemporaryDir folder;
    if (!configureProgram(folder)) return 1;
    if (!printerAnswers()) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
