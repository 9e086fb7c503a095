// The decoding of a printer's condition: error bits counted from the first octet's most significant bit, alert rows
// that are states left out, a bit and a row that say the same thing as one condition, and panel text in the
// character set the printer names.
#include "reading/conditions.h"

#include "support/qtprint.h"

#include <gtest/gtest.h>

using namespace reading::conditions;

namespace {

AlertRow row(int severity, int group, int groupIndex, int code, const QString &description = {}, quint32 time = 0) {
    AlertRow alert;
    alert.severity = severity;
    alert.group = group;
    alert.groupIndex = groupIndex;
    alert.code = code;
    alert.description = description;
    alert.time = time;
    return alert;
}

QStringList texts(const QList<Condition> &conditions) {
    QStringList shown;
    for (const Condition &condition : conditions)
        shown << severityName(condition.severity) + u' ' + condition.key() + QStringLiteral(" \"") + condition.text +
                     u'"';
    return shown;
}

} // namespace

TEST(Conditions, ErrorBitsCountFromTheFirstOctetsHighestBit) {
    const struct {
        QByteArray octets;
        QStringList names;
    } cases[] = {
        {QByteArray("\x20", 1), {"lowToner"}}, // a one-byte "low toner", not "jammed"
        {QByteArray("\x04", 1), {"jammed"}},
        {QByteArray("\x80", 1), {"lowPaper"}},
        {QByteArray("\x00\x06", 2), {"inputTrayEmpty", "overduePreventMaint"}},
        {QByteArray("\x00\x00\x80", 3), {"bit 16"}},
        {QByteArray(), {}},
        {QByteArray("\x00", 1), {}},
    };
    for (const auto &c : cases) EXPECT_EQ(errorBitNames(c.octets), c.names) << c.octets.toHex().constData();
}

// One table maps bits and alert codes to conditions: each case is one rule of it.
TEST(Conditions, SignalsGiveTheConditionsTheStandardMeans) {
    constexpr int Critical = 3, UnaryWarning = 4, BinaryWarning = 5, Other = 1;
    constexpr int Cover = 6, Input = 8, Supplies = 11, FinisherSupply = 31;
    constexpr quint32 Day = 24 * 3600 * 100;
    AlertRow cyan = row(BinaryWarning, Supplies, 3, 13);
    cyan.unit = QStringLiteral("cyan");
    const struct {
        const char *rule;
        QByteArray bits;
        int printerStatus;
        QList<AlertRow> alerts;
        QStringList conditions;
    } cases[] = {
        {"a bit alone", QByteArray("\x20", 1), 3, {}, {"warning tonerLow \"Toner low\""}},
        {"a bit and a row saying the same are one, with the row's unit", QByteArray("\x04", 1), 4,
         {row(Critical, Input, 2, 8, "Paper jam in tray 2")}, {"critical jam:tray 2 \"Paper jam: tray 2\""}},
        {"worst first", QByteArray("\x88", 1), 4, {}, {"critical coverOpen \"Cover open\"", "notice paperLow \"Paper low\""}},
        {"power saving, a row of undefined severity, a ready row are states", QByteArray("\x00", 1), 3,
         {row(UnaryWarning, 5, 1, 23), row(255, Cover, 1, 3), row(Other, 5, 1, 1, "Sleep"), row(Critical, 5, 1, 507)},
         {}},
        {"a code-1 row that is no state is a notice with its description", {}, 4,
         {row(Critical, 5, 1, 1, "Fuser error")}, {"notice alert1 \"Fuser error\""}},
        {"a cold fuser while idle is a state", {}, 3, {row(UnaryWarning, 10, 1, 1001, {}, Day)}, {}},
        {"a cold fuser while printing is a notice", {}, 4, {row(UnaryWarning, 10, 1, 1001, {}, Day)},
         {"notice fuserCold \"Fuser under temperature\""}},
        {"a unary warning older than a day is left out, a binary one is not", {}, 4,
         {row(UnaryWarning, Input, 1, 807, {}, 0), row(BinaryWarning, Input, 2, 807, {}, 0)},
         {"notice paperLow:tray 2 \"Paper low: tray 2\""}},
        {"an unknown code is a notice with its description", {}, 4,
         {row(BinaryWarning, FinisherSupply, 1, 40000, "Staples low")},
         {"notice alert40000:finisher supply 1 \"Staples low: finisher supply 1\""}},
        {"an empty sub-unit is what its group says", {}, 4,
         {row(BinaryWarning, Input, 1, 13), cyan, row(BinaryWarning, FinisherSupply, 2, 13)},
         {"critical tonerEmpty:cyan \"Toner empty: cyan\"", "warning paperOut:tray 1 \"Out of paper: tray 1\"",
          "warning finisherSupplyEmpty:finisher supply 2 \"Finisher supply empty: finisher supply 2\""}},
    };
    for (const auto &c : cases) {
        Signals read;
        read.answered = true;
        read.upTime = Day + 1;
        read.printerStatus = c.printerStatus;
        if (!c.bits.isNull()) read.errorState = c.bits;
        read.alerts = c.alerts;
        EXPECT_EQ(texts(conditionsOf(read)), c.conditions) << c.rule;
    }
    Signals silent;
    silent.errorState = QByteArray("\x04", 1);
    EXPECT_TRUE(conditionsOf(silent).isEmpty()) << "a printer that did not answer shows no condition";
}

TEST(Conditions, PanelTextIsDecodedInTheConsolesCharacterSet) {
    const struct {
        QByteArray octets;
        int mibEnum;
        QString text;
    } cases[] = {
        {"Dopl\xf2te pap\xedr   ", 5, QString::fromUtf8("Doplňte papír")}, // Latin-2, trailing blanks removed
        {"\xc5\xcd", 2004, QString::fromUtf8("éë")},                       // Roman-8
        {"Bac \xc3\xa0 papier", 106, QString::fromUtf8("Bac à papier")},
        {QByteArray("Ready\0\0", 7), 3, QStringLiteral("Ready")},
        {"\x80 Toner", 0, QString::fromUtf8("€ Toner")}, // no set named, not UTF-8: Windows-1252
    };
    for (const auto &c : cases) EXPECT_EQ(panelText(c.octets, c.mibEnum), c.text) << c.mibEnum;
}
