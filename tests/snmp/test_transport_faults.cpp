// SnmpV1 against an agent that misbehaves on the wire: silence, error statuses, late, duplicate, forged and broken
// replies, and values of every syntax as they are rendered to text.
#include "snmpv1.h"
#include "support/faultagent.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using meterlane::test::answer;
using meterlane::test::FaultAgent;
using meterlane::test::Reply;
using meterlane::test::silence;
using meterlane::test::Source;
using meterlane::test::Step;
using meterlane::test::TransportSettings;
using meterlane::test::WireValue;
using namespace std::chrono_literals;

constexpr const char *FaultAgentAddress = "127.0.0.31";
constexpr const char *FaultOtherAddress = "127.0.0.32";
constexpr const char *SecondFaultAgentAddress = "127.0.0.33";

const std::string BindingError = "[Vantobe.Mod.SnmpResponseProcess][AP05]=Error during VariableBind parsing";

std::string timedOut(std::int32_t requestId) {
    return "[Vantobe.Mod.SnmpAgentResponse][AP19]=Request ID " + std::to_string(requestId) +
           " has encountered an error";
}

class TransportFaults : public ::testing::Test {
protected:
    void SetUp() override {
        auto &values = quorrel::engine::library();
        values.agent = FaultAgentAddress;
        values.commStr = "public";
        values.lastReplyOid.clear();
        reopen(200, 1);
    }

    void TearDown() override {
        quorrel::engine::setEventPump(nullptr, nullptr);
        session.SnmpMgrClose();
    }

    // The transport takes its time-out and retries from the environment when a session opens.
    void reopen(int timeoutMs, int retries) {
        session.SnmpMgrClose();
        TransportSettings::set(timeoutMs, retries);
        ASSERT_EQ(session.SnmpMgrOpen(), "Successful");
    }

    // A get-next whose reply sets the library's last reply OID to a known value.
    void primeLastReplyOid(const std::string &oid) {
        agent.script(answer(oid, WireValue::integer(1)));
        std::string next = "1.3.6.1";
        ASSERT_EQ(session.SnmpGetNext(next), "1");
        ASSERT_EQ(next, oid);
        agent.clearRequests();
    }

    TransportSettings settings;
    FaultAgent agent{FaultAgentAddress, FaultOtherAddress};
    quorrel::SnmpV1 session;
};

TEST_F(TransportFaults, SilentAgentTimesOutAfterEveryRetransmissionAndClearsTheReplyOid) {
    reopen(150, 2);
    primeLastReplyOid("1.3.6.1.2.1.1.5.0");
    agent.setDefault(silence());

    std::string oid = "1.3.6.1.2.1.1.5.0";
    const std::string result = session.SnmpGetNext(oid);

    const auto seen = agent.requests();
    ASSERT_EQ(seen.size(), 3u); // the first try and two retransmissions
    for (const auto &request : seen) EXPECT_EQ(request.datagram, seen[0].datagram);
    EXPECT_EQ(result, timedOut(seen[0].requestId));
    EXPECT_EQ(oid, "");
}

TEST_F(TransportFaults, NoRetransmissionWhenRetriesAreZero) {
    reopen(150, 0);
    agent.setDefault(silence());
    const std::string result = session.SnmpGet("1.3.6.1.2.1.1.1.0");
    ASSERT_EQ(agent.requestCount(), 1u);
    EXPECT_EQ(result, timedOut(agent.requests()[0].requestId));
}

TEST_F(TransportFaults, AnswerToARetransmissionIsTaken) {
    agent.script(silence());
    agent.script(answer(WireValue::octets("second try")));
    EXPECT_EQ(session.SnmpGet("1.3.6.1.2.1.1.1.0"), "second try");
    EXPECT_EQ(agent.requestCount(), 2u);
}

TEST_F(TransportFaults, ErrorStatusGivesTheAgentProcessMessageAndKeepsTheReplyOid) {
    struct Case {
        std::int32_t status, index;
        std::string expected;
    };
    const Case cases[] = {
        {2, 1, "[Vantobe.Mod.SnmpResponseProcess][AP02C1]=Error encountered during Agent Process"},
        {5, 0, "[Vantobe.Mod.SnmpResponseProcess][AP05C0]=Error encountered during Agent Process"},
        {1, 12, "[Vantobe.Mod.SnmpResponseProcess][AP01C12]=Error encountered during Agent Process"},
    };
    primeLastReplyOid("1.3.6.1.2.1.43.5.1.1.17.1");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.expected);
        agent.script(Step{{Reply{.value = WireValue::null(), .errorStatus = c.status, .errorIndex = c.index}}});
        std::string oid = "1.3.6.1.2.1.99";
        EXPECT_EQ(session.SnmpGetNext(oid), c.expected);
        EXPECT_EQ(oid, "1.3.6.1.2.1.43.5.1.1.17.1");
    }
}

// ---- datagrams that must never be taken as the answer ----

struct Stray {
    const char *name;
    Reply reply;
};

void PrintTo(const Stray &stray, std::ostream *out) { *out << stray.name; }

const WireValue Junk = WireValue::octets("junk");

std::vector<Stray> strays() {
    return {
        {"WrongIdAbove", Reply{.value = Junk, .idOffset = 1}},
        {"WrongIdBelow", Reply{.value = Junk, .idOffset = -1}},
        {"FromOtherAddress", Reply{.value = Junk, .from = Source::OtherAddress}},
        {"FromOtherPort", Reply{.value = Junk, .from = Source::OtherPort}},
        {"TruncatedByOneByte", Reply{.value = Junk, .truncateBy = 1}},
        {"TruncatedToHalf", Reply{.value = Junk, .truncateBy = 16}},
        {"Garbage", Reply{.raw = std::string("\xde\xad\xbe\xef\x00\x01\x02\x30\x82\xff\xff", 11)}},
        {"EmptyDatagram", Reply{.raw = std::string()}},
        {"VersionTwoC", Reply{.value = Junk, .version = 1}},
        {"VersionThree", Reply{.value = Junk, .version = 3}},
        {"GetRequestPdu", Reply{.value = Junk, .pduType = 0xA0}},
        {"SetRequestPdu", Reply{.value = Junk, .pduType = 0xA3}},
        {"ReportPdu", Reply{.value = Junk, .pduType = 0xA8}},
    };
}

class StrayReplies : public TransportFaults, public ::testing::WithParamInterface<Stray> {};

TEST_P(StrayReplies, AreSkippedForTheRightAnswerThatFollows) {
    agent.script(Step{{GetParam().reply, Reply{.value = WireValue::octets("right")}}});
    EXPECT_EQ(session.SnmpGet("1.3.6.1.2.1.1.1.0"), "right");
    EXPECT_EQ(agent.requestCount(), 1u);
}

TEST_P(StrayReplies, AloneEndInTheTimeOut) {
    reopen(200, 0);
    agent.script(Step{{GetParam().reply}});
    const std::string result = session.SnmpGet("1.3.6.1.2.1.1.1.0");
    ASSERT_EQ(agent.requestCount(), 1u);
    EXPECT_EQ(result, timedOut(agent.requests()[0].requestId));
}

INSTANTIATE_TEST_SUITE_P(Datagrams, StrayReplies, ::testing::ValuesIn(strays()),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(TransportFaults, LateReplyToAnEarlierRequestIsNotTakenForTheNextOne) {
    reopen(200, 0);
    agent.script(Step{{Reply{.value = WireValue::octets("stale"), .holdUntilNextRequest = true}}});
    agent.script(answer(WireValue::octets("fresh")));

    const std::string first = session.SnmpGet("1.3.6.1.2.1.1.1.0");
    const std::string second = session.SnmpGet("1.3.6.1.2.1.1.1.0");

    const auto seen = agent.requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_NE(seen[0].requestId, seen[1].requestId);
    EXPECT_EQ(first, timedOut(seen[0].requestId));
    EXPECT_EQ(second, "fresh");
}

TEST_F(TransportFaults, DuplicateRepliesAreTakenOnce) {
    const Reply one{.value = WireValue::octets("one")};
    Reply lateOne = one;
    lateOne.holdUntilNextRequest = true;
    agent.script(Step{{one, one, lateOne}});
    agent.script(Step{{Reply{.value = WireValue::octets("two")}, one}});
    agent.script(answer(WireValue::octets("three")));

    EXPECT_EQ(session.SnmpGet("1.3.6.1.2.1.1.1.0"), "one");
    EXPECT_EQ(session.SnmpGet("1.3.6.1.2.1.1.1.0"), "two");
    EXPECT_EQ(session.SnmpGet("1.3.6.1.2.1.1.1.0"), "three");
}

TEST_F(TransportFaults, UnreadableBindingsGiveTheBindingParseMessage) {
    const std::pair<const char *, Reply> cases[] = {
        {"empty binding list", Reply{.noBindings = true}},
        {"unknown application tag", Reply{.value = WireValue::raw(0x47, "\x01\x02")}},
        {"NsapAddress", Reply{.value = WireValue::raw(0x45, "\x01")}},
        {"INTEGER wider than 32 bits", Reply{.value = WireValue::raw(0x02, "\x01\x02\x03\x04\x05")}},
        {"INTEGER 2^31 with the zero byte it needs",
         Reply{.value = WireValue::raw(0x02, std::string("\x00\x80\x00\x00\x00", 5))}},
        {"INTEGER without content", Reply{.value = WireValue::raw(0x02, "")}},
        {"Counter32 wider than 32 bits", Reply{.value = WireValue::raw(0x41, std::string("\x01\x00\x00\x00\x00", 5))}},
        {"unfinished OID value", Reply{.value = WireValue::raw(0x06, "\x2b\x86")}},
    };
    primeLastReplyOid("1.3.6.1.2.1.1.3.0");
    for (const auto &[name, reply] : cases) {
        SCOPED_TRACE(name);
        agent.script(Step{{reply}});
        std::string oid = "1.3.6.1.2.1.1.4";
        EXPECT_EQ(session.SnmpGetNext(oid), BindingError);
        EXPECT_EQ(oid, "1.3.6.1.2.1.1.3.0");
    }
}

// ---- values of every syntax, through the wire ----

struct Rendering {
    const char *name;
    WireValue value;
    std::string text;
};

TEST_F(TransportFaults, ValuesRenderByTheirSyntaxAndGetNextReturnsTheBindingOid) {
    const Rendering cases[] = {
        {"negative INTEGER", WireValue::integer(-5), "-5"},
        {"largest INTEGER", WireValue::integer(2147483647), "2147483647"},
        {"smallest INTEGER", WireValue::integer(-2147483648LL), "-2147483648"},
        {"INTEGER with a padding byte", WireValue::raw(0x02, std::string("\x00\xff", 2)), "255"},
        {"INTEGER sign-extended by FF", WireValue::raw(0x02, std::string("\xff\x80\x00\x00\x00", 5)),
         "-2147483648"},
        {"INTEGER padded by zero bytes", WireValue::raw(0x02, std::string("\x00\x00\x7f\xff\xff\xff", 6)), "2147483647"},
        {"Counter32 padded by zero bytes", WireValue::raw(0x41, std::string("\x00\x00\xff\xff\xff\xff", 6)), "-1"},
        {"Counter32 all ones", WireValue::counter32(0xFFFFFFFFu), "-1"},
        {"Gauge32 above 2^31", WireValue::gauge32(3000000000u), "-1294967296"},
        {"TimeTicks", WireValue::timeTicks(8640000), "8640000"},
        {"IpAddress", WireValue::ipAddress(127, 0, 0, 1), "4"},
        {"Opaque of two bytes", WireValue::opaque("\x9f\x78"), "2"},
        {"Counter64 high word", WireValue::counter64(0x0000000500000001ULL), "5"},
        {"Counter64 high word negative", WireValue::counter64(0xFFFFFFFF00000000ULL), "-1"},
        {"OBJECT IDENTIFIER", WireValue::oid("1.3.6.1.4.1.367"), "1.3.6.1.4.1.367"},
        {"OID with large sub-identifiers", WireValue::oid("1.3.6.1.4.1.4294967295.128"), "1.3.6.1.4.1.4294967295.128"},
        {"leading zero byte as hexadecimal", WireValue::octets(std::string("\x00\x00\x5e\x00\x01\x0a", 6)),
         "00005E001A"},
        {"leading zero then high bytes", WireValue::octets(std::string("\x00\x1b\x0a\xff", 4)), "001BAFF"},
        {"embedded zero kept", WireValue::octets(std::string("AB\0CD", 5)), std::string("AB\0CD", 5)},
        {"empty OCTET STRING", WireValue::octets(""), ""},
        {"Windows-1252 bytes", WireValue::octets("M\xfcller \x80"), "Müller €"},
        {"long OCTET STRING", WireValue::octets(std::string(1000, 'x')), std::string(1000, 'x')},
        {"NULL", WireValue::null(), "0"},
        {"noSuchObject", WireValue::raw(0x80), "0"},
        {"noSuchInstance", WireValue::raw(0x81), "0"},
        {"endOfMibView", WireValue::raw(0x82), "0"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        agent.script(answer("1.3.6.1.2.1.25.3.2.1.3.1", c.value));
        std::string oid = "1.3.6.1.2.1.25.3.2.1.3";
        EXPECT_EQ(session.SnmpGetNext(oid), c.text);
        EXPECT_EQ(oid, "1.3.6.1.2.1.25.3.2.1.3.1");
    }
}

TEST_F(TransportFaults, WalkGoesOnPastAnEmptyString) {
    agent.script(answer("1.3.6.1.2.1.1.4.0", WireValue::octets("")));
    agent.script(answer("1.3.6.1.2.1.1.5.0", WireValue::octets("printer")));
    std::string oid = "1.3.6.1.2.1.1.3.0";
    EXPECT_EQ(session.SnmpGetNext(oid), "");
    EXPECT_EQ(session.SnmpGetNext(oid), "printer");
    const auto seen = agent.requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].oid, "1.3.6.1.2.1.1.4.0");
    EXPECT_EQ(oid, "1.3.6.1.2.1.1.5.0");
}

TEST_F(TransportFaults, WalkInVersion2cGoesOnByGetBulkWithFewerRepetitionsAfterEachTimeOut) {
    reopen(150, 0);
    session.setVersion(std::string("2c"));
    agent.script(answer("1.3.6.1.2.1.1.2.0", WireValue::integer(2)));
    agent.script(silence());
    agent.script(silence());
    agent.script(answer("1.3.6.1.2.1.1.3.0", WireValue::integer(3)));
    agent.script(answer("1.3.6.1.2.1.1.4.0", WireValue::integer(4)));
    std::string oid = "1.3.6.1.2.1.1.1.0";
    EXPECT_EQ(session.SnmpGetNext(oid), "2");
    EXPECT_EQ(session.SnmpGetNext(oid), "3");
    EXPECT_EQ(session.SnmpGetNext(oid), "4");
    EXPECT_EQ(oid, "1.3.6.1.2.1.1.4.0");
    const auto seen = agent.requests();
    ASSERT_EQ(seen.size(), 5u);
    const struct {
        std::uint8_t type;
        std::int32_t repetitions;
        const char *oid;
    } expected[] = {{0xA1, 0, "1.3.6.1.2.1.1.1.0"}, {0xA5, 10, "1.3.6.1.2.1.1.2.0"}, {0xA5, 5, "1.3.6.1.2.1.1.2.0"},
                    {0xA5, 2, "1.3.6.1.2.1.1.2.0"}, {0xA5, 2, "1.3.6.1.2.1.1.3.0"}};
    for (std::size_t i = 0; i < seen.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(seen[i].version, 1);
        EXPECT_EQ(seen[i].pduType, expected[i].type);
        EXPECT_EQ(seen[i].errorStatus, 0); // non-repeaters
        EXPECT_EQ(seen[i].errorIndex, expected[i].repetitions);
        EXPECT_EQ(seen[i].oid, expected[i].oid);
    }

    // A session that asks for more at a time: its next walk's GetBulk asks for them.
    EXPECT_THROW(session.setBulkRepetitions(101.0), std::exception);
    session.setBulkRepetitions(64.0);
    agent.clearRequests();
    agent.script(answer("1.3.6.1.2.1.1.2.0", WireValue::integer(2)));
    agent.script(answer("1.3.6.1.2.1.1.3.0", WireValue::integer(3)));
    oid = "1.3.6.1.2.1.1.1.0";
    session.SnmpGetNext(oid);
    session.SnmpGetNext(oid);
    const auto bulk = agent.requests();
    ASSERT_EQ(bulk.size(), 2u);
    EXPECT_EQ(bulk[1].pduType, 0xA5);
    EXPECT_EQ(bulk[1].errorIndex, 64);
}

// ---- a request started from the event pump while another waits ----

struct NestedRun {
    quorrel::SnmpV1 *sameObject = nullptr; // null: a new object on the second agent
    int calls = 0;
    std::string opened, result;
};

void nestedGet(void *context) {
    auto &run = *static_cast<NestedRun *>(context);
    if (run.calls++ > 0) return;
    if (run.sameObject) {
        run.opened = "Successful";
        run.result = run.sameObject->SnmpGet("1.3.6.1.2.1.1.5.0");
        return;
    }
    auto &values = quorrel::engine::library();
    const std::string agent = values.agent;
    values.agent = SecondFaultAgentAddress;
    quorrel::SnmpV1 inner;
    run.opened = inner.SnmpMgrOpen();
    run.result = inner.SnmpGet("1.3.6.1.2.1.1.5.0");
    inner.SnmpMgrClose();
    values.agent = agent;
}

TEST_F(TransportFaults, RequestFromTheEventPumpDoesNotTakeTheWaitingRequestsAnswer) {
    struct Case {
        std::chrono::milliseconds outerDelay, innerDelay;
        bool sameObject;
    };
    // The outer reply comes after the inner request is done, or while it still waits; on another session or on
    // the waiting one.
    const Case cases[] = {{300ms, 0ms, false}, {150ms, 400ms, false}, {300ms, 0ms, true}, {150ms, 400ms, true}};
    reopen(3000, 0);
    FaultAgent second{SecondFaultAgentAddress, FaultOtherAddress};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.outerDelay.count() << "/" << c.innerDelay.count() << " same object "
                                        << c.sameObject);
        agent.clearRequests();
        second.clearRequests();
        FaultAgent &innerAgent = c.sameObject ? agent : second;
        agent.script(Step{{Reply{.value = WireValue::octets("alpha"), .oid = "1.3.6.1.2.1.1.1.0"}}, c.outerDelay});
        innerAgent.script(Step{{Reply{.value = WireValue::octets("bravo")}}, c.innerDelay});
        NestedRun run;
        run.sameObject = c.sameObject ? &session : nullptr;
        quorrel::engine::setEventPump(nestedGet, &run);

        std::string oid = "1.3.6.1.2.1.1";
        EXPECT_EQ(session.SnmpGetNext(oid), "alpha");
        quorrel::engine::setEventPump(nullptr, nullptr);

        EXPECT_GE(run.calls, 1);
        EXPECT_EQ(run.opened, "Successful");
        EXPECT_EQ(run.result, "bravo");
        EXPECT_EQ(oid, "1.3.6.1.2.1.1.1.0"); // the outer reply was decoded last
        const auto seen = innerAgent.requests();
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.back().oid, "1.3.6.1.2.1.1.5.0");
        EXPECT_EQ(agent.requestCount() + second.requestCount(), 2u);
    }
}

// A modal box opened from the event pump: the first call keeps the wait away from the socket for longer than the
// whole time-out.
void blockOnce(void *calls) {
    if ((*static_cast<int *>(calls))++ == 0) std::this_thread::sleep_for(1s);
}

TEST_F(TransportFaults, ReplyThatArrivedWhileThePumpRanPastTheLastDeadlineIsTaken) {
    reopen(300, 0);
    agent.script(Step{{Reply{.value = WireValue::octets("meanwhile")}}, 200ms}); // after the pump's first call
    int calls = 0;
    quorrel::engine::setEventPump(blockOnce, &calls);
    EXPECT_EQ(session.SnmpGet("1.3.6.1.2.1.1.1.0"), "meanwhile");
    EXPECT_GE(calls, 1);
    EXPECT_EQ(agent.requestCount(), 1u);
}

// The host may close the object from an event handler while a request waits (a window closing mid-read). No
// completion can come for a closed session, so the wait must end by itself. Run in a child process with an
// alarm, so that a wait that never ends fails the test instead of hanging the suite.
void closeSession(void *object) { static_cast<quorrel::SnmpV1 *>(object)->SnmpMgrClose(); }

// Exits 0 when the request returns a message after its session was closed from the event pump.
[[noreturn]] void getWhileThePumpClosesTheSession() {
    alarm(5);
    TransportSettings::set(300, 0);
    FaultAgent agent{FaultAgentAddress, FaultOtherAddress};
    agent.setDefault(silence());
    auto &values = quorrel::engine::library();
    values.agent = FaultAgentAddress;
    values.commStr = "public";
    quorrel::SnmpV1 object;
    if (object.SnmpMgrOpen() != "Successful") std::_Exit(2);
    quorrel::engine::setEventPump(closeSession, &object);
    const std::string result = object.SnmpGet("1.3.6.1.2.1.1.1.0");
    std::_Exit(result.rfind("[Vantobe.Mod.", 0) == 0 ? 0 : 3);
}

TEST(TransportFaultsDeathTest, ClosingTheSessionFromTheEventPumpEndsTheWait) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(getWhileThePumpClosesTheSession(), ::testing::ExitedWithCode(0), "");
}

} // namespace
