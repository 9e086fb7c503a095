// The SnmpV1 class: opening and closing, the library-wide values, set values and their wire types, and the
// requests that fail before anything is sent.
#include "snmpv1.h"
#include "support/faultagent.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

namespace {

using meterlane::test::answer;
using meterlane::test::FaultAgent;
using meterlane::test::WireValue;
using quorrel::SnmpV1;
using quorrel::Variant;

constexpr const char *AgentAddress = "127.0.0.35";
constexpr const char *OtherAddress = "127.0.0.36";
constexpr const char *SecondAgentAddress = "127.0.0.37";

const std::string MissingValues = "[Vantobe.SnmpV1.SnmpMgrOpen][MV]=You must set both the Agent and CommStr "
                                  "properties before you can open a session.";
const std::string AlreadyOpen =
    "[Vantobe.SnmpV1.SnmpMgrOpen][OS]=You must close your existing session before opening another one.";
const std::string NothingToClose = "[Vantobe.SnmpV1.SnmpMgrClose][CS]=No session currently initialized to close.";
const std::string InvalidOverride = "[Vantobe.SnmpV1.SnmpSet][IST]=An invalid Set Type Override value has been "
                                    "encountered.  Valid Values are 0 for String Override and 1 for Numeric "
                                    "Override.";
const std::string UnknownSource = "[Vantobe.Mod.SnmpAgentRequest][US]=Unknown Source";
const std::string UnknownTarget = "[Vantobe.Mod.SnmpAgentRequest][UT]=Unknown Target";
const std::string BadCommunity = "[Vantobe.Mod.SnmpAgentRequest][CSTR]=Invalid community string";
const std::string BadOid = "[Vantobe.Mod.SnmpAgentRequest][AP04]=Error during String to OID conversion";
const std::string Overflow = "[Vantobe.Mod.SnmpAgentRequest][WA06]=Overflow";

constexpr const char *SysName = "1.3.6.1.2.1.1.5.0";

class SessionTest : public ::testing::Test {
protected:
    // The library values as a fresh process has them; they are process-wide, so every test starts from here.
    void SetUp() override {
        auto &values = quorrel::engine::library();
        values = quorrel::engine::LibraryValues{};
        agent.setDefault(answer(WireValue::octets("echo")));
    }

    void TearDown() override { session.SnmpMgrClose(); }

    void openSession(const std::string &community = "public") {
        auto &values = quorrel::engine::library();
        values.agent = AgentAddress;
        values.commStr = community;
        ASSERT_EQ(session.SnmpMgrOpen(), "Successful");
    }

    meterlane::test::TransportSettings settings{200, 0};
    FaultAgent agent{AgentAddress, OtherAddress};
    SnmpV1 session;
};

TEST_F(SessionTest, OpenNeedsBothAgentAndCommunity) {
    const std::pair<const char *, const char *> cases[] = {{"", ""}, {AgentAddress, ""}, {"", "public"}};
    for (const auto &[agentText, community] : cases) {
        SCOPED_TRACE(std::string(agentText) + "/" + community);
        auto &values = quorrel::engine::library();
        values.agent = agentText;
        values.commStr = community;
        SnmpV1 object;
        EXPECT_EQ(object.SnmpMgrOpen(), MissingValues);
        EXPECT_EQ(object.SnmpMgrClose(), NothingToClose);
    }
}

TEST_F(SessionTest, SecondOpenIsRefusedAndTheFirstSessionStaysUsable) {
    openSession();
    EXPECT_EQ(session.SnmpMgrOpen(), AlreadyOpen);
    EXPECT_EQ(session.SnmpGet(SysName), "echo");
    EXPECT_EQ(session.SnmpMgrClose(), "Successful");
    EXPECT_EQ(session.SnmpMgrClose(), NothingToClose);
    EXPECT_EQ(agent.requestCount(), 1u);
}

TEST_F(SessionTest, ObjectCanBeOpenedAgainAfterClosing) {
    openSession();
    ASSERT_EQ(session.SnmpMgrClose(), "Successful");
    ASSERT_EQ(session.SnmpMgrOpen(), "Successful");
    EXPECT_EQ(session.SnmpGet(SysName), "echo");
}

TEST_F(SessionTest, RequestsOnAClosedObjectGiveUnknownSourceAndSendNothing) {
    auto &values = quorrel::engine::library();
    values.agent = AgentAddress;
    values.commStr = "public";
    values.lastReplyOid = "1.3.6.1.2.1.1.9.0";
    SnmpV1 neverOpened;
    EXPECT_EQ(neverOpened.SnmpGet(SysName), UnknownSource);
    EXPECT_EQ(neverOpened.SnmpSet(SysName, 1.0), UnknownSource);
    std::string oid = SysName;
    EXPECT_EQ(neverOpened.SnmpGetNext(oid), UnknownSource);
    EXPECT_EQ(oid, "1.3.6.1.2.1.1.9.0"); // whatever the outcome, the by-ref OID takes the last reply OID

    openSession();
    ASSERT_EQ(session.SnmpMgrClose(), "Successful");
    EXPECT_EQ(session.SnmpGet(SysName), UnknownSource);
    EXPECT_EQ(agent.requestCount(), 0u);
}

TEST_F(SessionTest, NewObjectResetsTimeoutRetryAndLocalAddressButKeepsAgentAndCommunity) {
    auto &values = quorrel::engine::library();
    {
        SnmpV1 first;
        values.agent = AgentAddress;
        values.commStr = "carried";
        values.timeout = 500;
        values.retry = 7;
        values.localAddress = "no-such-source.invalid";
        EXPECT_EQ(values.timeout, 500);
    }
    SnmpV1 second;
    EXPECT_EQ(values.timeout, 2000);
    EXPECT_EQ(values.retry, 3);
    EXPECT_EQ(values.localAddress, "127.0.0.1");
    EXPECT_EQ(values.agent, AgentAddress);
    EXPECT_EQ(values.commStr, "carried");

    ASSERT_EQ(second.SnmpMgrOpen(), "Successful");
    EXPECT_EQ(second.SnmpGet(SysName), "echo");
    EXPECT_EQ(second.SnmpMgrClose(), "Successful");
    const auto seen = agent.requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].community, "carried");
}

TEST_F(SessionTest, RequestsGoOutAsVersionOneMessagesWithOneNullBinding) {
    openSession("public");
    std::string oid = "1.3.6.1.2.1.1";
    session.SnmpGet(SysName);
    session.SnmpGetNext(oid);
    const auto seen = agent.requests();
    ASSERT_EQ(seen.size(), 2u);
    const std::pair<std::uint8_t, const char *> expected[] = {{0xA0, SysName}, {0xA1, "1.3.6.1.2.1.1"}};
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(seen[i].wellFormed);
        EXPECT_EQ(seen[i].version, 0);
        EXPECT_EQ(seen[i].community, "public");
        EXPECT_EQ(seen[i].pduType, expected[i].first);
        EXPECT_EQ(seen[i].errorStatus, 0);
        EXPECT_EQ(seen[i].errorIndex, 0);
        EXPECT_EQ(seen[i].bindingCount, 1u);
        EXPECT_EQ(seen[i].oid, expected[i].second);
        EXPECT_EQ(seen[i].value, WireValue::null());
    }
    EXPECT_NE(seen[0].requestId, seen[1].requestId);
}

TEST_F(SessionTest, AgentAndCommunityAreReadAfreshByEveryRequest) {
    FaultAgent second{SecondAgentAddress, OtherAddress};
    second.setDefault(answer(WireValue::octets("second")));
    openSession("public");
    EXPECT_EQ(session.SnmpGet(SysName), "echo");
    auto &values = quorrel::engine::library();
    values.agent = SecondAgentAddress;
    values.commStr = "private";
    EXPECT_EQ(session.SnmpGet(SysName), "second");
    ASSERT_EQ(agent.requestCount(), 1u);
    ASSERT_EQ(second.requestCount(), 1u);
    EXPECT_EQ(second.requests()[0].community, "private");
}

TEST_F(SessionTest, AgentGivenAsAHostName) {
    std::unique_ptr<FaultAgent> local;
    try {
        local = std::make_unique<FaultAgent>("127.0.0.1", OtherAddress);
    } catch (const std::runtime_error &e) {
        GTEST_SKIP() << e.what();
    }
    local->setDefault(answer(WireValue::octets("by name")));
    openSession();
    quorrel::engine::library().agent = "localhost";
    EXPECT_EQ(session.SnmpGet(SysName), "by name");
}

// ---- set: the override, the value's conversion and its type on the wire ----

TEST_F(SessionTest, InvalidSetTypeOverrideSendsNothing) {
    openSession();
    for (const std::int16_t override : {2, -1, 98, 100, 32767}) {
        SCOPED_TRACE(override);
        EXPECT_EQ(session.SnmpSet(SysName, std::string("42"), override), InvalidOverride);
    }
    EXPECT_EQ(agent.requestCount(), 0u);
}

TEST_F(SessionTest, ConversionFaultsInsideSetAreReturnedAsText) {
    openSession();
    const std::string mismatch = session.SnmpSet(SysName, std::string("letters"), 1);
    EXPECT_EQ(mismatch.rfind("[Vantobe.SnmpV1.SnmpSet][13]=Type mismatch", 0), 0u) << mismatch;
    EXPECT_EQ(session.SnmpSet(SysName, 3e9, 1), "[Vantobe.SnmpV1.SnmpSet][6]=Overflow");
    EXPECT_EQ(agent.requestCount(), 0u);
}

TEST_F(SessionTest, NumbersOutsideThe32BitRangeOverflowAndSendNothing) {
    openSession();
    const std::pair<Variant, std::int16_t> cases[] = {
        {2147483648.0, 99}, {-2147483649.0, 99}, {std::string("-2147483649"), 99},
        {std::string("1e10"), 99}, {3e9, 0}, {2147483647.5, 99},
    };
    for (const auto &[value, override] : cases) {
        SCOPED_TRACE(quorrel::toText(value));
        EXPECT_EQ(session.SnmpSet(SysName, value, override), Overflow);
    }
    EXPECT_EQ(agent.requestCount(), 0u);
}

TEST_F(SessionTest, SetValuesGoOutAsIntegerWhenTheyReadAsNumbersElseAsWindows1252Text) {
    struct Case {
        Variant value;
        std::int16_t override;
        WireValue wire;
    };
    const Case cases[] = {
        {42.0, 99, WireValue::integer(42)},
        {std::string("42"), 0, WireValue::integer(42)},
        {42.0, 0, WireValue::integer(42)},
        {std::string("300"), 0, WireValue::integer(300)},
        {std::string("Room 12"), 99, WireValue::octets("Room 12")},
        {std::string("Room 12"), 0, WireValue::octets("Room 12")},
        {12.5, 99, WireValue::integer(12)},
        {13.5, 99, WireValue::integer(14)},
        {-2.5, 99, WireValue::integer(-2)},
        {std::string("13.5"), 99, WireValue::integer(14)},
        {std::string("12.5"), 1, WireValue::integer(12)},
        {std::string(" -7 "), 99, WireValue::integer(-7)},
        {std::string("1e3"), 99, WireValue::integer(1000)},
        {2147483647.0, 99, WireValue::integer(2147483647)},
        {-2147483648.0, 1, WireValue::integer(-2147483648LL)},
        {std::string("Müller €"), 99, WireValue::octets("M\xfcller \x80")},
        {std::string("Ω"), 99, WireValue::octets("?")},
        {std::string(), 0, WireValue::octets("")},
    };
    openSession();
    agent.setDefault(meterlane::test::Step{{meterlane::test::Reply{}}}); // echo the value set
    for (const auto &c : cases) {
        SCOPED_TRACE(quorrel::toText(c.value) + " override " + std::to_string(c.override));
        agent.clearRequests();
        const std::string result = session.SnmpSet("1.3.6.1.2.1.43.5.1.1.16.1", c.value, c.override);
        const auto seen = agent.requests();
        ASSERT_EQ(seen.size(), 1u) << result;
        EXPECT_EQ(seen[0].pduType, 0xA3);
        EXPECT_EQ(seen[0].oid, "1.3.6.1.2.1.43.5.1.1.16.1");
        EXPECT_EQ(seen[0].value, c.wire);
        if (c.wire.tag == 0x02) {
            EXPECT_EQ(result, std::to_string(c.wire.asInteger()));
        }
    }
}

// ---- requests that fail before anything is sent ----

TEST_F(SessionTest, MalformedOidTextsAreRefusedBeforeSending) {
    std::string tooLong = "1.3";
    for (int i = 2; i < 129; ++i) tooLong += ".1";
    const std::string cases[] = {"1.3.6.1.2.1.1.a", "abc", "", "1..3", "1.3.", ".1.3", " 1.3.6", "1.3.-6",
                                 "3.1", "1.40", "1.3.6.1.4294967296", tooLong};
    openSession();
    for (const auto &text : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(session.SnmpGet(text), BadOid);
    }
    EXPECT_EQ(agent.requestCount(), 0u);

    const std::string longest = tooLong.substr(0, tooLong.size() - 2); // 128 parts still go out
    EXPECT_EQ(session.SnmpGet(longest), "echo");
    ASSERT_EQ(agent.requestCount(), 1u);
    EXPECT_EQ(agent.requests()[0].oid, longest);
}

TEST_F(SessionTest, UnresolvableAgentGivesUnknownTargetAndKeepsTheLastReplyOid) {
    openSession();
    agent.script(answer("1.3.6.1.2.1.1.6.0", WireValue::octets("room")));
    std::string oid = SysName;
    ASSERT_EQ(session.SnmpGetNext(oid), "room");
    agent.clearRequests();
    for (const char *target : {"printer.invalid", "not a host", ""}) {
        SCOPED_TRACE(target);
        quorrel::engine::library().agent = target;
        oid = SysName;
        EXPECT_EQ(session.SnmpGetNext(oid), UnknownTarget);
        EXPECT_EQ(oid, "1.3.6.1.2.1.1.6.0");
    }
    EXPECT_EQ(agent.requestCount(), 0u);
}

TEST_F(SessionTest, CommunitiesOutsideWindows1252OrItsLimitsAreRefused) {
    openSession();
    for (const std::string &community : {std::string("Ω"), std::string("pub\xffl"), std::string(), std::string(256, 'c')}) {
        SCOPED_TRACE(community);
        quorrel::engine::library().commStr = community;
        EXPECT_EQ(session.SnmpGet(SysName), BadCommunity);
    }
    EXPECT_EQ(agent.requestCount(), 0u);
}

TEST_F(SessionTest, CommunityGoesOnTheWireInWindows1252) {
    const std::pair<std::string, std::string> cases[] = {
        {"pübl", "\x70\xfc\x62\x6c"},
        {"€uro", "\x80uro"},
        {std::string(255, 'c'), std::string(255, 'c')},
    };
    openSession();
    for (const auto &[community, octets] : cases) {
        SCOPED_TRACE(community);
        agent.clearRequests();
        quorrel::engine::library().commStr = community;
        EXPECT_EQ(session.SnmpGet(SysName), "echo");
        ASSERT_EQ(agent.requestCount(), 1u);
        EXPECT_EQ(agent.requests()[0].community, octets);
    }
}

} // namespace
