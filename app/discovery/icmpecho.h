// ICMP echo packets: the request the pinger sends and the reading of what arrives on its socket.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace discovery {

// The IPv4 address (host byte order) of a text of exactly four dotted decimal parts 0-255; nothing for any other
// text. A text without such an address is never sent a packet: no name lookup, no broadcast stand-in.
std::optional<quint32> dottedAddress(const QString &text);

// An echo request (type 8, code 0) with identifier, sequence and payload, its checksum filled in.
QByteArray echoRequest(quint16 identifier, quint16 sequence, QByteArrayView payload);

struct EchoReplyIds {
    quint16 identifier = 0;
    quint16 sequence = 0;
};

// The identifier and sequence of an echo reply (type 0, code 0) whose checksum is right. packet begins with its
// IPv4 header when withIpHeader (as a raw socket receives it), else with the ICMP header (a datagram ICMP socket).
// Nothing for anything else: other types, short or inconsistent headers, a wrong checksum. Safe on any bytes.
std::optional<EchoReplyIds> readEchoReply(QByteArrayView packet, bool withIpHeader);

} // namespace discovery
