// Every make against its simulated printer, through the real SnmpV1 library and a real agent: the brand, the key
// point search with its identity, and the reading that follows it as the read-and-send cycle chains them, then the
// probe.
#include "reading/brand.h"
#include "reading/keypoint.h"
#include "reading/printerinfo.h"
#include "reading/probe.h"
#include "support/logmessages.h"
#include "support/printers.h"
#include "support/qtprint.h"
#include "support/recordingwindow.h"
#include "platform/componentfactory.h"
#include "store/config.h"
#include "store/globals.h"
#include "store/servicetable.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

namespace {

using meterlane::test::RecordingWindow;
using testsupport::SimulatedPrinter;

struct Make {
    std::string name;
    short brand;
    QString keyPoint, identity, model, totalBW, totalColour, tonerWarning;
    QStringList levels; // record fields 11 to 14
    QStringList probe;  // brand, model, identity, counter labels
};

QString zerosAfter(const QString &fields, int count) {
    return fields + QStringLiteral(",0").repeated(count);
}

// A program folder of its own with the toner settings, the build's library and counter maps, a system folder that is
// not the machine's, a recording window.
class Makes : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        qputenv("METERLANE_SYSTEM_FOLDER", folder.filePath(QStringLiteral("etc")).toUtf8());
        store::setProgramFolder(folder.path());
        store::globals().vendorId = QStringLiteral("V042");
        ASSERT_TRUE(store::WriteIniValue(store::globals().iniFile, "Settings", "TonerLow", "20"));
        ASSERT_TRUE(store::WriteIniValue(store::globals().iniFile, "Settings", "TonerLowNotNotify", "1"));
        platform::setLibraryFolder(QStringLiteral(METERLANE_BIN_DIR));
        platform::setWindow(&window);
    }
    void TearDown() override {
        platform::setWindow(nullptr);
        qunsetenv("METERLANE_SYSTEM_FOLDER");
    }

    QTemporaryDir folder;
    RecordingWindow window;
};

TEST_F(Makes, EachMakeIsIdentifiedSearchedAndReadFromItsSimulatedPrinter) {
    const QString printerMib = QStringLiteral("0,1.3.6.1.2.1.43.10.2.1.4.1.1");
    const QString none = QStringLiteral("0") + QStringLiteral(",0").repeated(25);
    const QStringList noToner(4, QStringLiteral("100"));
    const Make makes[] = {
        {"ricoh", reading::Ricoh, "1,12,13,33,7,2,8,10,15,16,20,21,24,25,26,27,28,0,0,0,30,31,0,0,37,40",
         "E174M610045", "MP C3003", "92110", "62220", "Cyan = 15%\r\nMagenta Empty!!!\r\nYellow < 20%",
         {"80", "15", "0", "-100"}, {"RICOH", "MP C3003", "E174M610045", "154321"}},
        {"ricoh-alt", reading::Ricoh, "3,0,0,2,0,1,0,4,7,8,0,0,0,0,11,0,12,0,0,0,0,0,9,0,10,0", "W913L100222",
         "MP 2352", "56350", "0", "", {"21", "-3", "-2", "100"}, {"RICOH", "MP 2352", "W913L100222", "56350"}},
        {"partial", reading::Ricoh, "0,0,0,0,0,0,5,0,2,0,0,1,0,0,0,0,0,0,0,0,0,0,0,0,0,0", "M0190500012", "-10000",
         "12345", "95", "", noToner, {"RICOH", "-10000", "M0190500012", "12345"}},
        {"oki", reading::Oki,
         zerosAfter("0,1.3.6.1.4.1.2001.1.1.1.1.11.1.10.130.0,1.3.6.1.4.1.2001.1.1.1.1.11.1.10.140.0", 23),
         "AK59012345", "OKI C5850", "23456", "34567", "Magenta Toner = 20%\r\nYellow Toner = 9%",
         {"55", "20", "9", "-3"}, {"OKI", "C5850", "AK59012345", "23456"}},
        {"hp", reading::Hp, zerosAfter(printerMib, 24), "CNRXB12345", "LaserJet 4250", "87654", "0", "", noToner,
         {"HP ", "LaserJet 4250", "CNRXB12345", "87654"}},
        {"brother", reading::Brother, zerosAfter(printerMib, 24), "L5J123456", "Brother HL-5250DN series", "12873",
         "0", "", noToner, {"BROTHER", "HL-5250DN", "L5J123456", "12873"}},
        // Its packed counters: the life count, then records 01, 02 and 06 (duplex).
        {"brother-mfc", reading::Brother,
         QStringLiteral("1.3.6.1.2.1.43.10.2.1.4.1.1,%1#01,%1#02,0,0,0,0,0,0,%1#06")
                 .arg(QStringLiteral("1.3.6.1.4.1.2435.2.3.9.4.2.1.5.5.10.0")) + QStringLiteral(",0").repeated(16),
         "E78123K9N654321", "Brother MFC-L8900CDW series", "19876", "11539", "", {"-3", "100", "100", "100"},
         {"BROTHER", "MFC-L8900CDW", "000F2A1B3C4D", "31415"}},
        {"hp-mfp", reading::Hp, zerosAfter(printerMib, 24), "CNB8K4L2Q7", "HP Color LaserJet MFP M477fdw", "24680",
         "0", "Cyan Cartridge HP CF411X = 8%", {"60", "8", "35", "-3"}, {"HP ", "-10000", "CNB8K4L2Q7", "24680"}},
        // Read through the standard Printer MIB: the KYOCERA and the make that is not recognised.
        {"kyocera", reading::Kyocera, zerosAfter(printerMib, 24), "VCF8Z01234", "ECOSYS P3045dn", "45678", "0",
         "TK-3160 = 5%", {"5", "100", "100", "100"}, {"KYOCERA", "ECOSYS P3045dn", "VCF8Z01234", "45678"}},
        {"unknown", reading::Unknown, zerosAfter(printerMib, 24), "VNBCB01234", "HP LaserJet P3015", "33210", "0", "",
         noToner, {"unknow", "-", "-", "-"}},
        {"lexmark", reading::Unknown, zerosAfter(printerMib, 24), "7531A1B2C3", "Lexmark CX725", "98765", "0",
         "Cyan Cartridge = 15%\r\nMagenta Cartridge Empty!!!", {"80", "15", "0", "-2"}, {"unknow", "-", "-", "-"}},
        // Toners, then drums of the same colours, a belt, a fuser and a waste box: the toner rows are the cartridges.
        {"supplies-laser", reading::Unknown, zerosAfter(printerMib, 24), "AA7R021005218", "KONICA MINOLTA bizhub C300i",
         "58210", "0", "Toner TN-328C = 15%", {"64", "48", "15", "80"}, {"unknow", "-", "-", "-"}},
    };
    std::vector<testsupport::PrinterData> names;
    for (const Make &make : makes) names.push_back(make.name);
    const auto printers = testsupport::startPrinters(names);

    for (std::size_t i = 0; i < names.size(); ++i) {
        const Make &make = makes[i];
        SCOPED_TRACE(make.name);
        ASSERT_AGENT(*printers[i]);
        const QString address = QString::fromStdString(printers[i]->address());
        window = RecordingWindow();

        QString description;
        const short brand = reading::GetCodeBrand(address, description);
        EXPECT_EQ(brand, make.brand) << description;
        const short rules = reading::readingRules(brand, description);
        QString identity;
        const QString keyPoint = reading::SearchPrinterKeyPoint(rules, address, identity);
        EXPECT_EQ(keyPoint, make.keyPoint);
        EXPECT_EQ(identity, make.identity);
        EXPECT_EQ(reading::GetSerialByBrand(address), make.identity) << "the identity the announcement sends";

        QFile::remove(folder.filePath(QStringLiteral("log/zov.log")));
        const auto reading = reading::readPrinter(rules, "printer", address, "Floor 2", keyPoint, identity);
        // The supplies table is walked quietly: nothing is logged of rows or columns a printer lacks.
        EXPECT_EQ(testsupport::logMessages().filter(QRegularExpression(QStringLiteral("\\.43\\.11\\."))),
                  QStringList());
        EXPECT_EQ(reading.model, make.model);
        EXPECT_EQ(reading.totalBW, make.totalBW);
        EXPECT_EQ(reading.totalColour, make.totalColour);
        EXPECT_EQ(reading.tonerWarning, make.tonerWarning);
        const QStringList fields = reading.record.split(u';');
        ASSERT_EQ(fields.size(), 33) << reading.record;
        const auto offset = [](int slot, const QString &total) {
            return QString::number(store::UploadOffsetKey[slot - 2] - total.toLongLong());
        };
        EXPECT_EQ(fields.mid(0, 5), (QStringList{address, make.model, make.identity, offset(2, make.totalBW),
                                                 offset(3, make.totalColour)}));
        EXPECT_EQ(fields.mid(10, 4), make.levels);
        EXPECT_EQ(fields[32], QStringLiteral("V042"));
        EXPECT_EQ(window.tonerNotes.size(), make.tonerWarning.isEmpty() ? 0u : 1u);

        const reading::ProbeLabels labels = reading::ProbeSelectedPrinter(address, QStringLiteral("row warning"));
        EXPECT_EQ((QStringList{labels.brand, labels.model, labels.identity, labels.counter}), make.probe);
    }
}

// Counter maps against real agents: a maker's per-function counters summed by the reading (Kyocera), table rows chosen
// by their type column (Lexmark), a monochrome machine's own total and colour 0 (HP); prtMarkerLifeCount becomes the
// machine total. With the standard readings off, the key point of before.
TEST_F(Makes, CounterMapsPutTheMakersCountersIntoTheKeyPoint) {
    const std::string kyocera = "1.3.6.1.4.1.1347.42.3.1.2.1.1.", lexmarkType = "1.3.6.1.4.1.641.6.4.2.1.1.2.1.",
                      lexmarkValue = "1.3.6.1.4.1.641.6.4.2.1.1.4.1.", hp = "1.3.6.1.4.1.11.2.3.9.4.2.1.4.1.2.";
    const struct {
        std::string name;
        testsupport::RecordChanges changes;
        std::map<int, std::string> fields; // the others "0"
        QString totalBW, totalColour;
    } cases[] = {
        {"kyocera", // as a TASKalfa 5054ci counts: b/w 248407 + 6556, colour 98892 + 7008
         {{kyocera + "1.1", "2|248407"}, {kyocera + "1.2", "2|0"}, {kyocera + "1.3", "2|98892"},
          {kyocera + "2.1", "2|6556"}, {kyocera + "2.3", "2|7008"}, {kyocera + "4.1", "2|0"}},
         {{4, kyocera + "1.1"}, {5, kyocera + "1.3"}, {6, kyocera + "2.1"}, {7, kyocera + "2.3"}, {8, kyocera + "4.1"}},
         "254963", "105900"},
        {"lexmark", // rows 1 totalPicked, 2 totalSafe, 5 totalMonoSafe, 12 totalColorSafe, 13/14 print, 20/21 copy
         {{lexmarkType + "1", "2|1"}, {lexmarkValue + "1", "65|99001"}, {lexmarkType + "2", "2|2"},
          {lexmarkValue + "2", "65|98765"}, {lexmarkType + "5", "2|3"}, {lexmarkValue + "5", "65|70000"},
          {lexmarkType + "12", "2|4"}, {lexmarkValue + "12", "65|28765"}, {lexmarkType + "13", "2|17"},
          {lexmarkValue + "13", "65|60000"}, {lexmarkType + "14", "2|18"}, {lexmarkValue + "14", "65|27000"},
          {lexmarkType + "20", "2|33"}, {lexmarkValue + "20", "65|10000"}, {lexmarkType + "21", "2|34"},
          {lexmarkValue + "21", "65|1765"}},
         {{2, lexmarkValue + "5"}, {3, lexmarkValue + "12"}, {4, lexmarkValue + "13"}, {5, lexmarkValue + "14"},
          {6, lexmarkValue + "20"}, {7, lexmarkValue + "21"}},
         "70000", "28765"},
        {"hp", {{hp + "6.0", "65|87654"}, {hp + "22.0", "65|2210"}}, {{2, hp + "6.0"}, {10, hp + "22.0"}}, "87654", "0"},
    };
    std::vector<std::unique_ptr<SimulatedPrinter>> printers;
    for (const auto &c : cases) printers.push_back(std::make_unique<SimulatedPrinter>(c.name, c.changes, false));

    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        ASSERT_AGENT(*printers[i]);
        const QString address = QString::fromStdString(printers[i]->address());
        QString description, identity;
        const short rules = reading::readingRules(reading::GetCodeBrand(address, description), description);
        QStringList fields(26, QStringLiteral("0"));
        fields[0] = QStringLiteral("1.3.6.1.2.1.43.10.2.1.4.1.1");
        for (const auto &[slot, oid] : cases[i].fields) fields[slot - 1] = QString::fromStdString(oid);
        const QString keyPoint = reading::SearchPrinterKeyPoint(rules, address, identity);
        EXPECT_EQ(keyPoint, fields.join(u','));
        const auto reading = reading::readPrinter(rules, "printer", address, "", keyPoint, identity);
        EXPECT_EQ(reading.totalBW, cases[i].totalBW);
        EXPECT_EQ(reading.totalColour, cases[i].totalColour);
    }

    ASSERT_TRUE(store::WriteIniValue(store::globals().iniFile, "Settings", "StandardPrinterMib", "0"));
    QString identity;
    const QString address = QString::fromStdString(printers[0]->address());
    EXPECT_EQ(reading::SearchPrinterKeyPoint(reading::StandardPrinter, address, identity),
              zerosAfter(QStringLiteral("0,1.3.6.1.2.1.43.10.2.1.4.1.1"), 24));
}

} // namespace

// Where a RICOH's own OIDs read nothing, its machine total and its cartridges come from the standard Printer MIB
// while StandardPrinterMib is on; its supplies rows sit under device index 0 and past row 8, as some printers keep them.
TEST_F(Makes, StandardMibFillsInWhereTheMakersOwnOidsReadNothing) {
    testsupport::RecordChanges changes{{"1.3.6.1.4.1.367.3.2.1.2.19.1.0", ""},
                                       {"1.3.6.1.2.1.43.10.2.1.4.1.1", "65|12399"}};
    const auto supply = [&](const std::string &row, const std::string &type, const std::string &name,
                            const std::string &maximum, const std::string &level) {
        const std::string column = "1.3.6.1.2.1.43.11.1.1.";
        changes[column + "5." + row] = "2|" + type;
        if (name.empty()) return;
        changes[column + "6." + row] = "4|" + name;
        changes[column + "8." + row] = "2|" + maximum;
        changes[column + "9." + row] = "2|" + level;
    };
    supply("0.2", "21", "Black Toner", "200", "30");
    supply("0.5", "4", "", "", ""); // waste toner
    supply("1.12", "3", "Cyan Toner", "100", "0");
    const SimulatedPrinter printer("partial", changes);
    ASSERT_AGENT(printer);
    const QString address = QString::fromStdString(printer.address());
    const struct {
        const char *setting;
        QString totalBW, tonerWarning;
        QStringList levels;
    } cases[] = {
        {"", "12399", "Black Toner = 15%\r\nCyan Toner Empty!!!", {"15", "0", "100", "100"}},
        {"0", "-10000", "", QStringList(4, QStringLiteral("100"))},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.setting);
        ASSERT_TRUE(store::WriteIniValue(store::globals().iniFile, "Settings", "StandardPrinterMib", c.setting));
        QString identity;
        const QString keyPoint = reading::SearchPrinterKeyPoint(reading::Ricoh, address, identity);
        const auto reading = reading::readPrinter(reading::Ricoh, "printer", address, "Floor 2", keyPoint, identity);
        EXPECT_EQ(reading.totalBW, c.totalBW);
        EXPECT_EQ(reading.totalColour, QStringLiteral("95"));
        EXPECT_EQ(reading.tonerWarning, c.tonerWarning);
        EXPECT_EQ(reading.record.split(u';').mid(10, 4), c.levels);
    }
}
