// Cost of the reading engine against simulated printers (snmpsim serving files of tests/agents/printers/ as
// "public"), and the agent's own share of it. The RICOH printer:
//   a_search_key_point        SearchPrinterKeyPoint(0, ...): identity plus 150 table rows, 151 reads, each its own
//                             object and session made by name through the factory
//   b_get_printer_info        one getPrinterInfo with the key point found by (a): model, identity, counters, toner,
//                             settings read from a meterlane.ini with TonerLow=20
//   c_raw_key_point_reads     the 151 gets of (a) as hand-built v1 datagrams on one plain UDP socket: what the agent
//                             (and the loopback) cost, the floor under (a)
//   c_raw_printer_info_reads  the same for the gets of (b)
// Our cost is (a) − (c) and (b) − (c). Each printer read through the standard Printer MIB, NAME its file:
//   d_reading_NAME            one getPrinterInfo by the rules the cycle gives it (readingRules), with the key point
//                             and identity its search found; the same settings, so the Printer MIB readings are on
//   d_raw_reading_NAME        the requests of that reading (the get-nexts of the supplies walk among them), raw on
//                             one socket
//
// The RICOH printer: an argument left after the benchmark flags that is not NAME=ADDRESS, else
// METERLANE_BENCH_PRINTER, else 127.0.0.61; the Printer MIB printers as NAME=ADDRESS arguments, NAME one of
// ExpectedModels. Loopback addresses only, port 161.
#include "platform/componentfactory.h"
#include "reading/brand.h"
#include "reading/keypoint.h"
#include "reading/oidreader.h"
#include "reading/printerinfo.h"
#include "reading/printermib.h"
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
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

const QString RicohIdentityOid = QStringLiteral("1.3.6.1.4.1.367.3.2.1.2.1.4.0");
const QString RicohNamePrefix = QStringLiteral("1.3.6.1.4.1.367.3.2.1.2.19.5.1.5.");
const QString RicohValuePrefix = QStringLiteral("1.3.6.1.4.1.367.3.2.1.2.19.5.1.9.");
// What the simulated RICOH printer's table gives (tests/agents/printers/README.md).
const QString ExpectedKeyPoint = QStringLiteral("1,12,13,33,7,2,8,10,15,16,20,21,24,25,26,27,28,0,0,0,30,31,0,0,37,40");

// The Printer MIB printers bench/run may start, and the model one reading of each must give.
const std::map<QString, QString> ExpectedModels{
    {QStringLiteral("lexmark"), QStringLiteral("Lexmark CX725")},
    {QStringLiteral("hp-mfp"), QStringLiteral("HP Color LaserJet MFP M477fdw")},
    {QStringLiteral("brother-mfc"), QStringLiteral("Brother MFC-L8900CDW series")},
    {QStringLiteral("kyocera"), QStringLiteral("ECOSYS P3045dn")},
};

// One request of a reading: a get, or a get-next (a step of a table walk).
struct Request {
    QString oid;
    bool next = false;
};
using Requests = std::vector<Request>;

Requests gets(const QStringList &oids) {
    Requests requests;
    for (const QString &oid : oids) requests.push_back({oid});
    return requests;
}

struct Printer {
    QString name;
    QString host;
    sockaddr_in socketAddress{};
    short rules = reading::Ricoh;
    QString identity{};
    QString keyPoint{};
    Requests readingRequests{}; // the requests of one getPrinterInfo
};

// The RICOH printer.
Printer &printer() {
    static Printer value{.name = QStringLiteral("ricoh"), .host = QStringLiteral("127.0.0.61")};
    return value;
}

// The printers read through the Printer MIB, in the order of the arguments.
std::vector<Printer> &mibPrinters() {
    static std::vector<Printer> list;
    return list;
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

std::string getDatagram(const Request &request, std::uint32_t id) {
    const std::string binding = tlv(0x30, tlv(0x06, encodeOid(request.oid)) + std::string("\x05\x00", 2));
    const std::string status("\x02\x01\x00\x02\x01\x00", 6); // error-status and error-index 0
    const char type = static_cast<char>(request.next ? 0xA1 : 0xA0);
    const std::string pdu = tlv(type, requestIdBytes(id) + status + tlv(0x30, binding));
    return tlv(0x30, std::string("\x02\x01\x00", 3) + tlv(0x04, "public") + pdu);
}

struct RawGets {
    std::vector<std::string> datagrams;
    std::vector<std::string> ids;
};

RawGets rawGets(const Requests &requests) {
    RawGets gets;
    std::uint32_t id = 0x10203040;
    for (const Request &request : requests) {
        gets.datagrams.push_back(getDatagram(request, id));
        gets.ids.push_back(requestIdBytes(id));
        ++id;
    }
    return gets;
}

// Sends each get and waits for its GetResponse; false at the first one unanswered.
bool rawRoundTrips(int fd, const sockaddr_in &to, const RawGets &gets) {
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

const QString HpModelOid = QStringLiteral("1.3.6.1.2.1.43.14.1.1.9.1.7");
const QString BrotherIdentityOid = QStringLiteral("1.3.6.1.4.1.2435.2.3.9.4.2.1.5.5.1.0");

bool readsAsNothing(const QString &value) { return value.isEmpty() || value == reading::ReadFailed; }

// Model and identity by the printer's rules; its answers decide the fall-backs: an HP's device description when its
// model OID gives nothing, a BROTHER's serial number when its private identity gives nothing.
QStringList modelAndIdentityOids(const Printer &target) {
    switch (target.rules) {
    case reading::Hp: {
        QStringList oids{HpModelOid};
        if (readsAsNothing(reading::GetOID(target.host, HpModelOid).remove(QStringLiteral("Name="))))
            oids << reading::printermib::DeviceDescription;
        return oids << reading::printermib::SerialNumber;
    }
    case reading::Brother: {
        QStringList oids{reading::printermib::DeviceDescription, BrotherIdentityOid};
        if (readsAsNothing(reading::GetOID(target.host, BrotherIdentityOid))) oids << reading::printermib::SerialNumber;
        return oids;
    }
    default: return {reading::printermib::DeviceDescription, reading::printermib::SerialNumber};
    }
}

// The walk of the supply type column, get-next by get-next, until it leaves the column or four rows are toner or
// ink; then name, maximum and level of each of those.
Requests supplyRequests(const QString &host) {
    namespace mib = reading::printermib;
    Requests requests;
    QStringList rows;
    const QString type = mib::SupplyType + u'.';
    for (QString oid = mib::SupplyType; int(requests.size()) < mib::SupplyRowLimit && rows.size() < mib::Cartridges;) {
        requests.push_back({oid, true});
        QString next;
        const QString value = reading::probeNextOid(host, oid, next);
        if (!next.startsWith(type)) break;
        oid = next;
        if (mib::isToner(value)) rows << next.mid(type.size());
    }
    for (const QString &row : rows)
        for (const QString &column : {mib::SupplyDescription, mib::SupplyMaximum, mib::SupplyLevel})
            requests.push_back({column + u'.' + row});
    return requests;
}

// Model and identity, one whole OID per key point field that is not 0, then the supplies table.
Requests printerMibReadingRequests(const Printer &target) {
    QStringList oids = modelAndIdentityOids(target);
    for (const QString &field : target.keyPoint.split(QLatin1Char(',')))
        if (field != QLatin1String("0")) oids << field;
    Requests requests = gets(oids);
    const Requests supplies = supplyRequests(target.host);
    requests.insert(requests.end(), supplies.begin(), supplies.end());
    return requests;
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

void readPrinterInfo(benchmark::State &state, const Printer &target) {
    for (auto _ : state) {
        const QString record = reading::getPrinterInfo(target.rules, target.host, target.host, QStringLiteral("Bench"),
                                                       target.keyPoint, target.identity);
        if (record.isEmpty() || record == QLatin1String("-2")) {
            state.SkipWithError(("no record: " + record.toStdString()).c_str());
            break;
        }
    }
    state.counters["reads"] = static_cast<double>(target.readingRequests.size());
}

void b_get_printer_info(benchmark::State &state) { readPrinterInfo(state, printer()); }

void runRaw(benchmark::State &state, const sockaddr_in &to, const Requests &requests) {
    const RawGets raw = rawGets(requests);
    const int fd = openUdpSocket();
    if (fd < 0) {
        state.SkipWithError("socket failed");
        return;
    }
    for (auto _ : state) {
        if (!rawRoundTrips(fd, to, raw)) {
            state.SkipWithError("no reply to a raw get");
            break;
        }
    }
    close(fd);
    state.counters["reads"] = static_cast<double>(requests.size());
}

void c_raw_key_point_reads(benchmark::State &state) {
    runRaw(state, printer().socketAddress, gets(keyPointSearchOids()));
}

void c_raw_printer_info_reads(benchmark::State &state) {
    runRaw(state, printer().socketAddress, printer().readingRequests);
}

// Network waits are not CPU time: wall-clock time throughout; the CPU column counts every thread of the process.
BENCHMARK(a_search_key_point)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(b_get_printer_info)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(c_raw_key_point_reads)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(c_raw_printer_info_reads)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

// Registered at run time: the printers come from the arguments.
void registerMibPrinterBenchmarks() {
    for (const Printer &target : mibPrinters()) {
        const std::string name = target.name.toStdString();
        benchmark::RegisterBenchmark(("d_reading_" + name).c_str(),
                                     [&target](benchmark::State &state) { readPrinterInfo(state, target); })
            ->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
        benchmark::RegisterBenchmark(("d_raw_reading_" + name).c_str(),
                                     [&target](benchmark::State &state) {
                                         runRaw(state, target.socketAddress, target.readingRequests);
                                     })
            ->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
    }
}

bool onLoopback(Printer &target) {
    const std::string address = target.host.toStdString();
    if (loopbackAddress(address, 161, target.socketAddress)) return true;
    std::fprintf(stderr, "bench_reading: the printer must be a 127.x.x.x address, not %s\n", address.c_str());
    return false;
}

// Takes the printers out of the arguments (the benchmark's flags, all starting with "-", stay).
bool configurePrinters(int &argc, char **argv) {
    Printer &ricoh = printer();
    if (const char *text = std::getenv("METERLANE_BENCH_PRINTER"); text && *text) ricoh.host = QString::fromUtf8(text);
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromUtf8(argv[i]);
        if (argument.startsWith(u'-')) argv[kept++] = argv[i];
        else if (!argument.contains(u'=')) ricoh.host = argument;
        else mibPrinters().push_back({.name = argument.section(u'=', 0, 0), .host = argument.section(u'=', 1)});
    }
    argc = kept;
    argv[argc] = nullptr;
    for (Printer &target : mibPrinters()) {
        if (!ExpectedModels.contains(target.name)) {
            std::fprintf(stderr, "bench_reading: no simulated printer named %s\n", target.name.toUtf8().constData());
            return false;
        }
        if (!onLoopback(target)) return false;
    }
    return onLoopback(ricoh);
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

bool rawAnswers(const Printer &target, const Requests &requests) {
    const int fd = openUdpSocket();
    const bool answered = fd >= 0 && rawRoundTrips(fd, target.socketAddress, rawGets(requests));
    if (fd >= 0) close(fd);
    if (!answered)
        std::fprintf(stderr, "bench_reading: no reply to the raw gets of %s\n", target.name.toUtf8().constData());
    return answered;
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
    target.readingRequests = gets(printerInfoOids(target.keyPoint));
    return rawAnswers(target, gets(keyPointSearchOids()));
}

// The same for a Printer MIB printer, searched and read by the rules the cycle gives it: a reading that is not a
// record or not of the expected model stops the benchmark.
bool mibPrinterAnswers(Printer &target) {
    QString sysDescr;
    target.rules = reading::readingRules(reading::GetCodeBrand(target.host, sysDescr), sysDescr);
    target.keyPoint = reading::SearchPrinterKeyPoint(target.rules, target.host, target.identity);
    const reading::PrinterReading found =
        reading::readPrinter(target.rules, target.host, target.host, QStringLiteral("Bench"), target.keyPoint,
                             target.identity);
    target.readingRequests = printerMibReadingRequests(target);
    std::printf("%s: rules %d, identity %s, model %s, totals %s;%s, toner %s; %lld gets a reading\n",
                target.name.toUtf8().constData(), target.rules, target.identity.toUtf8().constData(),
                found.model.toUtf8().constData(), found.totalBW.toUtf8().constData(),
                found.totalColour.toUtf8().constData(), found.tonerWarning.simplified().toUtf8().constData(),
                static_cast<long long>(target.readingRequests.size()));
    std::fflush(stdout);
    const QString &expected = ExpectedModels.at(target.name);
    if (found.model != expected || found.record.isEmpty() || found.record == QLatin1String("-2")) {
        std::fprintf(stderr, "bench_reading: %s at %s does not read as %s (model %s, record %s)\n",
                     target.name.toUtf8().constData(), target.host.toUtf8().constData(), expected.toUtf8().constData(),
                     found.model.toUtf8().constData(), found.record.left(20).toUtf8().constData());
        return false;
    }
    return rawAnswers(target, target.readingRequests);
}

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (!configurePrinters(argc, argv)) return 2;
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    const QTemporaryDir folder;
    if (!configureProgram(folder)) return 1;
    if (!printerAnswers()) return 1;
    for (Printer &target : mibPrinters())
        if (!mibPrinterAnswers(target)) return 1;
    registerMibPrinterBenchmarks();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
