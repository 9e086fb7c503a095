#include "store/globals.h"
#include "upload/scrambler.h"
#include "upload/servicerequests.h"
#include "store/servicetable.h"

#include "support/qtprint.h"

#include <gtest/gtest.h>

#include <QSet>
#include <QUrlQuery>

#include <cstdlib>

using namespace upload;
using namespace store;

namespace {

// Every test builds its addresses under a loopback root; nothing here is ever sent.
class ServiceRequests : public ::testing::Test {
protected:
    void SetUp() override { setenv("METERLANE_SERVICE_URL", "http://127.0.0.1:8099/", 1); }
    void TearDown() override { unsetenv("METERLANE_SERVICE_URL"); }

    static QString query(const ServiceRequest &request, const QString &name) {
        return QUrlQuery(request.url()).queryItemValue(name, QUrl::FullyDecoded);
    }
};

DigitSource counting() {
    return [n = 0]() mutable { return n++ % 10; };
}

} // namespace

TEST_F(ServiceRequests, VendorTableHoldsTenDistinctIdentifiersUnderTheRoot) {
    const auto table = vendorTable();
    ASSERT_EQ(table.size(), 10);
    QSet<QString> ids;
    for (int i = 0; i < table.size(); ++i) {
        ids.insert(table[i].vendorId);
        for (const QString &address : {table[i].upload, table[i].download, table[i].announcement,
                                       table[i].startupPortal})
            EXPECT_TRUE(address.startsWith("http://127.0.0.1:8099/") && address.endsWith("=")) << address;
        EXPECT_EQ(table[i].portalTakesToken, i < 8);
    }
    EXPECT_EQ(ids.size(), 10);
    EXPECT_EQ(defaultDownloadAddress(), "http://127.0.0.1:8099/meter/pips?cid=");
    EXPECT_FALSE(findVendor(table[0].vendorId.toLower()));
}

TEST_F(ServiceRequests, ComposeAsTheServiceExpects) {
    const VendorAddresses vendor = vendorTable()[2];
    const QString id = vendor.vendorId, code = EncodeText("004");

    EXPECT_EQ(portalRequest(id, "004", "2.7.9", "1234").text(),
              vendor.startupPortal + id + ";" + code + "&SWV=2.7.9&CID=1234");
    EXPECT_EQ(portalRequest(id, "004", "2.7.9", "").text(), vendor.startupPortal + id + ";" + code + "&SWV=2.7.9&CID=");
    EXPECT_EQ(uploadRequest(id, "10.0.0.5;MP C3003;-2", "004").text(),
              vendor.upload + id + EncodeText("10.0.0.5;MP C3003;-2;004"));
    EXPECT_EQ(downloadRequest(id, "1234").text(), vendor.download + "1234");
    EXPECT_EQ(announcementRequest(id, "004", "E1234", "Office 2").text(),
              vendor.announcement + id + ";" + code + "&PRNSER=E1234&PRNUBI=Office 2");
}

TEST_F(ServiceRequests, UnknownVendorsGiveEmptyAddressesButTheDefaultDownload) {
    EXPECT_TRUE(portalRequest("nobody", "004", "2.7.9", "1").isEmpty());
    EXPECT_TRUE(uploadRequest("nobody", "x", "004").text().isEmpty());
    EXPECT_TRUE(announcementRequest("", "004", "x", "y").url().isEmpty());
    EXPECT_TRUE(portalButtonRequest("nobody", 1).isEmpty());
    EXPECT_EQ(downloadRequest("nobody", "77").text(), defaultDownloadAddress() + "77");
}

TEST_F(ServiceRequests, AnyTextReachesTheServiceUnchanged) {
    const QString id = vendorTable()[0].vendorId;
    const QString location = QStringLiteral("Büro 3 & Lager #2 §5 +x;y=z%20");
    const ServiceRequest announcement = announcementRequest(id, "004", "E 1/2", location);
    EXPECT_EQ(query(announcement, "PRNUBI"), location);
    EXPECT_EQ(query(announcement, "PRNSER"), "E 1/2");
    EXPECT_EQ(query(announcement, "d"), id + ";" + EncodeText("004"));
    EXPECT_TRUE(announcement.url().isValid());
    EXPECT_FALSE(announcement.url().toEncoded().contains(' '));

    const QString record = QStringLiteral("10.0.0.5;Stock #1 & 2;E1;") + QString::number(UploadOffsetKey[0]);
    const ServiceRequest upload = uploadRequest(id, record, "004");
    EXPECT_EQ(DecodeText(query(upload, "d").mid(id.size())), record + ";004");
    EXPECT_EQ(query(portalRequest(id, "004", "2.7.9", "A&B"), "CID"), "A&B");
}

TEST_F(ServiceRequests, KnownAnswersOnTheWire) {
    // Worked out by hand, so that a change of the key or the table on both sides at once still fails here. The key
    // 23 moves each character of A-Z a-z 0-9 on by 23 places: 0 N, 1 O, 3 Q, 4 R, 5 S, A X, C Z, E b, M j, P m,
    // c z, f 2, i 5, o B. The token is 12 digits, 7305194 - 1234, 12 digits.
    const std::pair<ServiceRequest, const char *> known[] = {
        {uploadRequest("YLK", "10.0.0.5;Aficio MP C3003;E1", "004"),
         "http://127.0.0.1:8099/ylk/meter/upload?d=YLKON.N.N.S%3BX25z5B%20jm%20ZQNNQ%3BbO%3BNNR"},
        {portalRequest("YLK", "004", "2.7.9", "4711"),
         "http://127.0.0.1:8099/ylk/portal/start?d=YLK%3BNNR&SWV=2.7.9&CID=4711"},
        {portalButtonRequest("YLK", 1234, counting()),
         "http://127.0.0.1:8099/ylk/portal/customer?t=0123456789017303960234567890123"},
        {announcementRequest("YLK", "004", "E174M610045", "Office 2"),
         "http://127.0.0.1:8099/ylk/meter/announce?d=YLK%3BNNR&PRNSER=E174M610045&PRNUBI=Office%202"},
    };
    for (const auto &[request, wire] : known) EXPECT_EQ(request.url().toEncoded(), QByteArray(wire));
}

TEST_F(ServiceRequests, PortalTokenHidesTheCustomerNumber) {
    const QString token = portalToken(1234, counting());
    EXPECT_EQ(token, "012345678901" + QString::number(TokenOffset - 1234) + "234567890123");
    EXPECT_TRUE(portalToken(TokenOffset + 5, counting()).mid(12).startsWith("-5"));
    const QString a = portalToken(42), b = portalToken(42);
    EXPECT_EQ(a.mid(12, 7), b.mid(12, 7));
    EXPECT_NE(a, b); // 24 random digits: equal only by a 1e-24 chance

    const auto table = vendorTable();
    EXPECT_EQ(portalButtonRequest(table[0].vendorId, 1234, counting()).text(), table[0].portalButton + token);
    EXPECT_EQ(portalButtonRequest(table[9].vendorId, 1234, counting()).text(), table[9].portalButton);
}

// The environment over the configured root over the built-in one, which is a reserved name that never resolves.
TEST(ServiceRoot, EnvironmentThenConfiguredThenBuiltInWithoutTrailingSlashes) {
    const struct {
        const char *environment; // nullptr: not set
        QString configured, root;
    } cases[] = {
        {nullptr, "", "https://meter.yonderlook.example"},
        {"", "", "https://meter.yonderlook.example"},
        {nullptr, "http://127.0.0.1:9/x//", "http://127.0.0.1:9/x"},
        {"", "http://127.0.0.1:9/x", "http://127.0.0.1:9/x"},
        {"http://127.0.0.1:8/", "http://127.0.0.1:9/x", "http://127.0.0.1:8"},
    };
    for (const auto &c : cases) {
        c.environment ? setenv("METERLANE_SERVICE_URL", c.environment, 1) : unsetenv("METERLANE_SERVICE_URL");
        store::globals().serviceRoot = c.configured;
        EXPECT_EQ(serviceRoot(), c.root) << (c.environment ? c.environment : "unset") << " "
                                         << qPrintable(c.configured);
    }
    unsetenv("METERLANE_SERVICE_URL");
    store::globals().serviceRoot.clear();
}
