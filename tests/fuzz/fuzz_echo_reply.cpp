// What arrives on the pinger's ICMP socket (the first byte says whether an IPv4 header comes first, as on a raw
// socket), and address texts: an accepted address reads back as the very text it came from.
#include "discovery/icmpecho.h"

#include <QString>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size) {
    if (size == 0) return 0;
    const QByteArrayView packet(reinterpret_cast<const char *>(data) + 1, static_cast<qsizetype>(size - 1));
    const bool withIpHeader = data[0] & 1;
    const auto reply = discovery::readEchoReply(packet, withIpHeader);
    if (reply && packet.size() < (withIpHeader ? 28 : 8)) std::abort();

    const QString text = QString::fromLatin1(packet);
    if (const auto address = discovery::dottedAddress(text)) {
        const QString back = QStringLiteral("%1.%2.%3.%4")
                                 .arg(*address >> 24)
                                 .arg((*address >> 16) & 0xFF)
                                 .arg((*address >> 8) & 0xFF)
                                 .arg(*address & 0xFF);
        if (back != text) std::abort();
    }
    return 0;
}
