#include "ber.h"

#include <gtest/gtest.h>

using namespace quorrel::ber;

namespace {

std::string bytes(std::initializer_list<int> list) {
    std::string out;
    for (int b : list) out.push_back(static_cast<char>(b));
    return out;
}

Message getRequest(const std::string &oid) {
    Message m;
    m.community = "public";
    m.pdu.type = GetRequest;
    m.pdu.requestId = 1;
    m.pdu.bindings.push_back({*parseOid(oid), Value::null()});
    return m;
}

} // namespace

TEST(Ber, EncodesAGetRequestAsAnAgentExpectsIt) {
    const std::string expected = bytes({0x30, 0x26, 0x02, 0x01, 0x00, 0x04, 0x06, 'p', 'u', 'b', 'l', 'i', 'c',
                                        0xA0, 0x19, 0x02, 0x01, 0x01, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x0E,
                                        0x30, 0x0C, 0x06, 0x08, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x01, 0x00, 0x05,
                                        0x00});
    EXPECT_EQ(encode(getRequest("1.3.6.1.2.1.1.1.0")), expected);
}

TEST(Ber, EncodesIntegersInShortestTwosComplement) {
    const auto integerOf = [](std::int32_t n) {
        Message m = getRequest("1.3");
        m.pdu.type = SetRequest;
        m.pdu.bindings[0].value = Value::integer(n);
        return encode(m); // the value is the last thing in the message
    };
    EXPECT_TRUE(integerOf(0).ends_with(bytes({0x02, 0x01, 0x00})));
    EXPECT_TRUE(integerOf(127).ends_with(bytes({0x02, 0x01, 0x7F})));
    EXPECT_TRUE(integerOf(128).ends_with(bytes({0x02, 0x02, 0x00, 0x80})));
    EXPECT_TRUE(integerOf(-1).ends_with(bytes({0x02, 0x01, 0xFF})));
    EXPECT_TRUE(integerOf(-129).ends_with(bytes({0x02, 0x02, 0xFF, 0x7F})));
    EXPECT_TRUE(integerOf(INT32_MIN).ends_with(bytes({0x02, 0x04, 0x80, 0x00, 0x00, 0x00})));
}

TEST(Ber, EveryValueSyntaxSurvivesARoundTrip) {
    std::vector<Value> values;
    values.push_back(Value::integer(-5));
    values.push_back(Value::octetString(std::string("a\0b", 3)));
    values.push_back(Value::octetString(std::string(300, 'x'))); // long-form length
    values.push_back(Value::null());
    Value oid;
    oid.syntax = ObjectId;
    oid.oid = {1, 3, 6, 1, 4, 1, 4294967295u};
    values.push_back(oid);
    for (std::uint8_t syntax : {Counter32, Gauge32, TimeTicks}) {
        Value v;
        v.syntax = syntax;
        v.number = 4294967295;
        values.push_back(v);
    }
    Value c64;
    c64.syntax = Counter64;
    c64.counter64 = 0xFFFFFFFFFFFFFFFFull;
    values.push_back(c64);
    for (std::uint8_t syntax : {IpAddress, Opaque}) {
        Value v;
        v.syntax = syntax;
        v.octets = bytes({127, 0, 0, 1});
        values.push_back(v);
    }
    for (std::uint8_t syntax : {NoSuchObject, NoSuchInstance, EndOfMibView}) {
        Value v;
        v.syntax = syntax;
        values.push_back(v);
    }

    for (const Value &value : values) {
        Message m = getRequest("1.3.6.1.2.1.1.5.0");
        m.pdu.type = GetResponse;
        m.pdu.requestId = -123456;
        m.pdu.errorStatus = 2;
        m.pdu.errorIndex = 1;
        m.pdu.bindings[0].value = value;
        const auto decoded = decode(encode(m));
        ASSERT_TRUE(decoded) << int(value.syntax);
        const Value &got = decoded->pdu.bindings.at(0).value;
        EXPECT_EQ(decoded->pdu.requestId, -123456);
        EXPECT_EQ(decoded->pdu.errorStatus, 2);
        EXPECT_EQ(decoded->pdu.errorIndex, 1);
        EXPECT_EQ(decoded->community, "public");
        EXPECT_EQ(got.syntax, value.syntax);
        EXPECT_TRUE(got.readable);
        EXPECT_EQ(got.number, value.number);
        EXPECT_EQ(got.counter64, value.counter64);
        EXPECT_EQ(got.octets, value.octets);
        EXPECT_EQ(got.oid, value.oid);
    }
}

TEST(Ber, RejectsEveryTruncationAndTrailingBytes) {
    const std::string whole = encode(getRequest("1.3.6.1.2.1.1.1.0"));
    ASSERT_TRUE(decode(whole));
    for (std::size_t n = 0; n < whole.size(); ++n) EXPECT_FALSE(decode(whole.substr(0, n))) << n;
    EXPECT_FALSE(decode(whole + '\0'));
}

TEST(Ber, RejectsHostileStructure) {
    const std::string header = bytes({0x02, 0x01, 0x00, 0x04, 0x01, 'p'});
    const auto message = [&](const std::string &pdu) {
        std::string body = header + pdu;
        return bytes({0x30, static_cast<int>(body.size())}) + body;
    };
    const std::string fields = bytes({0x02, 0x01, 0x01, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00});
    const auto pdu = [&](const std::string &bindings) {
        std::string content = fields + bytes({0x30, static_cast<int>(bindings.size())}) + bindings;
        return bytes({0xA2, static_cast<int>(content.size())}) + content;
    };
    const auto binding = [&](const std::string &oid, const std::string &value) {
        std::string content = bytes({0x06, static_cast<int>(oid.size())}) + oid + value;
        return bytes({0x30, static_cast<int>(content.size())}) + content;
    };
    const std::string goodOid = bytes({0x2B, 0x06});
    ASSERT_TRUE(decode(message(pdu(binding(goodOid, bytes({0x05, 0x00}))))));

    EXPECT_FALSE(decode(bytes({0x30, 0x80, 0x00, 0x00})));                         // indefinite length
    EXPECT_FALSE(decode(bytes({0x30, 0x85, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00}))); // five length bytes
    EXPECT_FALSE(decode(bytes({0x30, 0x84, 0xFF, 0xFF, 0xFF, 0xFF})));             // claims 4 GiB
    EXPECT_FALSE(decode(bytes({0x1F, 0x01, 0x00})));                               // multi-byte tag
    EXPECT_FALSE(decode(message(bytes({0x04, 0x00}))));                            // no PDU
    EXPECT_FALSE(decode(message(pdu(binding(bytes({0x2B, 0x80, 0x01}), bytes({0x05, 0x00}))))));   // padded sub-id
    EXPECT_FALSE(decode(message(pdu(binding(bytes({0x2B, 0x86}), bytes({0x05, 0x00}))))));         // cut sub-id
    EXPECT_FALSE(decode(message(pdu(binding(bytes({0x2B, 0x9F, 0xFF, 0xFF, 0xFF, 0x7F}), bytes({0x05, 0x00}))))));
    EXPECT_FALSE(decode(message(pdu(binding(goodOid, bytes({0x30, 0x00}))))));   // constructed value
    EXPECT_FALSE(decode(message(pdu(binding(goodOid, bytes({0x05, 0x00})) + bytes({0x05, 0x00})))));
    std::string longId = bytes({0x02, 0x05, 0x01, 0x00, 0x00, 0x00, 0x00}); // request id beyond 32 bits
    std::string content = longId + fields.substr(3) + bytes({0x30, 0x00});
    EXPECT_FALSE(decode(message(bytes({0xA2, static_cast<int>(content.size())}) + content)));
}

TEST(Ber, ReadsHeaderIntegersWithBytesThatOnlyRepeatTheSign) {
    // version 0, request id -2, error status 2, error index 1
    const std::string fields = bytes({0x02, 0x05, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0x02, 0x02, 0x00, 0x02,
                                      0x02, 0x03, 0x00, 0x00, 0x01, 0x30, 0x00});
    const std::string body =
        bytes({0x02, 0x02, 0x00, 0x00, 0x04, 0x00, 0xA2, static_cast<int>(fields.size())}) + fields;
    const auto m = decode(bytes({0x30, static_cast<int>(body.size())}) + body);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->version, 0);
    EXPECT_EQ(m->pdu.requestId, -2);
    EXPECT_EQ(m->pdu.errorStatus, 2);
    EXPECT_EQ(m->pdu.errorIndex, 1);
}

TEST(Ber, KeepsWellFormedMessagesWithUnreadableValues) {
    const auto valueOf = [](const std::string &tlv) {
        std::string vb = bytes({0x06, 0x02, 0x2B, 0x06}) + tlv;
        vb = bytes({0x30, static_cast<int>(vb.size())}) + vb;
        std::string content = bytes({0x02, 0x01, 0x07, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30,
                                     static_cast<int>(vb.size())}) + vb;
        std::string body = bytes({0x02, 0x01, 0x00, 0x04, 0x00, 0xA2, static_cast<int>(content.size())}) + content;
        const auto m = decode(bytes({0x30, static_cast<int>(body.size())}) + body);
        EXPECT_TRUE(m);
        return m ? m->pdu.bindings.at(0).value : Value{};
    };
    EXPECT_FALSE(valueOf(bytes({0x02, 0x05, 0x01, 0x00, 0x00, 0x00, 0x00})).readable); // INTEGER over 32 bits
    EXPECT_FALSE(valueOf(bytes({0x02, 0x00})).readable);                               // empty INTEGER
    EXPECT_FALSE(valueOf(bytes({0x41, 0x05, 0x01, 0x00, 0x00, 0x00, 0x00})).readable); // Counter32 over 32 bits
    EXPECT_TRUE(valueOf(bytes({0x41, 0x05, 0x00, 0xFF, 0xFF, 0xFF, 0xFF})).readable);  // with its sign byte
    EXPECT_FALSE(valueOf(bytes({0x05, 0x01, 0x00})).readable);                         // NULL with content
    EXPECT_FALSE(valueOf(bytes({0x47, 0x01, 0x00})).readable);                         // unknown syntax
    EXPECT_FALSE(valueOf(bytes({0x06, 0x01, 0x80})).readable);                         // broken OID value
}

TEST(Ber, ParsesOnlyDottedNumericOids) {
    struct Case {
        const char *text;
        bool valid;
    };
    const Case cases[] = {
        {"1.3.6.1.2.1.1.1.0", true}, {"1", true},        {"2.999.1", true},     {"1.3.4294967295", true},
        {"", false},                 {".1.3", false},    {"1..3", false},       {"1.3.", false},
        {"1.3.a", false},            {"3.1", false},     {"1.40", false},       {"1.3.4294967296", false},
        {"-1.3", false},             {"+1.3", false},    {" 1.3", false},       {"1.3 ", false},
        {"iso.3.6", false},
    };
    for (const Case &c : cases) EXPECT_EQ(parseOid(c.text).has_value(), c.valid) << c.text;

    std::string longest = "1.3";
    for (int i = 2; i < 128; ++i) longest += ".1";
    EXPECT_TRUE(parseOid(longest));
    EXPECT_FALSE(parseOid(longest + ".1"));
    EXPECT_EQ(formatOid(*parseOid("1.3.6.1.4.1.367")), "1.3.6.1.4.1.367");
}
