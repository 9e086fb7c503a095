// One reading of a monitored printer: identity check, counters by key point and their fall-backs, toner warnings,
// the list row, the toner-low notification and the 33-field record that is uploaded.
#include "reading/printerinfo.h"
#include "reading/brand.h"
#include "reading/keypoint.h"
#include "reading/printermib.h"
#include "readingfixture.h"
#include "store/servicetable.h"

#include <atomic>
#include <limits>
#include <memory>

namespace {

using namespace meterlane::test;
using reading::getPrinterInfo;
using reading::readPrinter;

const std::string R = "1.3.6.1.4.1.367.3.2.1.2.";
const std::string Model = "1.3.6.1.4.1.367.3.2.1.1.1.1.0";
const std::string SlotOne = R + "19.1.0";
const QString Host = QStringLiteral("printer-a");
const QString Description = QStringLiteral("Floor 2");


// A RICOH printer: model, identity, slot 1 value, counter rows (row → value) and cartridges (name, level; "?" for
// one the printer does not have).
using Toner = std::vector<std::pair<std::string, std::string>>;
ValueTable ricoh(const std::map<int, WireValue> &rows, const Toner &toner = {}, const std::string &slotOne = "4567") {
    ValueTable table{{Model, text("MP C3003")}, {R + "1.4.0", text("E0123")}, {SlotOne, text(slotOne)}};
    for (const auto &[row, value] : rows) table[R + "19.5.1.9." + std::to_string(row)] = value;
    for (std::size_t i = 0; i < toner.size(); ++i) {
        if (toner[i].first != "?") table[R + "24.1.1.2." + std::to_string(i + 1)] = text(toner[i].first);
        if (toner[i].second != "?") table[R + "24.1.1.5." + std::to_string(i + 1)] = text(toner[i].second);
    }
    return table;
}

// What a slot's counter uploads as.
QString offset(int slot, qint64 counter) {
    return QString::number(qint64{store::UploadOffsetKey[slot - 2]} - counter);
}

class PrinterInfo : public ReadingTest {};

TEST_F(PrinterInfo, RecordCarriesCountersOffsetInTheirPlacesAndTheVendorLast) {
    serve(agent, ricoh({{11, WireValue::integer(100)}, {12, WireValue::integer(20)}, {13, WireValue::integer(3)},
                        {15, WireValue::integer(7)}, {17, WireValue::integer(8)}, {20, WireValue::integer(9)},
                        {26, WireValue::integer(26)}}));
    const QString key = keyPoint({{4, "11"}, {5, "15"}, {6, "12"}, {7, "17"}, {8, "13"}, {9, "20"}, {26, "26"}});
    const QString record = getPrinterInfo(reading::Ricoh, Host, address, Description, key, QStringLiteral("E0123"));

    // Slots 2 and 3 are 0 in the key point: 100 + 20 + 3 and 7 + 8.
    ASSERT_EQ(window.rows.size(), 1u);
    EXPECT_EQ(window.rows[0], (RecordingWindow::Row{Host, QStringLiteral("MP C3003"), QStringLiteral("E0123"),
                                                    QStringLiteral("123"), QStringLiteral("15"), QString()}));
    const QStringList fields = record.split(u';');
    ASSERT_EQ(fields.size(), 33) << record;
    QStringList expected{address, QStringLiteral("MP C3003"), QStringLiteral("E0123"), offset(2, 123), offset(3, 15),
                         offset(4, 100), offset(5, 7), offset(6, 20), offset(7, 8), offset(8, 3)};
    expected << QString() << QString() << QString() << QString(); // toner reading off
    expected << offset(9, 9);
    for (int slot = 10; slot <= 25; ++slot) expected << offset(slot, 0);
    expected << offset(26, 26) << QStringLiteral("V042");
    EXPECT_EQ(fields, expected);
    EXPECT_TRUE(window.tonerNotes.empty());
    EXPECT_EQ(window.statuses, QStringList{QStringLiteral("Reading 127.0.0.34")});
}

TEST_F(PrinterInfo, TotalsFallBackToTheSumsAndThenToSlotOne) {
    struct Case {
        const char *what;
        std::map<int, QString> key;
        std::string slotOne;
        QString bw, colour;
        QStringList log;
        QString uploadedBW = {}; // when the offset itself overflows
    };
    const QString overflow = QStringLiteral("errgetPrinterInfo 6 Overflow");
    const QString mismatch = QStringLiteral("errgetPrinterInfo 13 Type mismatch");
    const Case cases[] = {
        {"slot 1 read at 19.1.0", {}, "4567", QStringLiteral("4567"), QStringLiteral("0"), {}},
        {"slot 1 read from its row", {{1, "30"}}, "4567", QStringLiteral("890"), QStringLiteral("0"), {}},
        {"slot 2 read, no fall-back", {{1, "30"}, {2, "31"}, {4, "32"}}, "4567", QStringLiteral("5"),
         QStringLiteral("0"), {}},
        {"sums past 32 bits fault and leave the slots", {{4, "33"}, {6, "33"}, {5, "33"}, {7, "33"}}, "1",
         QStringLiteral("1"), QStringLiteral("0"), {overflow, overflow}},
        {"slot 1 past 32 bits", {}, "3000000000", QStringLiteral("0"), QStringLiteral("0"), {overflow}},
        {"slot 1 far past 32 bits", {}, "1e300", QStringLiteral("0"), QStringLiteral("0"), {overflow}},
        {"slot 1 infinite", {}, "inf", QStringLiteral("0"), QStringLiteral("0"), {mismatch}},
        {"slot 1 not a number", {}, "nan", QStringLiteral("0"), QStringLiteral("0"), {mismatch}},
        {"slot 1 that is no number", {}, "n/a", QStringLiteral("0"), QStringLiteral("0"), {mismatch}},
        {"offset past 32 bits", {{2, "34"}}, "1", QStringLiteral("-2147483648"), QStringLiteral("0"), {overflow},
         QStringLiteral("-2147483648")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(store::globals().programFolder + QStringLiteral("/log/zov.log"));
        window = RecordingWindow();
        serve(agent, ricoh({{30, WireValue::integer(890)}, {31, WireValue::integer(5)}, {32, WireValue::integer(77)},
                            {33, WireValue::integer(std::numeric_limits<qint32>::max())},
                            {34, WireValue::integer(std::numeric_limits<qint32>::min())}},
                           {}, c.slotOne));
        const auto reading = readPrinter(reading::Ricoh, Host, address, Description, keyPoint(c.key), "E0123");
        EXPECT_EQ(reading.totalBW, c.bw);
        EXPECT_EQ(reading.totalColour, c.colour);
        EXPECT_EQ(reading.record.section(u';', 3, 3),
                  c.uploadedBW.isNull() ? offset(2, c.bw.toLongLong()) : c.uploadedBW);
        EXPECT_EQ(logMessages(), c.log);
    }
}

TEST_F(PrinterInfo, HpIsReadAtItsKeyPointAndThroughThePrinterMibWhileThatIsOn) {
    const std::string Supply = "1.3.6.1.2.1.43.11.1.1.";
    struct Case {
        const char *setting;     // StandardPrinterMib
        std::string modelServed; // empty: the printer lacks the model OID
        QString model;
        QStringList levels;
        std::size_t requests;
    };
    const QStringList fromSupplies{"15", "100", "100", "100"}, none(4, QStringLiteral("100"));
    const Case cases[] = {
        // Three get-next steps walk the type column past its two rows, then the toner row's three columns are read.
        {"", "Name=LaserJet 4250", QStringLiteral("LaserJet 4250"), fromSupplies, 3 + 3 + 3},
        {"1", "", QStringLiteral("HP LaserJet M404dn"), fromSupplies, 4 + 3 + 3},
        {"2", "Name=", QStringLiteral("HP LaserJet M404dn"), fromSupplies, 4 + 3 + 3},
        {"0", "", QStringLiteral("-10000"), none, 3},
    };
    setSetting(QStringLiteral("TonerLow"), QStringLiteral("20"));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.setting);
        setSetting(QStringLiteral("StandardPrinterMib"), QString::fromLatin1(c.setting));
        ValueTable table{{"1.3.6.1.2.1.25.3.2.1.3.1", text("HP LaserJet M404dn")},
                         {"1.3.6.1.2.1.43.5.1.1.17.1", text("CNB123")},
                         {"1.3.6.1.2.1.43.10.2.1.4.1.1", WireValue::counter32(98765)},
                         {Supply + "5.1.1", WireValue::integer(3)},  {Supply + "6.1.1", text("Black Cartridge HP 58A")},
                         {Supply + "8.1.1", WireValue::integer(200)}, {Supply + "9.1.1", WireValue::integer(30)},
                         {Supply + "5.1.2", WireValue::integer(9)}}; // a drum: no cartridge
        if (!c.modelServed.empty()) table["1.3.6.1.2.1.43.14.1.1.9.1.7"] = text(c.modelServed);
        serve(agent, table);
        agent.clearRequests();
        const auto reading = readPrinter(reading::Hp, Host, address, Description,
                                         keyPoint({{2, QStringLiteral("1.3.6.1.2.1.43.10.2.1.4.1.1")}}), "CNB123");
        EXPECT_EQ(reading.model, c.model);
        EXPECT_EQ(reading.totalBW, QStringLiteral("98765"));
        const QStringList fields = reading.record.split(u';');
        ASSERT_EQ(fields.size(), 33);
        EXPECT_EQ(fields.mid(1, 4), (QStringList{c.model, QStringLiteral("CNB123"), offset(2, 98765), offset(3, 0)}));
        EXPECT_EQ(fields.mid(10, 4), c.levels);
        EXPECT_EQ(agent.requestCount(), c.requests);
    }
}

// A counter map's packed records and sums are read at every reading as the key point names them, each OID once
// however many fields name it (one get of the packed string; one walk of each filter column, the summed rows read
// once), rows added since the search included; a string that no longer parses reads as a failed counter.
TEST_F(PrinterInfo, PackedRecordsAndSumsAreReadEachOidOnce) {
    const std::string packed = "1.3.6.1.4.1.2435.2.3.9.4.2.1.5.5.10.0", job = "1.3.6.1.4.1.236.11.5.11.53.11.2.1.";
    const QString record = QString::fromStdString(packed) + "#%1";
    const QString sum = QString::fromStdString("SUM(" + job + "7)[" + job + "2=1;" + job + "6=%1]");
    const std::map<int, QString> fields{{1, record.arg("00")}, {2, record.arg("01")}, {3, record.arg("02")},
                                        {4, sum.arg(3)}, {5, sum.arg("1|2")}};
    ValueTable table{{"1.3.6.1.2.1.25.3.2.1.3.1", text("MFC-L8900CDW")}, {"1.3.6.1.2.1.43.5.1.1.17.1", text("E7")}};
    const auto row = [&](int index, int type, int colour, int count) {
        table[job + "2." + std::to_string(index)] = WireValue::integer(type);
        table[job + "6." + std::to_string(index)] = WireValue::integer(colour);
        table[job + "7." + std::to_string(index)] = WireValue::integer(count);
    };
    row(1, 1, 3, 1000); // print, mono
    row(2, 1, 1, 300);  // print, colour
    row(3, 2, 3, 50);   // copy, mono: not a print
    row(4, 1, 3, 7);    // print, mono, on a paper size used since the search
    row(5, 1, 2, 40);   // print, single colour: colour
    // Records 00 = 1500, 01 = 1050 (two bytes), 02 = 194 (one byte); then a string whose record lacks its 0x01.
    for (const auto &[bytes, totals] : {std::pair{std::string("\0\x01\x02\x05\xDC\x01\x01\x02\x04\x1A\x02\x01\x01\xC2\xFF", 15),
                                                  QStringList{"1050", "194"}},
                                        std::pair{std::string("\0\x02\x02\x05\xDC", 5), QStringList{"-10000", "-10000"}}}) {
        table[packed] = WireValue::octets(bytes);
        serve(agent, table);
        agent.clearRequests();
        const auto reading = readPrinter(reading::Brother, Host, address, Description, keyPoint(fields), "E7");
        EXPECT_EQ((QStringList{reading.totalBW, reading.totalColour}), totals);
        EXPECT_EQ(reading.record.split(u';').mid(5, 2), (QStringList{offset(4, 1007), offset(5, 340)}));
        std::map<std::string, int> asked;
        for (const Request &request : agent.requests()) ++asked[request.oid];
        EXPECT_EQ(asked[packed], 1);
        EXPECT_EQ(asked[job + "7.1"], 1);
    }
    EXPECT_TRUE(logMessages().filter("Type mismatch").isEmpty()) << logMessages().join('\n').toStdString();
}

TEST(PrinterMibLevel, PercentOfTheMaximumOrWhatThePrinterSaysInstead) {
    const struct {
        const char *level, *maximum, *text;
    } cases[] = {
        {"50", "200", "25"}, {"1", "3", "33"},  {"0", "100", "0"},          {"-3", "100", "-3"},
        {"-1", "-2", "-1"},  {"5", "0", "-2"},  {"5", "-2", "-2"},          {"-10000", "100", "-10000"},
        {"300", "200", "100"}, // more than the maximum: full
        {"7", "-10000", "-10000"},       {"2222222222", "100", "-10000"}, // beyond 32 bits: no level
    };
    for (const auto &c : cases)
        EXPECT_EQ(reading::printermib::levelText(c.level, c.maximum), QString::fromLatin1(c.text)) << c.level << '/' << c.maximum;
}

TEST_F(PrinterInfo, SuppliesWalkEndsWhereTheAgentsGetNextNeverLeavesTheColumn) {
    // Every get-next answers the same row, a drum.
    agent.setHandler([](const Request &) { return answer("1.3.6.1.2.1.43.11.1.1.5.1.1", WireValue::integer(9)); });
    EXPECT_TRUE(reading::printermib::readCartridges(address).isEmpty());
    EXPECT_EQ(agent.requestCount(), std::size_t(reading::printermib::SupplyRowLimit));
}

TEST_F(PrinterInfo, ChangedIdentityGivesMinus2AndTouchesNothing) {
    struct Case {
        const char *what;
        short brand;
        QString stored;
        QString record; // "-2", or the start of the record
        std::size_t requests;
    };
    const Case cases[] = {
        {"RICOH, another printer", reading::Ricoh, QStringLiteral("E9999"), QStringLiteral("-2"), 3},
        {"RICOH, same printer", reading::Ricoh, QStringLiteral("E0123"), QStringLiteral("127.0.0.34;MP C3003;E0123;"),
         3 + 8 + 1}, // and the toner, which answers nothing: one step of the supplies walk
        {"BROTHER, private identity differs", reading::Brother, QStringLiteral("printer-mib-id"), QStringLiteral("-2"),
         2},
        {"BROTHER, private identity", reading::Brother, QStringLiteral("brother-id"),
         QStringLiteral("127.0.0.34;Brother HL-5250DN series;brother-id;"), 2 + 1}, // and the supplies walk
        {"standard printer", reading::StandardPrinter, QStringLiteral("printer-mib-id"),
         QStringLiteral("127.0.0.34;Brother HL-5250DN series;printer-mib-id;"), 2 + 1},
        {"KYOCERA, nothing stored", reading::Kyocera, QString(), QStringLiteral("127.0.0.34;;;"), 0},
        {"KYOCERA, something stored", reading::Kyocera, QStringLiteral("x"), QStringLiteral("-2"), 0},
    };
    serve(agent, {{Model, text("MP C3003")}, {R + "1.4.0", text("E0123")}, {SlotOne, text("1")},
                  {"1.3.6.1.2.1.25.3.2.1.3.1", text("Brother HL-5250DN series")},
                  {"1.3.6.1.2.1.43.5.1.1.17.1", text("printer-mib-id")},
                  {"1.3.6.1.4.1.2435.2.3.9.4.2.1.5.5.1.0", text("brother-id")}});
    setSetting(QStringLiteral("TonerLow"), QStringLiteral("20"));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        window = RecordingWindow();
        agent.clearRequests();
        const QString record = getPrinterInfo(c.brand, Host, address, Description, keyPoint({}), c.stored);
        if (c.record == QLatin1String("-2")) {
            EXPECT_EQ(record, QStringLiteral("-2"));
            EXPECT_TRUE(window.rows.empty());
        } else {
            EXPECT_TRUE(record.startsWith(c.record)) << record;
            EXPECT_EQ(window.rows.size(), 1u);
        }
        EXPECT_TRUE(window.tonerNotes.empty());
        EXPECT_EQ(agent.requestCount(), c.requests);
    }
}

TEST_F(PrinterInfo, TonerWarningsFollowTheThreshold) {
    struct Case {
        QString tonerLow, notNotify;
        Toner toner;
        QString warning;
        QStringList levels;
    };
    const Toner cmyk{{"Black", "80"}, {"Cyan", "15"}, {"Magenta", "0"}, {"Yellow", "-100"}};
    const Case cases[] = {
        {"20", "0", cmyk, "Cyan = 15%\r\nMagenta Empty!!!\r\nYellow < 20%", {"80", "15", "0", "-100"}},
        {"20", "1", {{"K", "20"}, {"C", "21"}, {"M", "-3"}, {"Y", "-2"}}, "K = 20%", {"20", "21", "-3", "-2"}},
        {"5", "1", {{"K", "10"}, {"C", "11"}, {"M", "-5"}, {"Y", "1"}}, "K = 10%\r\nY = 1%", {"10", "11", "-5", "1"}},
        {"20abc", "1", {{"K", "7.5"}, {"C", " 3"}, {"M", "x"}, {"Y", "20.4"}}, "K = 7.5%\r\nC =  3%\r\nM Empty!!!",
         {"7.5", " 3", "x", "20.4"}},
        // An empty level is empty; no name, a failed level read, a level of five characters: no cartridge.
        {"20", "1", {{"Black", ""}, {"", "5"}, {"Magenta", "?"}, {"Yellow", "12345"}}, "Black Empty!!!",
         {"", "100", "100", "100"}},
        {"0", "0", cmyk, "", {"", "", "", ""}},
        {"-20", "0", cmyk, "", {"", "", "", ""}},
        {"many", "0", cmyk, "", {"", "", "", ""}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.tonerLow + u' ' + c.levels.join(u','));
        window = RecordingWindow();
        setSetting(QStringLiteral("TonerLow"), c.tonerLow);
        setSetting(QStringLiteral("TonerLowNotNotify"), c.notNotify);
        serve(agent, ricoh({}, c.toner));
        const QString record = getPrinterInfo(reading::Ricoh, Host, address, Description, keyPoint({}), "E0123");
        EXPECT_EQ(record.split(u';').mid(10, 4), c.levels);
        ASSERT_EQ(window.rows.size(), 1u);
        EXPECT_EQ(window.rows[0].tonerWarning, c.warning);
        if (c.warning.isEmpty()) {
            EXPECT_TRUE(window.tonerNotes.empty());
        } else {
            ASSERT_EQ(window.tonerNotes.size(), 1u);
            EXPECT_EQ(window.tonerNotes[0], (RecordingWindow::TonerNote{c.notNotify == u"0", QStringLiteral("MP C3003"),
                                                                        Description, c.warning}));
        }
    }
}

TEST_F(PrinterInfo, PrinterFallingSilentHalfWayGivesFailedCounters) {
    TransportSettings quick(20, 0);
    const ValueTable table = ricoh({{5, WireValue::integer(50)}, {6, WireValue::integer(60)}});
    agent.setHandler([&table, answered = std::make_shared<std::atomic<int>>(0)](const Request &request) {
        if (++*answered > 3) return silence(); // model, identity and slot 1 only
        const auto found = table.find(request.oid);
        return found == table.end() ? noSuchName() : answer(found->second);
    });
    const auto reading = readPrinter(reading::Ricoh, Host, address, Description, keyPoint({{2, "5"}, {3, "6"}}),
                                     QStringLiteral("E0123"));
    EXPECT_EQ(reading.totalBW, QStringLiteral("-10000"));
    EXPECT_EQ(reading.totalColour, QStringLiteral("-10000"));
    const QStringList fields = reading.record.split(u';');
    ASSERT_EQ(fields.size(), 33);
    EXPECT_EQ(fields.mid(3, 2), (QStringList{offset(2, -10000), offset(3, -10000)}));
    EXPECT_EQ(logMessages().size(), 2);

    // Silent from the start: everything fails alike, and a stored identity of -10000 matches it.
    agent.setDefault(silence());
    EXPECT_EQ(getPrinterInfo(reading::Ricoh, Host, address, Description, keyPoint({{2, "5"}}), "E0123"), "-2");
    const QString record = getPrinterInfo(reading::Ricoh, Host, address, Description, keyPoint({{2, "5"}}), "-10000");
    EXPECT_TRUE(record.startsWith(QStringLiteral("127.0.0.34;-10000;-10000;") + offset(2, -10000) + u';')) << record;
}

TEST_F(PrinterInfo, ShortKeyPointFaultsTwicePerMissingFieldAndTheTenthEndsTheReading) {
    serve(agent, ricoh({}));
    const QString missing = QStringLiteral("errgetPrinterInfo 9 Subscript out of range");

    const QString record = getPrinterInfo(reading::Ricoh, Host, address, Description, keyPoint({}, 24), "E0123");
    EXPECT_EQ(record.split(u';').size(), 33);
    EXPECT_EQ(logMessages(), QStringList(4, missing));

    for (const QString &shortKey : {keyPoint({}, 3), QString()}) { // an empty key point has no fields at all
        QFile::remove(store::globals().programFolder + QStringLiteral("/log/zov.log"));
        window = RecordingWindow();
        EXPECT_EQ(getPrinterInfo(reading::Ricoh, Host, address, Description, shortKey, "E0123"), QString());
        EXPECT_EQ(logMessages(), QStringList(10, missing));
        EXPECT_TRUE(window.rows.empty());
    }
}

TEST(TextToLong, LeadingNumberRoundedHalfToEvenWithinThirtyTwoBits) {
    const std::pair<const char *, qint32> cases[] = {
        {"  42abc", 42},       {"2.5", 2},      {"3.5", 4},       {"-2.5", -2},         {"", 0},
        {"abc", 0},            {"-10000", -10000}, {"99999999999", -1}, {"2147483647", 2147483647},
        {"2147483648", -1},    {"-2147483648", std::numeric_limits<qint32>::min()},    {"2147483647.5", -1},
        {"-2147483649", -1},   {"+7", 7},       {"0.49", 0},
        // The lenient scan: blanks anywhere, exponents, hexadecimal and octal.
        {"1 000", 1000},       {"- 4", -4},     {"12E3", 12000},  {"1D2", 100},         {"12E", 12},
        {"2.5e-1", 0},         {"1e400", -1},   {"&HFF", 255},    {"&hFFFF", -1},       {"&H10000", 65536},
        {"&HFFFFFFFF", -1},    {"&H100000000", -1}, {"&O17", 15}, {"&O8", 0},           {"\t7\n1", 71},
    };
    for (const auto &[input, expected] : cases) EXPECT_EQ(reading::TextToLong(input), expected) << '"' << input << '"';
}

} // namespace
