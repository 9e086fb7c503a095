// Cost of one SNMP v1 get against a live agent, our way and two yardsticks, in one run against the same agent:
//   a_factory_exchange    the SnmpV1 object created by name through the factory, Agent/CommStr set, open, one
//                         get, close, release: one complete exchange as the programs make it
//   a_get_on_open_session one get on a session opened once (what each step of a walk costs)
//   b_netsnmp_sync_get    Net-SNMP's library, one session per get: sess_init, open, synch_response, close
//   c_raw_udp_floor       a fixed get datagram sent and its reply received on one plain blocking UDP socket
//   c_raw_udp_new_socket  the same with a socket made and closed for every get
//   d_151_exchanges       151 complete exchanges of (a) in a row, as a printer's counter search makes them
//
// The agent: the first argument left after the benchmark flags, else METERLANE_BENCH_AGENT, else 127.0.0.60;
// loopback addresses only. Its port: METERLANE_BENCH_PORT, else 161 (handed on to our library as well).
#include "platform/componentfactory.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include "loopback.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

// Net-SNMP last: its headers define macros freely.
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

namespace {

constexpr const char *Oid = "1.3.6.1.2.1.1.1.0"; // sysDescr.0
constexpr int ChainLength = 151;

struct Agent {
    std::string address = "127.0.0.60";
    std::uint16_t port = 161;
    sockaddr_in socketAddress{};
};

Agent &agent() {
    static Agent value;
    return value;
}

QString programFolder() {
    static const QString folder =
        QString::fromStdString(std::filesystem::read_symlink("/proc/self/exe").parent_path().string());
    return folder;
}

// One complete exchange through the factory; false (with the reason in reply) when it did not read a value.
bool factoryExchange(QString &reply) {
    try {
        platform::ComponentFactory factory(programFolder());
        platform::ComponentObject session = factory.createObject(QStringLiteral("quorrel.SnmpV1"));
        session.set(QStringLiteral("Agent"), QString::fromStdString(agent().address));
        session.set(QStringLiteral("CommStr"), QStringLiteral("public"));
        const QString opened = session.call(QStringLiteral("SnmpMgrOpen")).toString();
        if (opened != QLatin1String("Successful")) {
            reply = opened;
            return false;
        }
        reply = session.call(QStringLiteral("SnmpGet"), {QString::fromLatin1(Oid)}).toString();
        session.call(QStringLiteral("SnmpMgrClose"));
        return !reply.startsWith(QLatin1String("[Vantobe."));
    } catch (const platform::Fault &fault) {
        reply = fault.description;
        return false;
    }
}

bool netSnmpGet(std::string &why) {
    netsnmp_session settings;
    snmp_sess_init(&settings);
    const std::string peer = "udp:" + agent().address + ":" + std::to_string(agent().port);
    settings.peername = const_cast<char *>(peer.c_str());
    settings.version = SNMP_VERSION_1;
    static char community[] = "public";
    settings.community = reinterpret_cast<u_char *>(community);
    settings.community_len = std::strlen(community);
    netsnmp_session *session = snmp_open(&settings);
    if (!session) {
        why = "snmp_open failed";
        return false;
    }
    oid name[MAX_OID_LEN];
    size_t nameLength = MAX_OID_LEN;
    netsnmp_pdu *request = snmp_pdu_create(SNMP_MSG_GET);
    if (!read_objid(Oid, name, &nameLength)) {
        snmp_free_pdu(request);
        snmp_close(session);
        why = "read_objid failed";
        return false;
    }
    snmp_add_null_var(request, name, nameLength);
    netsnmp_pdu *response = nullptr;
    const int status = snmp_synch_response(session, request, &response); // frees the request
    const bool ok = status == STAT_SUCCESS && response && response->errstat == SNMP_ERR_NOERROR;
    if (!ok) why = status == STAT_TIMEOUT ? "timeout" : "no or failed response";
    if (response) snmp_free_pdu(response);
    snmp_close(session);
    return ok;
}

// A v1 GetRequest for sysDescr.0, community "public", request id 0x1A2B3C4D, one binding with a NULL value.
constexpr unsigned char GetDatagram[] = {
    0x30, 0x29,                                                       // Message, 41 octets
    0x02, 0x01, 0x00,                                                 //   version 1 (0)
    0x04, 0x06, 'p', 'u', 'b', 'l', 'i', 'c',                         //   community
    0xA0, 0x1C,                                                       //   GetRequest-PDU, 28 octets
    0x02, 0x04, 0x1A, 0x2B, 0x3C, 0x4D,                               //     request-id
    0x02, 0x01, 0x00,                                                 //     error-status
    0x02, 0x01, 0x00,                                                 //     error-index
    0x30, 0x0E,                                                       //     VarBindList
    0x30, 0x0C,                                                       //       VarBind
    0x06, 0x08, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x01, 0x00,       //         1.3.6.1.2.1.1.1.0
    0x05, 0x00,                                                       //         NULL
};
static_assert(sizeof GetDatagram == 2 + 0x29);

// A GetResponse carrying our request id: the tag 0xA2 and the id both present.
bool isOurReply(const unsigned char *reply, ssize_t length) {
    if (length < 20 || reply[0] != 0x30) return false;
    const void *id = memmem(reply, static_cast<size_t>(length), GetDatagram + 15, 6);
    const void *tag = std::memchr(reply, 0xA2, static_cast<size_t>(length));
    return id && tag && tag < id;
}

bool rawRoundTrip(int fd) {
    const sockaddr_in &to = agent().socketAddress;
    if (sendto(fd, GetDatagram, sizeof GetDatagram, 0, reinterpret_cast<const sockaddr *>(&to), sizeof to) !=
        static_cast<ssize_t>(sizeof GetDatagram))
        return false;
    unsigned char reply[2048];
    const ssize_t got = recv(fd, reply, sizeof reply, 0);
    return isOurReply(reply, got);
}

void a_factory_exchange(benchmark::State &state) {
    QString reply;
    for (auto _ : state) {
        if (!factoryExchange(reply)) {
            state.SkipWithError(reply.toStdString().c_str());
            break;
        }
    }
}

void a_get_on_open_session(benchmark::State &state) {
    try {
        platform::ComponentFactory factory(programFolder());
        platform::ComponentObject session = factory.createObject(QStringLiteral("quorrel.SnmpV1"));
        session.set(QStringLiteral("Agent"), QString::fromStdString(agent().address));
        session.set(QStringLiteral("CommStr"), QStringLiteral("public"));
        session.call(QStringLiteral("SnmpMgrOpen"));
        const QVariantList args{QString::fromLatin1(Oid)};
        for (auto _ : state) {
            const QString reply = session.call(QStringLiteral("SnmpGet"), args).toString();
            if (reply.startsWith(QLatin1String("[Vantobe."))) {
                state.SkipWithError(reply.toStdString().c_str());
                break;
            }
        }
        session.call(QStringLiteral("SnmpMgrClose"));
    } catch (const platform::Fault &fault) {
        state.SkipWithError(fault.what());
    }
}

void b_netsnmp_sync_get(benchmark::State &state) {
    std::string why;
    for (auto _ : state) {
        if (!netSnmpGet(why)) {
            state.SkipWithError(why.c_str());
            break;
        }
    }
}

void c_raw_udp_floor(benchmark::State &state) {
    const int fd = openUdpSocket();
    if (fd < 0) {
        state.SkipWithError("socket failed");
        return;
    }
    for (auto _ : state) {
        if (!rawRoundTrip(fd)) {
            state.SkipWithError("no reply to the raw datagram");
            break;
        }
    }
    close(fd);
}

void c_raw_udp_new_socket(benchmark::State &state) {
    for (auto _ : state) {
        const int fd = openUdpSocket();
        const bool ok = fd >= 0 && rawRoundTrip(fd);
        if (fd >= 0) close(fd);
        if (!ok) {
            state.SkipWithError("no reply to the raw datagram");
            break;
        }
    }
}

void d_151_exchanges(benchmark::State &state) {
    QString reply;
    for (auto _ : state) {
        for (int i = 0; i < ChainLength; ++i) {
            if (!factoryExchange(reply)) {
                state.SkipWithError(reply.toStdString().c_str());
                return;
            }
        }
    }
    state.counters["exchanges"] = ChainLength;
}

// Network waits are not CPU time: wall-clock time throughout; the CPU column counts every thread (our worker too).
BENCHMARK(a_factory_exchange)->Unit(benchmark::kMicrosecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(a_get_on_open_session)->Unit(benchmark::kMicrosecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(b_netsnmp_sync_get)->Unit(benchmark::kMicrosecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(c_raw_udp_floor)->Unit(benchmark::kMicrosecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(c_raw_udp_new_socket)->Unit(benchmark::kMicrosecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(d_151_exchanges)->Unit(benchmark::kMicrosecond)->UseRealTime()->MeasureProcessCPUTime();

bool configureAgent(int &argc, char **argv) {
    Agent &target = agent();
    if (const char *text = std::getenv("METERLANE_BENCH_AGENT"); text && *text) target.address = text;
    if (argc > 1 && argv[1][0] != '-') {
        target.address = argv[1];
        for (int i = 1; i < argc; ++i) argv[i] = argv[i + 1];
        --argc;
    }
    if (const char *text = std::getenv("METERLANE_BENCH_PORT"); text && *text) {
        const int port = std::atoi(text);
        if (port < 1 || port > 65535) {
            std::fprintf(stderr, "bench_exchange: bad METERLANE_BENCH_PORT %s\n", text);
            return false;
        }
        target.port = static_cast<std::uint16_t>(port);
    }
    if (!loopbackAddress(target.address, target.port, target.socketAddress)) {
        std::fprintf(stderr, "bench_exchange: the agent must be a 127.x.x.x address, not %s\n",
                     target.address.c_str());
        return false;
    }
    setenv("QUORREL_AGENT_PORT", std::to_string(target.port).c_str(), 1);
    return true;
}

void startNetSnmp() {
    setenv("MIBS", "", 1); // numeric OIDs only: no MIB files to parse
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_PERSIST_STATE, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
    init_snmp("bench_exchange");
}

// One of each before measuring: the agent answers every path, and the library is loaded.
bool agentAnswers() {
    QString reply;
    if (!factoryExchange(reply)) {
        std::fprintf(stderr, "bench_exchange: our exchange failed: %s\n", reply.toUtf8().constData());
        return false;
    }
    std::string why;
    if (!netSnmpGet(why)) {
        std::fprintf(stderr, "bench_exchange: Net-SNMP get failed: %s\n", why.c_str());
        return false;
    }
    const int fd = openUdpSocket();
    const bool raw = fd >= 0 && rawRoundTrip(fd);
    if (fd >= 0) close(fd);
    if (!raw) std::fprintf(stderr, "bench_exchange: no reply to the raw datagram\n");
    return raw;
}

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (!configureAgent(argc, argv)) return 2;
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    startNetSnmp();
    if (!agentAnswers()) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    snmp_shutdown("bench_exchange");
    return 0;
}
