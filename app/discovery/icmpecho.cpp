#include "icmpecho.h"

#include <arpa/inet.h>

namespace discovery {
namespace {

constexpr int IcmpHeaderSize = 8;
constexpr int MinimalIpHeaderSize = 20;
constexpr quint8 EchoReplyType = 0;
constexpr quint8 EchoRequestType = 8;
constexpr quint8 IcmpProtocol = 1;

quint16 bigEndian16(QByteArrayView bytes, qsizetype at) {
    return static_cast<quint16>((static_cast<quint8>(bytes[at]) << 8) | static_cast<quint8>(bytes[at + 1]));
}

void putBigEndian16(QByteArray &bytes, qsizetype at, quint16 value) {
    bytes[at] = static_cast<char>(value >> 8);
    bytes[at + 1] = static_cast<char>(value & 0xFF);
}

// The Internet checksum: the ones' complement of the ones' complement sum of the 16-bit words (an odd last byte
// padded with zero). Over a packet that holds its own checksum, it is 0 when that checksum is right.
quint16 internetChecksum(QByteArrayView bytes) {
    quint32 sum = 0;
    qsizetype at = 0;
    for (; at + 1 < bytes.size(); at += 2) sum += bigEndian16(bytes, at);
    if (at < bytes.size()) sum += static_cast<quint32>(static_cast<quint8>(bytes[at])) << 8;
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<quint16>(~sum & 0xFFFF);
}

// The ICMP part of a packet received on a raw socket: what follows a well-formed IPv4 header of an ICMP packet.
std::optional<QByteArrayView> icmpPartOf(QByteArrayView packet) {
    if (packet.size() < MinimalIpHeaderSize) return std::nullopt;
    const quint8 versionAndLength = static_cast<quint8>(packet[0]);
    const qsizetype headerSize = (versionAndLength & 0x0F) * 4;
    if (versionAndLength >> 4 != 4 || headerSize < MinimalIpHeaderSize || headerSize > packet.size()) return std::nullopt;
    if (static_cast<quint8>(packet[9]) != IcmpProtocol) return std::nullopt;
    return packet.sliced(headerSize);
}

} // namespace

std::optional<quint32> dottedAddress(const QString &text) {
    const QByteArray latin1 = text.toLatin1(); // other characters become "?", which no address holds
    in_addr address{};
    if (latin1.contains('\0') || inet_pton(AF_INET, latin1.constData(), &address) != 1) return std::nullopt;
    return ntohl(address.s_addr);
}

QByteArray echoRequest(quint16 identifier, quint16 sequence, QByteArrayView payload) {
    QByteArray packet(IcmpHeaderSize, '\0');
    packet[0] = static_cast<char>(EchoRequestType);
    putBigEndian16(packet, 4, identifier);
    putBigEndian16(packet, 6, sequence);
    packet.append(payload);
    putBigEndian16(packet, 2, internetChecksum(packet));
    return packet;
}

std::optional<EchoReplyIds> readEchoReply(QByteArrayView packet, bool withIpHeader) {
    if (withIpHeader) {
        const std::optional<QByteArrayView> icmp = icmpPartOf(packet);
        if (!icmp) return std::nullopt;
        packet = *icmp;
    }
    if (packet.size() < IcmpHeaderSize) return std::nullopt;
    if (static_cast<quint8>(packet[0]) != EchoReplyType || packet[1] != 0) return std::nullopt;
    if (internetChecksum(packet) != 0) return std::nullopt;
    return EchoReplyIds{bigEndian16(packet, 4), bigEndian16(packet, 6)};
}

} // namespace discovery
