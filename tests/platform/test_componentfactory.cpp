#include "platform/componentfactory.h"
#include "platform/eventpump.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdlib>

using platform::ComponentFactory;
using platform::Fault;
using platform::ComponentObject;

namespace {

int faultOf(const std::function<void()> &action) {
    try {
        action();
    } catch (const Fault &fault) {
        return fault.number;
    }
    return 0;
}

} // namespace

TEST(ComponentFactory, CreatesTheSessionClassByNameFromTheProgramFolder) {
    ComponentFactory factory(METERLANE_BIN_DIR);
    for (const char *name : {"quorrel.SnmpV1", "Quorrel.SnmpV1", "QUORREL.snmpv1"}) {
        ComponentObject session = factory.createObject(name);
        EXPECT_TRUE(session.isCreated());
        session.set("TimeOut", 1000);
        EXPECT_EQ(session.get("Timeout").toInt(), 1000);
    }
}

TEST(ComponentFactory, FaultsForWhatCannotBeCreated) {
    QTemporaryDir empty;
    ComponentFactory nowhere(empty.path());
    EXPECT_EQ(faultOf([&] { nowhere.createObject("nosuchlibrary.Thing"); }), 429);
    EXPECT_EQ(faultOf([&] { nowhere.createObject("quorrel"); }), 429);
    EXPECT_EQ(faultOf([&] { nowhere.createObject(".SnmpV1"); }), 429);
    ComponentFactory factory(METERLANE_BIN_DIR);
    EXPECT_EQ(faultOf([&] { factory.createObject("quorrel.SnmpV9"); }), 429);
}

TEST(ComponentFactory, FaultsForCallsThatCannotBeMade) {
    ComponentObject never;
    EXPECT_EQ(faultOf([&] { never.set("Agent", "127.0.0.1"); }), 91);
    EXPECT_EQ(faultOf([&] { never.call("SnmpMgrOpen"); }), 91);

    ComponentObject session = ComponentFactory(METERLANE_BIN_DIR).createObject("quorrel.SnmpV1");
    EXPECT_EQ(faultOf([&] { session.call("SnmpNothing"); }), 438);
    EXPECT_EQ(faultOf([&] { session.call("SnmpGet"); }), 449);
    EXPECT_EQ(faultOf([&] { session.set("Retry", QStringLiteral("many")); }), 13);
}

TEST(ComponentFactory, PassesByReferenceArgumentsBack) {
    ComponentObject session = ComponentFactory(METERLANE_BIN_DIR).createObject("quorrel.SnmpV1");
    QList<platform::ComponentArgument> args{{QStringLiteral("1.3.6.1.2.1.1.1.0"), true}};
    const QString reply = session.call("SnmpGetNext", args).toString(); // closed session: Unknown Source
    EXPECT_EQ(reply, "[Vantobe.Mod.SnmpAgentRequest][US]=Unknown Source");
    EXPECT_NE(args[0].value.toString(), "1.3.6.1.2.1.1.1.0");
}

TEST(ComponentFactory, KeepsTheHostResponsiveWhileAReplyIsAwaited) {
    // Nothing listens on this loopback address: the request waits for the transport's time-out.
    setenv("QUORREL_TIMEOUT_MS", "450", 1);
    setenv("QUORREL_RETRIES", "0", 1);
    int pumped = 0;
    platform::setEventPump([&] { ++pumped; });
    ComponentObject session = ComponentFactory(METERLANE_BIN_DIR).createObject("quorrel.SnmpV1");
    session.set("Agent", "127.0.0.2");
    session.set("CommStr", "public");
    ASSERT_EQ(session.call("SnmpMgrOpen").toString(), "Successful");
    const QString reply = session.call("SnmpGet", {QStringLiteral("1.3.6.1.2.1.1.1.0")}).toString();
    session.call("SnmpMgrClose");
    platform::setEventPump({});
    unsetenv("QUORREL_TIMEOUT_MS");
    unsetenv("QUORREL_RETRIES");
    EXPECT_TRUE(reply.startsWith("[Vantobe.Mod.SnmpAgentResponse][AP19]=Request ID ")) << reply.toStdString();
    EXPECT_GE(pumped, 3); // at least every 100 ms of a 450 ms wait
}
