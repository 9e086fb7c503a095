// The probe of the selected printer: its maker's values for the main window's labels, or the error text when its
// host cannot be an address.
#include "reading/probe.h"
#include "readingfixture.h"

namespace {

using namespace meterlane::test;
using namespace std::chrono_literals;
using reading::ProbeLabels;
using reading::ProbeSelectedPrinter;

ProbeLabels unknown() {
    ProbeLabels labels;
    labels.brand = QStringLiteral("unknow");
    return labels;
}

void expectLabels(const ProbeLabels &got, const ProbeLabels &expected) {
    EXPECT_EQ(got.brand, expected.brand);
    EXPECT_EQ(got.brandTip, expected.brandTip);
    EXPECT_EQ(got.model, expected.model);
    EXPECT_EQ(got.identity, expected.identity);
    EXPECT_EQ(got.counter, expected.counter);
    EXPECT_EQ(got.message, expected.message);
    EXPECT_EQ(got.status, expected.status);
}

class Probe : public ReadingTest {};

TEST_F(Probe, HostThatCannotBeAnAddressGivesThePipErrorAndNoRead) {
    for (const QString &host : {QStringLiteral("[new]"), QStringLiteral("----"), QStringLiteral("two words")}) {
        ProbeLabels expected;
        expected.status = QStringLiteral("PIP error: ") + host + u'>';
        expectLabels(ProbeSelectedPrinter(host, QStringLiteral("Black Empty!!!")), expected);
    }
    expectLabels(ProbeSelectedPrinter(QString(), QStringLiteral("Black Empty!!!")), ProbeLabels{});
    EXPECT_FALSE(agent.waitForRequests(1, 50ms));
}

TEST_F(Probe, EachMakeIsReadWithItsOwnOidsAndItsModelCleaned) {
    struct Case {
        std::string descr;
        ValueTable extra;
        ProbeLabels expected;
    };
    const QString warning = QStringLiteral("Cyan = 15%");
    const auto labels = [&](const char *brand, const std::string &descr, const char *model, const char *identity,
                            const char *counter) {
        return ProbeLabels{QString::fromLatin1(brand), QString::fromStdString(descr), QString::fromLatin1(model),
                           QString::fromLatin1(identity), QString::fromLatin1(counter), warning, QString()};
    };
    const std::string brother = "Brother NC-6400h, Firmware Ver.1.01";
    const Case cases[] = {
        {"RICOH MP C3003", {}, labels("RICOH", "RICOH MP C3003", "MP C3003", "E174M610045", "154321")},
        {"OKI OkiLAN 8200e", {}, labels("OKI", "OKI OkiLAN 8200e", "C5650", "AK12", "777")},
        {"HP ETHERNET", {}, labels("HP ", "HP ETHERNET", "LaserJet 4250", "CNB123", "98765")},
        {"KYOCERA Document", {}, labels("KYOCERA", "KYOCERA Document", "LaserJet 4250", "CNB123", "98765")},
        {brother, {}, labels("BROTHER", brother, "HL-5250DN", "CNB123", "98765")},
        {brother,
         {{"1.3.6.1.2.1.25.3.2.1.3.1", text("brother HL-2040 Series")}},
         labels("BROTHER", brother, "brother HL-2040 Series", "CNB123", "98765")},
        {"Canon iR-ADV", {}, unknown()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.descr);
        ValueTable table{{"1.3.6.1.2.1.1.1.0", text(c.descr)},
                         {"1.3.6.1.4.1.367.3.2.1.1.1.1.0", text("MP C3003")},
                         {"1.3.6.1.4.1.367.3.2.1.2.1.4.0", text("E174M610045")},
                         {"1.3.6.1.4.1.367.3.2.1.2.19.1.0", text("154321")},
                         {"1.3.6.1.4.1.2001.1.1.1.1.11.1.10.30.0", text("C5650")},
                         {"1.3.6.1.4.1.2001.1.1.1.1.11.1.10.45.0", text("AK12")},
                         {"1.3.6.1.4.1.2001.1.1.1.1.11.1.10.130.0", WireValue::integer(777)},
                         {"1.3.6.1.2.1.43.14.1.1.9.1.7", text("Name=LaserJet 4250")},
                         {"1.3.6.1.2.1.25.3.2.1.3.1", text("Brother HL-5250DN series")},
                         {"1.3.6.1.2.1.43.5.1.1.17.1", text("CNB123")},
                         {"1.3.6.1.2.1.43.10.2.1.4.1.1", WireValue::counter32(98765)}};
        for (const auto &[oid, value] : c.extra) table[oid] = value;
        serve(agent, table);
        expectLabels(ProbeSelectedPrinter(address, warning), c.expected);
    }
}

TEST_F(Probe, ValuesThatCannotBeReadShowAsMinus10000) {
    serve(agent, {{"1.3.6.1.2.1.1.1.0", text("HP ETHERNET")}, {"1.3.6.1.2.1.43.5.1.1.17.1", text("CNB123")}});
    expectLabels(ProbeSelectedPrinter(address, QString()),
                 {QStringLiteral("HP "), QStringLiteral("HP ETHERNET"), QStringLiteral("-10000"),
                  QStringLiteral("CNB123"), QStringLiteral("-10000"), QString(), QString()});

    agent.setDefault(silence()); // no description either: not recognised
    expectLabels(ProbeSelectedPrinter(address, QStringLiteral("Black Empty!!!")), unknown());
}

} // namespace
