#include "engine.h"

#include <gtest/gtest.h>

using namespace quorrel;

namespace {

ber::Value value(std::uint8_t syntax, std::int64_t number = 0, std::string octets = {}) {
    ber::Value v;
    v.syntax = syntax;
    v.number = number;
    v.octets = std::move(octets);
    return v;
}

} // namespace

TEST(Render, StringsAreTextUnlessTheirFirstByteIsZero) {
    EXPECT_EQ(engine::renderValue(ber::Value::octetString("RICOH MP C3003")), "RICOH MP C3003");
    EXPECT_EQ(engine::renderValue(ber::Value::octetString(std::string("ab\0cd", 5))), std::string("ab\0cd", 5));
    EXPECT_EQ(engine::renderValue(ber::Value::octetString("\xA7\x80")), "\u00A7\u20AC");
    EXPECT_EQ(engine::renderValue(ber::Value::octetString(std::string("\0\x1B\x0A\xFF", 4))), "001BAFF");
    EXPECT_EQ(engine::renderValue(ber::Value::octetString(std::string("\0\0\x5E\0\x01\x0A", 6))), "00005E001A");
    EXPECT_EQ(engine::renderValue(ber::Value::octetString(std::string("\0", 1))), "00");
}

// OctetsAsHex: the exact bytes, which the text above loses (00 01 08 and 00 18 both read 0018); other values as ever.
TEST(Render, OctetsAsHexGiveEveryByte) {
    engine::Options exact;
    exact.octetsAsHex = true;
    EXPECT_EQ(engine::renderValue(ber::Value::octetString(std::string("\0\x01\x08", 3)), exact), "0x000108");
    EXPECT_EQ(engine::renderValue(ber::Value::octetString(std::string("\0\x18", 2)), exact), "0x0018");
    EXPECT_EQ(engine::renderValue(ber::Value::octetString("Ab\xFF"), exact), "0x4162FF");
    EXPECT_EQ(engine::renderValue(ber::Value::octetString(""), exact), "0x");
    EXPECT_EQ(engine::renderValue(value(ber::Integer, 1234), exact), "1234");
}

TEST(Render, NumbersAreTheirFirstWordSigned) {
    EXPECT_EQ(engine::renderValue(value(ber::Integer, -5)), "-5");
    EXPECT_EQ(engine::renderValue(value(ber::TimeTicks, 123456)), "123456");
    EXPECT_EQ(engine::renderValue(value(ber::Counter32, 4294967295)), "-1");
    EXPECT_EQ(engine::renderValue(value(ber::Gauge32, 2147483648)), "-2147483648");
    EXPECT_EQ(engine::renderValue(value(ber::IpAddress, 0, std::string("\x7F\0\0\x01", 4))), "4");
    EXPECT_EQ(engine::renderValue(value(ber::Opaque, 0, "ab")), "2");
    EXPECT_EQ(engine::renderValue(value(ber::Null)), "0");
    ber::Value big = value(ber::Counter64);
    big.counter64 = 0xFFFFFFFF00000001ull;
    EXPECT_EQ(engine::renderValue(big), "-1");
    big.counter64 = 0x0000000500000001ull;
    EXPECT_EQ(engine::renderValue(big), "5");
}

TEST(Render, ObjectIdentifiersAreDottedText) {
    ber::Value oid = value(ber::ObjectId);
    oid.oid = {1, 3, 6, 1, 4, 1, 367};
    EXPECT_EQ(engine::renderValue(oid), "1.3.6.1.4.1.367");
}
