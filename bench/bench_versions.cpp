// SNMP versions 2c and 3 against a live agent, each through the object factory as the programs use the library:
//   bench_versions get ADDRESS    one whole process: a version 3 authPriv get (SHA, AES) of sysDescr.0, as
//                                 `snmpget -v3` makes it (passphrases to keys, engine discovery, the get); prints
//                                 the value
//   bench_versions walk ADDRESS   one whole process: a version 2c walk of the agent's tree from "1" through GetBulk,
//                                 as `snmpbulkwalk -v2c -Cr10` makes it; prints one OID a line
//   bench_versions ADDRESS [benchmark flags]
//       v1_get_on_open_session   one version 1 get on a session opened once
//       v3_get_on_open_session   one version 3 authPriv get on a session opened once (engine known, keys made)
// The agent (loopback only) has the community "public" and the user below; bench/run configures it.
#include "platform/componentfactory.h"

#include "loopback.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

constexpr const char *Oid = "1.3.6.1.2.1.1.1.0"; // sysDescr.0
constexpr const char *User = "bench";
constexpr const char *AuthPassphrase = "bench authentication";
constexpr const char *PrivPassphrase = "bench privacy";

std::string agentAddress;

QString programFolder() {
    return QString::fromStdString(std::filesystem::read_symlink("/proc/self/exe").parent_path().string());
}

// An open session to the agent in the version given; "3" speaks as the bench user with SHA and AES.
platform::ComponentObject openSession(platform::ComponentFactory &factory, const QString &version) {
    platform::ComponentObject session = factory.createObject(QStringLiteral("quorrel.SnmpV1"));
    session.set(QStringLiteral("Agent"), QString::fromStdString(agentAddress));
    session.set(QStringLiteral("CommStr"), QStringLiteral("public"));
    session.set(QStringLiteral("Version"), version);
    if (version == QLatin1String("3")) {
        session.set(QStringLiteral("SecurityName"), QString::fromLatin1(User));
        session.set(QStringLiteral("AuthProtocol"), QStringLiteral("SHA"));
        session.set(QStringLiteral("AuthPassphrase"), QString::fromLatin1(AuthPassphrase));
        session.set(QStringLiteral("PrivProtocol"), QStringLiteral("AES"));
        session.set(QStringLiteral("PrivPassphrase"), QString::fromLatin1(PrivPassphrase));
    }
    session.call(QStringLiteral("SnmpMgrOpen"));
    return session;
}

bool failed(const QString &reply) { return reply.startsWith(QLatin1String("[Vantobe.")); }

int getOnce() {
    platform::ComponentFactory factory(programFolder());
    platform::ComponentObject session = openSession(factory, QStringLiteral("3"));
    const QString reply = session.call(QStringLiteral("SnmpGet"), {QString::fromLatin1(Oid)}).toString();
    std::printf("%s\n", reply.toUtf8().constData());
    return failed(reply) ? 1 : 0;
}

int walkOnce() {
    platform::ComponentFactory factory(programFolder());
    platform::ComponentObject session = openSession(factory, QStringLiteral("2c"));
    QList<platform::ComponentArgument> args{{QStringLiteral("1"), true}};
    while (true) {
        const QString reply = session.call(QStringLiteral("SnmpGetNext"), args).toString();
        if (reply.contains(QLatin1String("][AP02C1]="))) return 0; // the end of the agent's tree
        if (failed(reply)) {
            std::fprintf(stderr, "%s\n", reply.toUtf8().constData());
            return 1;
        }
        std::printf("%s\n", args[0].value.toString().toUtf8().constData());
    }
}

void getOnOpenSession(benchmark::State &state, const QString &version) {
    try {
        platform::ComponentFactory factory(programFolder());
        platform::ComponentObject session = openSession(factory, version);
        const QVariantList args{QString::fromLatin1(Oid)};
        for (auto _ : state) {
            const QString reply = session.call(QStringLiteral("SnmpGet"), args).toString();
            if (failed(reply)) {
                state.SkipWithError(reply.toStdString().c_str());
                break;
            }
        }
        session.call(QStringLiteral("SnmpMgrClose"));
    } catch (const platform::Fault &fault) {
        state.SkipWithError(fault.what());
    }
}

void v1_get_on_open_session(benchmark::State &state) { getOnOpenSession(state, QStringLiteral("1")); }
void v3_get_on_open_session(benchmark::State &state) { getOnOpenSession(state, QStringLiteral("3")); }

BENCHMARK(v1_get_on_open_session)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(v3_get_on_open_session)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

int main(int argc, char **argv) {
    const std::string mode = argc > 2 ? argv[1] : "";
    const int addressArgument = mode == "get" || mode == "walk" ? 2 : 1;
    sockaddr_in checked{};
    if (argc <= addressArgument || !loopbackAddress(argv[addressArgument], 161, checked)) {
        std::fprintf(stderr, "usage: bench_versions [get|walk] 127.x.x.x [benchmark flags]\n");
        return 2;
    }
    agentAddress = argv[addressArgument];
    if (mode == "get") return getOnce();
    if (mode == "walk") return walkOnce();
    argv[1] = argv[0];
    int count = argc - 1;
    benchmark::Initialize(&count, argv + 1);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
