// Echo packets as the pinger builds and reads them, the addresses it will send to, and the console's rule for a
// Set value with "Integer" checked.
#include "discovery/console.h"
#include "discovery/icmpecho.h"
#include "platform/fault.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using discovery::dottedAddress;
using discovery::readEchoReply;

// The request turned into the reply an agent sends: type 0, checksum adjusted.
QByteArray replyTo(QByteArray request) {
    request[0] = 0;
    const quint32 sum = ((quint8(request[2]) << 8) | quint8(request[3])) + 0x0800;
    const quint16 folded = static_cast<quint16>((sum & 0xFFFF) + (sum >> 16));
    request[2] = static_cast<char>(folded >> 8);
    request[3] = static_cast<char>(folded);
    return request;
}

QByteArray withIpHeader(const QByteArray &icmp, quint8 versionAndLength = 0x45, quint8 protocol = 1) {
    QByteArray header(20, '\0');
    header[0] = static_cast<char>(versionAndLength);
    header[9] = static_cast<char>(protocol);
    return header + QByteArray((versionAndLength & 0x0F) * 4 - 20, '\0') + icmp;
}

TEST(EchoPacket, RequestHasItsNumbersAndChecksum) {
    EXPECT_EQ(discovery::echoRequest(0x1234, 7, "XXXXXXXX"),
              QByteArray("\x08\x00\x84\x63\x12\x34\x00\x07XXXXXXXX", 16));
    EXPECT_EQ(discovery::echoRequest(0xFFFF, 0xFFFF, "PINGDATAMESSAGE").size(), 8 + 15);
}

TEST(EchoPacket, ReplyIsReadOnlyWhenWholeAndRight) {
    for (const QByteArray &payload : {QByteArray("PINGDATAMESSAGE"), QByteArray("even"), QByteArray()}) {
        const QByteArray reply = replyTo(discovery::echoRequest(0xBEEF, 0x0102, payload));
        for (const QByteArray &packet : {reply, withIpHeader(reply), withIpHeader(reply, 0x46)}) {
            const bool raw = packet.size() > reply.size();
            const auto ids = readEchoReply(packet, raw);
            ASSERT_TRUE(ids) << payload.constData();
            EXPECT_EQ(ids->identifier, 0xBEEF);
            EXPECT_EQ(ids->sequence, 0x0102);
        }
    }
    const QByteArray reply = replyTo(discovery::echoRequest(1, 2, "PINGDATAMESSAGE"));
    QByteArray corrupted = reply;
    corrupted[10] = 'X';
    QByteArray otherCode = reply;
    otherCode[1] = 1;
    const QByteArray refused[] = {
        discovery::echoRequest(1, 2, "PINGDATAMESSAGE"), // a request, not a reply
        corrupted, otherCode, reply.left(7), QByteArray(),
    };
    for (const QByteArray &packet : refused) {
        EXPECT_FALSE(readEchoReply(packet, false)) << packet.toHex().constData();
        EXPECT_FALSE(readEchoReply(withIpHeader(packet), true)) << packet.toHex().constData();
    }
    EXPECT_FALSE(readEchoReply(reply, true)) << "no IP header";
    EXPECT_FALSE(readEchoReply(withIpHeader(reply, 0x65), true)) << "IP version 6";
    EXPECT_FALSE(readEchoReply(withIpHeader(reply, 0x45, 17), true)) << "UDP";
    QByteArray shortHeader = withIpHeader(reply);
    shortHeader[0] = 0x44;
    EXPECT_FALSE(readEchoReply(shortHeader, true));
    QByteArray longHeader = withIpHeader(reply);
    longHeader[0] = 0x4F; // 60 bytes of header in a 43-byte packet
    EXPECT_FALSE(readEchoReply(longHeader, true));
}

TEST(EchoPacket, OnlyDottedIpv4AddressesAreSentTo) {
    EXPECT_EQ(dottedAddress(QStringLiteral("127.0.0.1")), 0x7F000001u);
    EXPECT_EQ(dottedAddress(QStringLiteral("198.18.0.254")), 0xC61200FEu);
    EXPECT_EQ(dottedAddress(QStringLiteral("0.0.0.0")), 0u);
    for (const QString &text : {QStringLiteral("127.0.0.256"), QStringLiteral("127.0.0.300"), QStringLiteral("127.0.0"),
                                QStringLiteral("127.0.0.1.5"), QStringLiteral("127.1"), QStringLiteral("0x7f.0.0.1"),
                                QStringLiteral("127.000.0.1"), QStringLiteral(" 127.0.0.1"), QStringLiteral("127.0.0.1 "),
                                QStringLiteral("127.0.0.-1"), QStringLiteral("localhost"), QStringLiteral(""),
                                QStringLiteral("-c"), QString::fromUtf8("١٢٧.0.0.1"),
                                QStringLiteral("127.0.0.1") + QChar(0) + QStringLiteral("5")})
        EXPECT_FALSE(dottedAddress(text)) << text.toStdString();
}

TEST(ConsoleSetValue, NumericTextsBecomeWholeNumbers) {
    const std::pair<const char *, std::optional<qint32>> cases[] = {
        {"12", 12},         {" -3 ", -3},   {"\t+7\t", 7}, {"2.5", 2},    {"3.5", 4},       {"-2.5", -2},
        {"1e3", 1000},      {"1E+2", 100},  {".5", 0},     {"5.", 5},     {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},   {"abc", std::nullopt},         {"", std::nullopt},
        {" ", std::nullopt}, {"1,000", std::nullopt}, {"12abc", std::nullopt}, {"0x10", std::nullopt},
        {"1e", std::nullopt}, {".", std::nullopt}, {"+-1", std::nullopt},   {"inf", std::nullopt},
        {"nan", std::nullopt}, {"١٢", std::nullopt},
    };
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(discovery::integerSetValue(QString::fromUtf8(text)), expected) << text;
    for (const char *tooLarge : {"2147483648", "-2147483649", "1e10", "1e400", "-1e400"}) {
        try {
            discovery::integerSetValue(QString::fromUtf8(tooLarge));
            ADD_FAILURE() << tooLarge << " did not overflow";
        } catch (const platform::Fault &fault) {
            EXPECT_EQ(fault.number, 6);
            EXPECT_EQ(fault.description, QStringLiteral("Overflow"));
        }
    }
}

} // namespace
