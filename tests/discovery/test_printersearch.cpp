// The ranges the Find printers dialog offers: which interfaces and addresses of the machine count, as a table, and
// once over real interfaces in a network namespace of the test's own.
#include "discovery/printersearch.h"
#include "support/privatenetwork.h"
#include "support/qtprint.h"

#include <gtest/gtest.h>

namespace {

using namespace Qt::StringLiterals;
using Flag = QNetworkInterface::InterfaceFlag;

QNetworkAddressEntry entry(const QString &cidr) {
    QNetworkAddressEntry entry;
    entry.setIp(QHostAddress(cidr.section(u'/', 0, 0)));
    entry.setPrefixLength(cidr.section(u'/', 1).toInt());
    return entry;
}

TEST(OfferedRanges, TakeOnlyInterfacesUpAndRunningAndNoLinkLocalAddress) {
    const QNetworkInterface::InterfaceFlags running = Flag::IsUp | Flag::IsRunning | Flag::CanBroadcast;
    struct Case {
        QNetworkInterface::InterfaceFlags flags;
        QString address;
        QStringList offered;
    } cases[] = {
        {running, u"192.0.2.10/24"_s, {u"192.0.2.0/24"_s}},
        {running, u"198.18.7.9/16"_s, {u"198.18.0.0/16"_s}},
        {running, u"198.18.7.9/8"_s, {u"198.18.7.0/24"_s}}, // wider than a /16: the /24 around the address
        {Flag::CanBroadcast, u"198.51.100.1/16"_s, {}},     // a bridge that is down
        {Flag::IsUp | Flag::CanBroadcast, u"198.51.100.1/16"_s, {}}, // up without a carrier
        {running, u"169.254.12.34/16"_s, {}},                       // self-assigned
        {Flag::IsUp | Flag::IsRunning | Flag::IsPointToPoint, u"203.0.113.5/32"_s, {}},
        {Flag::IsUp | Flag::IsRunning | Flag::IsLoopBack, u"127.0.0.1/8"_s, {}},
    };
    for (const Case &item : cases)
        EXPECT_EQ(discovery::offeredRanges({{item.flags, {entry(item.address)}}}), item.offered)
            << item.address << " flags " << item.flags.toInt();
}

TEST(OfferedRanges, OfThisMachineAsItsInterfacesReportThem) {
    testsupport::PrivateNetwork network; // loopback, and a veth pair up with 198.18.0.1/24
    ASSERT_TRUE(network.ready() && network.ip({"link", "add", "mldown0", "type", "veth", "peer", "name", "mldown1"}) &&
                network.ip({"address", "add", "198.19.0.1/16", "dev", "mldown0"}) &&
                network.ip({"address", "add", "169.254.7.7/16", "dev", "mlsilent0"}))
        << network.failure();
    EXPECT_EQ(discovery::ownSubnetRanges(), QStringList{u"198.18.0.0/24"_s});
}

} // namespace
