// GetOID: one value read through the SnmpV1 component, failures of the library as -10000 with a log line, failures
// to create or call the component as the empty text with one log line per failed step.
#include "reading/oidreader.h"
#include "reading/printermib.h"
#include "readingfixture.h"

#include <cstdio>
#include <cstdlib>

namespace {

using namespace meterlane::test;
using namespace std::chrono_literals;
using reading::GetOID;

const QString SysDescr = QStringLiteral("1.3.6.1.2.1.1.1.0");

class OidReader : public ReadingTest {};

TEST_F(OidReader, ReadsOneValueInOneRequestWithThePublicCommunity) {
    serve(agent, {{"1.3.6.1.2.1.1.1.0", text("RICOH Aficio MP C3000")}});
    EXPECT_EQ(GetOID(address, SysDescr), QStringLiteral("RICOH Aficio MP C3000"));
    const auto seen = agent.requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].pduType, 0xA0);
    EXPECT_EQ(seen[0].community, "public");
    EXPECT_EQ(seen[0].oid, "1.3.6.1.2.1.1.1.0");
    EXPECT_TRUE(logMessages().isEmpty());
}

TEST_F(OidReader, ValuesComeBackAsTheLibraryRendersThem) {
    struct Case {
        WireValue value;
        QString expected;
    };
    const Case cases[] = {
        {WireValue::octets(std::string("\x00\x1B\xA9\x05", 4)), QStringLiteral("001BA95")}, // first byte zero: hex
        {WireValue::octets(""), QString()},
        {WireValue::integer(-100), QStringLiteral("-100")},
        {WireValue::counter32(4000000000u), QStringLiteral("-294967296")}, // the first 32 bits, signed
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.expected);
        serve(agent, {{"1.3.6.1.2.1.1.1.0", c.value}});
        EXPECT_EQ(GetOID(address, SysDescr), c.expected);
    }
    EXPECT_TRUE(logMessages().isEmpty()) << logMessages().join(u'\n');
}

TEST_F(OidReader, LibraryFailuresReadAsMinus10000WithTheLibrarysMessageLogged) {
    struct Case {
        const char *what;
        Step step;
        QString messageEnd;
    };
    const Case cases[] = {
        {"noSuchName", noSuchName(), QStringLiteral("[AP02C1]=Error encountered during Agent Process")},
        {"genErr", Step{{Reply{.value = WireValue::null(), .errorStatus = 5}}},
         QStringLiteral("[AP05C0]=Error encountered during Agent Process")},
        {"silence", silence(), QStringLiteral(" has encountered an error")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(store::globals().programFolder + QStringLiteral("/log/zov.log"));
        agent.setDefault(c.step);
        EXPECT_EQ(GetOID(address, QStringLiteral("1.3.6.1.2.1.43.5.1.1.17.1")), reading::ReadFailed);
        const QStringList log = logMessages();
        ASSERT_EQ(log.size(), 1) << log.join(u'\n');
        EXPECT_TRUE(log[0].startsWith(QStringLiteral("errGetOID varOID 1.3.6.1.2.1.43.5.1.1.17.1 OID [Vantobe.Mod.")))
            << log[0];
        EXPECT_TRUE(log[0].endsWith(c.messageEnd)) << log[0];
    }
}

TEST_F(OidReader, EmptyHostFailsAtOpenAndSendsNothing) {
    EXPECT_EQ(GetOID(QString(), SysDescr), reading::ReadFailed);
    EXPECT_EQ(logMessages(),
              QStringList{QStringLiteral("errGetOID varOID 1.3.6.1.2.1.1.1.0 OID [Vantobe.SnmpV1.SnmpMgrOpen][MV]=You "
                                         "must set both the Agent and CommStr properties before you can open a "
                                         "session.")});
    EXPECT_FALSE(agent.waitForRequests(1, 100ms));
}

TEST_F(OidReader, PumpsEventsBeforeTheRequestAndWhileWaitingForTheReply) {
    TransportSettings slow(2000, 0);
    int pumped = 0;
    platform::setEventPump([&] { ++pumped; });
    agent.setDefault(Step{{Reply{.value = text("late")}}, 450ms});
    EXPECT_EQ(GetOID(address, SysDescr), QStringLiteral("late"));
    EXPECT_GE(pumped, 2 + 3); // after the open, before the get, and about every 100 ms of the wait

    pumped = 0;
    EXPECT_EQ(GetOID(QString(), SysDescr), reading::ReadFailed);
    EXPECT_EQ(pumped, 1); // after the failed open only
}

// With a credentials file, the profiles that apply to a host are tried in file order with one sysDescr get each; the
// first that answers reads the host from then on and snmp-state.ini remembers it. A read that gets no answer drops
// the choice: the next read tries again, the remembered profile first.
TEST_F(OidReader, TheFirstProfileThatAnswersReadsTheHostUntilItFallsSilent) {
    QFile file(folder.filePath(QStringLiteral("snmp-credentials.ini")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[elsewhere]\nCommunity=site\nHosts=127.0.0.35\n[old]\nCommunity=old\n[site]\nVersion=2c\n"
               "Community=site\n");
    file.close();
    std::string answering = "site";
    agent.setHandler([&](const Request &request) {
        return request.community == answering ? answer(text("x")) : silence();
    });
    const auto asked = [&] {
        std::vector<std::pair<std::string, std::int64_t>> seen; // community, version
        for (const Request &request : agent.requests()) seen.emplace_back(request.community, request.version);
        agent.clearRequests();
        return seen;
    };
    using Asked = std::vector<std::pair<std::string, std::int64_t>>;
    const QString remembered = folder.filePath(QStringLiteral("snmp-state.ini"));

    EXPECT_EQ(GetOID(address, reading::printermib::SerialNumber), QStringLiteral("x"));
    EXPECT_EQ(asked(), (Asked{{"old", 0}, {"site", 1}, {"site", 1}}));
    EXPECT_EQ(store::ReadIniValue(remembered, QStringLiteral("Profiles"), address), QStringLiteral("site"));
    EXPECT_EQ(GetOID(address, reading::printermib::SerialNumber), QStringLiteral("x"));
    EXPECT_EQ(asked(), (Asked{{"site", 1}}));

    answering = "old";
    EXPECT_EQ(GetOID(address, reading::printermib::SerialNumber), reading::ReadFailed);
    asked();
    EXPECT_EQ(GetOID(address, reading::printermib::SerialNumber), QStringLiteral("x"));
    EXPECT_EQ(asked(), (Asked{{"site", 1}, {"old", 0}, {"old", 0}}));
    EXPECT_EQ(store::ReadIniValue(remembered, QStringLiteral("Profiles"), address), QStringLiteral("old"));
}

// A profile that applies alone is tried with the transport's retries: a lost datagram does not make the printer
// silent.
TEST_F(OidReader, TheOnlyProfileThatAppliesIsTriedWithRetries) {
    TransportSettings retries(200, 2);
    QFile file(folder.filePath(QStringLiteral("snmp-credentials.ini")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[elsewhere]\nCommunity=other\nHosts=127.0.0.35\n[site]\nVersion=2c\nCommunity=site\n");
    file.close();
    serve(agent, {{"1.3.6.1.2.1.1.1.0", text("x")}});
    agent.script(silence());
    EXPECT_EQ(GetOID(address, SysDescr), QStringLiteral("x"));
    std::vector<std::string> asked;
    for (const Request &request : agent.requests()) asked.push_back(request.community);
    EXPECT_EQ(asked, (std::vector<std::string>{"site", "site", "site"})); // lost, retried, then the read
}

// With the library nowhere to be found: the seven steps that use the object fail in turn, each with a log line.
// Run in a process of its own, since a process that has loaded the library once finds it again by its name.
int readWithoutLibrary() {
    QTemporaryDir folder, empty;
    store::setProgramFolder(folder.path());
    platform::setLibraryFolder(empty.path());
    const QString result = GetOID(QStringLiteral("127.0.0.34"), SysDescr);
    QFile file(folder.filePath(QStringLiteral("log/zov.log")));
    const QString log = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    const QString stamp = u' ' + store::globals().version + u' ';
    QStringList faults;
    for (const QString &line : log.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
        faults << line.mid(line.indexOf(stamp) + stamp.size()).section(u' ', 0, 1);
    QStringList expected(7, QStringLiteral("errGetOID 91"));
    expected[0] = QStringLiteral("errGetOID 429"); // the object cannot be created, then every call on it faults
    std::fprintf(stderr, "result \"%s\", log:\n%s", qPrintable(result), qPrintable(log));
    return result.isEmpty() && faults == expected && log.contains(QStringLiteral("Cannot create object quorrel.SnmpV1"))
               ? 0
               : 1;
}

TEST(OidReaderWithoutLibrary, EveryStepFailsInTurnAndTheResultIsEmpty) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(readWithoutLibrary()), ::testing::ExitedWithCode(0), "");
}

} // namespace
