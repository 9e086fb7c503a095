// Cost of the reading engine against simulated printers (snmpsim serving files of tests/agents/printers/ as
// "public"), and the agent's own share of it. The RICOH printer:
//   a_search_key_point        SearchPrinterKeyPoint(0, ...): identity plus 150 table rows, 151 reads, each its own
//                             object and session made by name through the factory
//   b_get_printer_info        one getPrinterInfo with the key point found by (a): model, identity, counters, toner,
//                             settings read from a meterlane.ini with TonerLow=20
//   c_raw_key_point_reads     the 151 gets of (a) as hand-built v1 datagrams on one plain UDP socket: what the agent
//                             (and the loopback) cost, the floor under (a)
//   c_raw_printer_info_reads  the requests of (b) (recorded once through a relay on its own loopback address) sent
//                             again raw on one socket
// Our cost is (a) − (c) and (b) − (c). Each printer read through the standard Printer MIB (and, where its maker has
// one, its counter map), NAME its file:
//   d_reading_NAME            one getPrinterInfo by the rules the cycle gives it (readingRules), with the key point
//                             and identity its search found; the same settings, so the Printer MIB readings are on
//   d_raw_reading_NAME        the requests of that reading (the get-nexts of its supplies walk among them), recorded
//                             once through the relay, sent again raw on one socket
//   e_search_NAME             its key point search: identity, life count and, for a mapped make, the maker's
//                             recognition and each candidate of its map read once
//   e_raw_search_NAME         the very requests that search sent (recorded once through a relay on its own loopback
//                             address), sent again raw on one socket
//
// The RICOH printer: an argument left after the benchmark flags that is not NAME=ADDRESS, else
// METERLANE_BENCH_PRINTER, else 127.0.0.61; the other printers as NAME=ADDRESS arguments, NAME one of Expectations;
// the relay on METERLANE_BENCH_RECORDER, else 127.0.0.70. Loopback addresses only, port 161.
#include "platform/componentfactory.h"
#include "reading/brand.h"
#include "reading/keypoint.h"
#include "reading/oidreader.h"
#include "reading/printerinfo.h"
#include "reading/printermib.h"
#include "store/globals.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include "loopback.h"
#include "requestrecorder.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

const QString RicohIdentityOid = QStringLiteral("1.3.6.1.4.1.367.3.2.1.2.1.4.0");
const QString RicohNamePrefix = QStringLiteral("1.3.6.1.4.1.367.3.2.1.2.19.5.1.5.");
const QString RicohValuePrefix = QStringLiteral("1.3.6.1.4.1.367.3.2.1.2.19.5.1.9.");
// What the simulated RICOH printer's table gives (tests/agents/printers/README.md).
const QString ExpectedKeyPoint = QStringLiteral("1,12,13,33,7,2,8,10,15,16,20,21,24,25,26,27,28,0,0,0,30,31,0,0,37,40");

// The printers bench/run may start beside the RICOH one, and what one reading of each must give (the totals of
// tests/agents/printers/README.md).
struct Expectation {
    QString model, totalBW, totalColour;
};
const std::map<QString, Expectation> Expectations{
    {QStringLiteral("lexmark"), {QStringLiteral("Lexmark CX725"), QStringLiteral("98765"), QStringLiteral("0")}},
    {QStringLiteral("hp-mfp"),
     {QStringLiteral("HP Color LaserJet MFP M477fdw"), QStringLiteral("24680"), QStringLiteral("0")}},
    {QStringLiteral("brother-mfc"),
     {QStringLiteral("Brother MFC-L8900CDW series"), QStringLiteral("19876"), QStringLiteral("11539")}},
    {QStringLiteral("kyocera"), {QStringLiteral("ECOSYS P3045dn"), QStringLiteral("45678"), QStringLiteral("0")}},
    {QStringLiteral("sharp"), {QStringLiteral("SHARP MX-3570N"), QStringLiteral("91164"), QStringLiteral("29940")}},
    {QStringLiteral("canon"),
     {QStringLiteral("Canon iR-ADV C5840 19.43"), QStringLiteral("203021"), QStringLiteral("10381")}},
    {QStringLiteral("kyocera-color"),
     {QStringLiteral("TASKalfa 5054ci"), QStringLiteral("254963"), QStringLiteral("105900")}},
    {QStringLiteral("hp-color"),
     {QStringLiteral("HP Color LaserJet Enterprise M555dn"), QStringLiteral("40117"), QStringLiteral("18204")}},
};

struct Printer {
    QString name;
    QString host;
    sockaddr_in socketAddress{};
    short rules = reading::Ricoh;
    QString identity{};
    QString keyPoint{};
    std::vector<std::string> readingRequests{}; // the datagrams one getPrinterInfo sent
    std::vector<std::string> searchRequests{};  // the datagrams its key point search sent
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

// Where the relay that records a search's requests listens (its own loopback address, port 161).
Printer &recorder() {
    static Printer value{.name = QStringLiteral("recorder"), .host = QStringLiteral("127.0.0.70")};
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
    std::vector<std::string> ids; // each datagram's request-id, as encoded
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

// The request-id of an SNMP message, as encoded (tag and length included): the first TLV inside the PDU of
// SEQUENCE { version, community, PDU }; empty when the bytes are not such a message.
std::string requestIdOf(const std::string &message) {
    std::size_t at = 0, length = 0;
    // Steps over a tag and its length to the content; false when they run past the end.
    const auto header = [&] {
        if (at + 2 > message.size()) return false;
        std::size_t bytes = static_cast<unsigned char>(message[at + 1]);
        at += 2;
        if (bytes < 0x80) {
            length = bytes;
            return at + length <= message.size();
        }
        bytes &= 0x7F;
        if (bytes == 0 || bytes > 2 || at + bytes > message.size()) return false;
        for (length = 0; bytes > 0; --bytes) length = length << 8 | static_cast<unsigned char>(message[at++]);
        return at + length <= message.size();
    };
    if (!header()) return {}; // the message
    for (int field = 0; field < 2; ++field) { // version, community
        if (!header()) return {};
        at += length;
    }
    if (!header()) return {}; // the PDU
    const std::size_t id = at;
    if (!header()) return {};
    return message.substr(id, at + length - id);
}

// Recorded requests, to be sent again as they were.
RawGets recordedGets(const std::vector<std::string> &requests) {
    RawGets gets;
    for (const std::string &request : requests) {
        gets.datagrams.push_back(request);
        gets.ids.push_back(requestIdOf(request));
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

// --- benchmarks ----------------------------------------------------------------------------------------------------

void searchKeyPoint(benchmark::State &state, const Printer &target, std::size_t reads) {
    QString identity;
    for (auto _ : state) {
        identity.clear();
        const QString keyPoint = reading::SearchPrinterKeyPoint(target.rules, target.host, identity);
        if (keyPoint != target.keyPoint) {
            state.SkipWithError(("key point changed: " + keyPoint.toStdString()).c_str());
            break;
        }
    }
    state.counters["reads"] = static_cast<double>(reads);
}

void a_search_key_point(benchmark::State &state) { searchKeyPoint(state, printer(), 1 + reading::CounterTableRows); }

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

void runRaw(benchmark::State &state, const sockaddr_in &to, const RawGets &gets) {
    const int fd = openUdpSocket();
    if (fd < 0) {
        state.SkipWithError("socket failed");
        return;
    }
    for (auto _ : state) {
        if (!rawRoundTrips(fd, to, gets)) {
            state.SkipWithError("no reply to a raw get");
            break;
        }
    }
    close(fd);
    state.counters["reads"] = static_cast<double>(gets.datagrams.size());
}

void c_raw_key_point_reads(benchmark::State &state) {
    runRaw(state, printer().socketAddress, rawGets(keyPointSearchOids()));
}

void c_raw_printer_info_reads(benchmark::State &state) {
    runRaw(state, printer().socketAddress, recordedGets(printer().readingRequests));
}

// Network waits are not CPU time: wall-clock time throughout; the CPU column counts every thread of the process.
BENCHMARK(a_search_key_point)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(b_get_printer_info)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(c_raw_key_point_reads)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(c_raw_printer_info_reads)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

// Registered at run time: the printers come from the arguments.
void registerMibPrinterBenchmarks() {
    const auto add = [](const std::string &name, std::function<void(benchmark::State &)> run) {
        benchmark::RegisterBenchmark(name.c_str(), std::move(run))
            ->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
    };
    for (const Printer &target : mibPrinters()) {
        const std::string name = target.name.toStdString();
        add("d_reading_" + name, [&target](benchmark::State &state) { readPrinterInfo(state, target); });
        add("d_raw_reading_" + name, [&target](benchmark::State &state) {
            runRaw(state, target.socketAddress, recordedGets(target.readingRequests));
        });
        add("e_search_" + name, [&target](benchmark::State &state) {
            searchKeyPoint(state, target, target.searchRequests.size());
        });
        add("e_raw_search_" + name, [&target](benchmark::State &state) {
            runRaw(state, target.socketAddress, recordedGets(target.searchRequests));
        });
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
    if (const char *text = std::getenv("METERLANE_BENCH_RECORDER"); text && *text)
        recorder().host = QString::fromUtf8(text);
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
        if (!Expectations.contains(target.name)) {
            std::fprintf(stderr, "bench_reading: no simulated printer named %s\n", target.name.toUtf8().constData());
            return false;
        }
        if (!onLoopback(target)) return false;
    }
    return onLoopback(ricoh) && onLoopback(recorder());
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

bool rawAnswers(const Printer &target, const RawGets &gets) {
    const int fd = openUdpSocket();
    const bool answered = fd >= 0 && rawRoundTrips(fd, target.socketAddress, gets);
    if (fd >= 0) close(fd);
    if (!answered)
        std::fprintf(stderr, "bench_reading: no reply to the raw gets of %s\n", target.name.toUtf8().constData());
    return answered;
}

// What work sends to the printer, recorded once through the relay (work talks to the relay's address); nothing when
// the relay cannot be made or a request carries no request id.
std::optional<std::vector<std::string>> recordThroughRelay(const Printer &target, const std::function<void()> &work) {
    RequestRecorder relay(recorder().socketAddress, target.socketAddress);
    if (!relay.ready()) {
        std::fprintf(stderr, "bench_reading: cannot relay from %s\n", recorder().host.toUtf8().constData());
        return std::nullopt;
    }
    std::vector<std::string> requests = relay.record(work);
    if (std::ranges::any_of(recordedGets(requests).ids, &std::string::empty)) return std::nullopt;
    return requests;
}

// A key point search of the printer once through the relay: the requests it sends, and false unless it finds the key
// point and identity of a search made straight and the printer answers them raw.
bool recordSearch(Printer &target) {
    QString keyPoint, identity;
    const auto requests = recordThroughRelay(
        target, [&] { keyPoint = reading::SearchPrinterKeyPoint(target.rules, recorder().host, identity); });
    if (!requests || keyPoint != target.keyPoint || identity != target.identity) {
        std::fprintf(stderr, "bench_reading: the search of %s through the relay found %s (%s)\n",
                     target.name.toUtf8().constData(), keyPoint.toUtf8().constData(), identity.toUtf8().constData());
        return false;
    }
    target.searchRequests = *requests;
    return rawAnswers(target, recordedGets(target.searchRequests));
}

// One reading of the printer once through the relay: the requests it sends; false unless it gives a record and the
// printer answers them raw.
bool recordReading(Printer &target) {
    QString record;
    const auto requests = recordThroughRelay(target, [&] {
        record = reading::getPrinterInfo(target.rules, target.host, recorder().host, QStringLiteral("Bench"),
                                         target.keyPoint, target.identity);
    });
    if (!requests || record.isEmpty() || record == QLatin1String("-2")) {
        std::fprintf(stderr, "bench_reading: the reading of %s through the relay gave no record\n",
                     target.name.toUtf8().constData());
        return false;
    }
    target.readingRequests = *requests;
    return rawAnswers(target, recordedGets(target.readingRequests));
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
    return rawAnswers(target, rawGets(keyPointSearchOids())) && recordReading(target);
}

// The same for a Printer MIB printer, searched and read by the rules the cycle gives it: a reading that is not a
// record, not of the expected model or without the expected totals stops the benchmark.
bool mibPrinterAnswers(Printer &target) {
    QString sysDescr;
    target.rules = reading::readingRules(reading::GetCodeBrand(target.host, sysDescr), sysDescr);
    target.keyPoint = reading::SearchPrinterKeyPoint(target.rules, target.host, target.identity);
    const reading::PrinterReading found =
        reading::readPrinter(target.rules, target.host, target.host, QStringLiteral("Bench"), target.keyPoint,
                             target.identity);
    std::printf("%s: rules %d, identity %s, model %s, totals %s;%s, toner %s\n  key point %s\n",
                target.name.toUtf8().constData(), target.rules, target.identity.toUtf8().constData(),
                found.model.toUtf8().constData(), found.totalBW.toUtf8().constData(),
                found.totalColour.toUtf8().constData(), found.tonerWarning.simplified().toUtf8().constData(),
                target.keyPoint.toUtf8().constData());
    std::fflush(stdout);
    const Expectation &expected = Expectations.at(target.name);
    if (found.model != expected.model || found.totalBW != expected.totalBW ||
        found.totalColour != expected.totalColour || found.record.isEmpty() || found.record == QLatin1String("-2")) {
        std::fprintf(stderr, "bench_reading: %s at %s does not read as %s with totals %s;%s (record %s)\n",
                     target.name.toUtf8().constData(), target.host.toUtf8().constData(),
                     expected.model.toUtf8().constData(), expected.totalBW.toUtf8().constData(),
                     expected.totalColour.toUtf8().constData(), found.record.left(20).toUtf8().constData());
        return false;
    }
    return recordReading(target) && recordSearch(target);
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
