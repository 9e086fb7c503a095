// discovery::walkOid on a session created by name, against snmpsim: what the meterlane-cli tests cannot see.
#include "discovery/snmpwalk.h"
#include "platform/componentfactory.h"
#include "support/realagents.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <cstdlib>

namespace {

using testsupport::SnmpsimAgent;

const QString NoSuchName =
    QStringLiteral("[Vantobe.Mod.SnmpResponseProcess][AP02C1]=Error encountered during Agent Process");

SnmpsimAgent &printer() {
    static SnmpsimAgent agent(METERLANE_AGENTS_DIR);
    return agent;
}

platform::ComponentObject openSession(const QString &agent, const QString &community) {
    platform::ComponentObject session =
        platform::ComponentFactory(QStringLiteral(METERLANE_BIN_DIR)).createObject(QStringLiteral("quorrel.SnmpV1"));
    session.set(QStringLiteral("Agent"), agent);
    session.set(QStringLiteral("CommStr"), community);
    EXPECT_EQ(session.call(QStringLiteral("SnmpMgrOpen")).toString(), QStringLiteral("Successful"));
    return session;
}

QStringList walk(platform::ComponentObject &session, const QString &oid, bool fullWalk = false) {
    QStringList lines;
    discovery::walkOid(session, oid, fullWalk, [&](const QString &line) { lines.append(line); });
    return lines;
}

// A silent agent: the time-out message holds "error", and the failed get-next leaves no OID, so the walk ends after
// its first step instead of stepping on.
TEST(SnmpWalk, SilentAgentEndsAfterTheFirstStep) {
    ASSERT_AGENT(printer());
    setenv("QUORREL_TIMEOUT_MS", "100", 1);
    setenv("QUORREL_RETRIES", "0", 1);
    platform::ComponentObject session = openSession(QString::fromStdString(printer().address()), "no-such-community");
    unsetenv("QUORREL_TIMEOUT_MS");
    unsetenv("QUORREL_RETRIES");
    const QStringList lines = walk(session, QStringLiteral("1.3.6.1.2.1.1"));
    ASSERT_EQ(lines.size(), 2) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("=S= 1.3.6.1.2.1.1 : [Vantobe.Mod.SnmpAgentResponse][AP19]=")));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("=1=  : [Vantobe.Mod.SnmpAgentResponse][AP19]=")));
    session.call(QStringLiteral("SnmpMgrClose"));
}

// A walk on a session that has walked before starts afresh: nothing of the earlier walk's last OID carries over.
TEST(SnmpWalk, WalksOnOneSessionAreIndependent) {
    ASSERT_AGENT(printer());
    platform::ComponentObject session = openSession(QString::fromStdString(printer().address()), "printer");
    const QStringList toner = {
        "=S= 1.3.6.1.2.1.43.11.1.1.9 : " + NoSuchName,
        QStringLiteral("=1= 1.3.6.1.2.1.43.11.1.1.9.1.1 : 80"),
        QStringLiteral("=2= 1.3.6.1.2.1.43.11.1.1.9.1.2 : 45"),
        QStringLiteral("=3= 1.3.6.1.2.1.43.11.1.1.9.1.3 : -3"),
        QStringLiteral("=4= 1.3.6.1.2.1.43.11.1.1.9.1.4 : 10"),
        QStringLiteral("=5= 1.3.6.1.2.1.43.18.1.1.8.1.1 : Tray 2: paper misfeed error"),
    };
    EXPECT_EQ(walk(session, QStringLiteral("1.3.6.1.2.1.43.11.1.1.9")), toner);
    // Ends at the end of the data, on an error reply.
    EXPECT_EQ(walk(session, QStringLiteral("2.25"), true).size(), 3);
    EXPECT_EQ(walk(session, QStringLiteral("1.3.6.1.2.1.43.11.1.1.9")), toner);
    session.call(QStringLiteral("SnmpMgrClose"));
}

// A starting OID without a dot: the root is taken from the first OID returned, not from the text asked for.
TEST(SnmpWalk, RootComesFromTheFirstReturnedOid) {
    ASSERT_AGENT(printer());
    platform::ComponentObject session = openSession(QString::fromStdString(printer().address()), "printer");
    const QStringList lines = walk(session, QStringLiteral("2"));
    const QStringList expected = {
        "=S= 2 : " + NoSuchName,
        QStringLiteral("=1= 2.25.1.0 : outside the Internet subtree"),
        "=2= 2.25.1.0 : " + NoSuchName,
    };
    EXPECT_EQ(lines, expected);
    session.call(QStringLiteral("SnmpMgrClose"));
}

TEST(SnmpWalk, FaultsOfTheSessionReachTheCaller) {
    platform::ComponentObject neverCreated;
    QStringList lines;
    try {
        discovery::walkOid(neverCreated, QStringLiteral("1.3.6.1"), false,
                           [&](const QString &line) { lines.append(line); });
        FAIL() << "no fault";
    } catch (const platform::Fault &fault) {
        EXPECT_EQ(fault.number, 91);
    }
    EXPECT_TRUE(lines.isEmpty());
}

} // namespace
