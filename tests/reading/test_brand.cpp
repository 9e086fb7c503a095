// Brand identification from the system description, the identity read with each brand's OID, and the maker whose
// counter map a printer is read by.
#include "reading/brand.h"
#include "reading/countermaps.h"
#include "reading/oidreader.h"
#include "reading/printervalues.h"
#include "readingfixture.h"

namespace {

using namespace meterlane::test;
using reading::brandOfDescription;
using reading::GetCodeBrand;
using reading::GetSerialByBrand;

TEST(BrandOfDescription, FirstThreeLettersOfTheTrimmedUpperCasedDescription) {
    const std::pair<const char *, short> cases[] = {
        {" ricoh Aficio MP C3000", 0}, {"RICOH MP C3003", 0}, {"NRG MP 2550", 0},     {"Gestetner DSm415", 0},
        {"SAVIN 4035", 0},             {"NASHUATEC P-1", 0},  {"infotec IS 2525", 0}, {"LANIER LD335", 0},
        {"HP LaserJet 4250", 2},       {"  HP ETHERNET", 2},  {"Hewlett-Packard", -1}, {"HP", -1},
        {"HP ", -1},                   {"HP-UX", -1},         {"HPLaserJet", -1},     {"KYOCERA Document", 4},
        {"Brother NC-6400h", 3},       {"OKI OkiLAN 8200e", 1}, {"oki", 1},           {"", -1},
        {"-10000", -1},                {"RI", -1},            {"Canon iR-ADV", -1},   {"R ICOH", -1},
        {"\tRICOH", -1},              {"\r\nHP LaserJet", -1}, // only blanks are trimmed
    };
    for (const auto &[description, brand] : cases)
        EXPECT_EQ(brandOfDescription(QString::fromLatin1(description)), brand) << '"' << description << '"';
}

// The default map's makers: by sysObjectID's enterprise number, else (and only then is it read) by a whole word of
// sysDescr, first maker first; then a model's narrowed entry instead of the maker's plain one.
TEST(CounterMapMaker, EnterpriseNumberElseWordsOfTheDescription) {
    QFile file(QStringLiteral(METERLANE_BIN_DIR "/counter-maps.ini"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const auto entries = reading::countermaps::parse(file.readAll(), file.fileName());
    const struct {
        const char *sysObjectId, *sysDescr, *maker; // maker nullptr: none
        bool descriptionRead;
    } cases[] = {
        {"1.3.6.1.4.1.11.2.3.9.1", "", "HP", false},
        {".1.3.6.1.4.1.1347.41", "", "Kyocera", false},
        {"1.3.6.1.4.1.297.1.111.101.1", "FUJIFILM Apeos 4620 SZ", "Xerox", false},
        {"1.3.6.1.4.1.2435.2.3.9.1", "HP ETHERNET MULTI-ENVIRONMENT", "Brother", false}, // answers HP's OIDs too
        {"1.3.6.1.4.1.236.11.5.1", "HP Laser MFP 135w", "Samsung", false},
        {"1.3.6.1.4.1.8072.3.2.10", "KONICA MINOLTA bizhub C300i", "Konica Minolta", true},
        {"-10000", "Dell Color Laser 3110cn", "Dell", true},
        {"", "FUJI XEROX DocuCentre-V", "Xerox", true},
        {"1.3.6.1.4.1.113", "Hewlett-Packard HP LaserJet P3015", "HP", true}, // 113 is not 11
        {"1.3.6.1.4.1", "Brothers-in-arms SHARPEN", nullptr, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sysDescr);
        bool read = false;
        const auto *maker = reading::countermaps::makerOf(entries, QString::fromLatin1(c.sysObjectId), [&] {
            read = true;
            return QString::fromLatin1(c.sysDescr);
        });
        EXPECT_EQ(maker ? maker->maker : QString(), QString::fromLatin1(c.maker ? c.maker : ""));
        EXPECT_EQ(read, c.descriptionRead);
    }

    const auto narrowed = reading::countermaps::parse("[Kyocera | ecosys P3*]\nSlot2 = 1.2.3\n[Kyocera|TASKalfa ?0?4ci]"
                                                      "\nSlot2 = 1.2.4\n", QStringLiteral("own"));
    auto all = entries;
    reading::countermaps::merge(all, narrowed);
    const auto *kyocera = reading::countermaps::makerOf(all, QStringLiteral("1.3.6.1.4.1.1347.41"), {});
    ASSERT_TRUE(kyocera);
    for (const auto &[model, entry] : {std::pair{"ECOSYS P3045dn", "Kyocera | ecosys P3*"},
                                       {"TASKalfa 5054ci", "Kyocera | TASKalfa ?0?4ci"},
                                       {"TASKalfa 5054ci MFP", "Kyocera"}, {"ECOSYS M3145dn", "Kyocera"}})
        EXPECT_EQ(reading::countermaps::entryFor(all, *kyocera, QString::fromLatin1(model))->name(),
                  QString::fromLatin1(entry));
}

// The kinds of candidate a slot may name, as the maps reader takes them and a key point field holds them.
TEST(CounterMapCandidates, EachKindAndItsKeyPointField) {
    const std::pair<const char *, const char *> cases[] = { // candidate, its key point field (nullptr: no candidate)
        {"1.3.6.1.4.1.11.2.3.9.4.2.1.4.1.2.6.0", "1.3.6.1.4.1.11.2.3.9.4.2.1.4.1.2.6.0"},
        {"1.3.6.1.4.1.641.6.4.2.1.1.4[1.3.6.1.4.1.641.6.4.2.1.1.2=3]", "1.3.6.1.4.1.641.6.4.2.1.1.4[1.3.6.1.4.1.641.6.4.2.1.1.2=3]"},
        {"1.3.6.1.4.1.2435.2.3.9.4.2.1.5.5.10.0#0a", "1.3.6.1.4.1.2435.2.3.9.4.2.1.5.5.10.0#0a"},
        {"SUM(1.2.7)[1.2.2=1, 1.2.4=7]", "SUM(1.2.7)[1.2.2=1;1.2.4=7]"},
        {"SUM(1.2.7)[1.2.2=1;1.2.4=-7]", "SUM(1.2.7)[1.2.2=1;1.2.4=-7]"},
        {"SUM(1.2.7)[1.2.6=1|2, 1.2.4=7]", "SUM(1.2.7)[1.2.6=1|2;1.2.4=7]"}, {"SUM(1.2.7)[1.2.6=1|]", nullptr},
        {"1.2.3#1", nullptr}, {"#01", nullptr}, {"SUM(1.2.7)", nullptr}, {"SUM(1.2.7)[]", nullptr},
        {"SUM(1.2.7)[1.2.2=a]", nullptr}, {".1.3.6", nullptr},
    };
    for (const auto &[candidate, field] : cases) {
        EXPECT_EQ(reading::countermaps::isCandidate(candidate), field != nullptr) << candidate;
        if (field) EXPECT_EQ(reading::countermaps::keyPointField(candidate), field);
    }
    EXPECT_EQ(reading::countermaps::splitCandidates(" 1.2.3 SUM(1.2.7)[1.2.2=1, 1.2.4=7]  1.2.4#01 "),
              (QStringList{"1.2.3", "SUM(1.2.7)[1.2.2=1, 1.2.4=7]", "1.2.4#01"}));
}

// A packed counter string is read record by record, by each record's length, never by fixed positions.
TEST(PackedRecords, ByEachRecordsLengthUntilTheEndOrACutOrAFault) {
    const struct {
        const char *what;
        QByteArray bytes;
        std::optional<QMap<int, quint64>> records;
    } cases[] = {
        {"lengths 4, 2, 1, 0, then 0xFF", QByteArray::fromHex("0001040001ABCD 010102BEEF 02010105 0301 00 FF 0401010A"),
         QMap<int, quint64>{{0, 0x1ABCD}, {1, 0xBEEF}, {2, 5}, {3, 0}}},
        {"a record cut short ends them", QByteArray::fromHex("00010107 01010400"), QMap<int, quint64>{{0, 7}}},
        {"empty", QByteArray(), QMap<int, quint64>{}},
        {"a record without its 0x01", QByteArray::fromHex("00010107 01020107"), std::nullopt},
        {"a value of nine bytes", QByteArray::fromHex("000109010203040506070809"), std::nullopt},
        {"text, as a printer without the records sends it", QByteArray("31415"), std::nullopt},
    };
    for (const auto &c : cases) EXPECT_EQ(reading::packedRecords(c.bytes), c.records) << c.what;
}

class Brand : public ReadingTest {};

TEST_F(Brand, KyoceraAndUnrecognisedPrintersThatAnsweredAreReadAsStandardPrintersWhileTheSettingIsOn) {
    const struct {
        const char *setting; // StandardPrinterMib; nullptr: absent
        short brand;
        QString sysDescr;
        short rules;
    } cases[] = {
        {nullptr, reading::Kyocera, QStringLiteral("KYOCERA Document"), reading::StandardPrinter},
        {"", reading::Unknown, QStringLiteral("Lexmark CX725"), reading::StandardPrinter},
        {"1", reading::Unknown, QString(), reading::StandardPrinter}, // an empty description was read
        {"1", reading::Unknown, reading::ReadFailed, reading::Unknown}, // a silent printer
        {"1", reading::Hp, QStringLiteral("HP ETHERNET"), reading::Hp},
        {"0", reading::Kyocera, QStringLiteral("KYOCERA Document"), reading::Kyocera},
        {"0", reading::Unknown, QStringLiteral("Lexmark CX725"), reading::Unknown},
    };
    for (const auto &c : cases) {
        if (c.setting) setSetting(QStringLiteral("StandardPrinterMib"), QString::fromLatin1(c.setting));
        else QFile::remove(store::globals().iniFile);
        EXPECT_EQ(reading::readingRules(c.brand, c.sysDescr), c.rules) << (c.setting ? c.setting : "absent");
    }
}

TEST_F(Brand, CodeBrandReadsTheDescriptionAndLogsWhatItDoesNotRecognise) {
    struct Case {
        std::string served; // empty: no such OID
        bool answered;
        short brand;
        QString descr;
        QStringList log;
    };
    const Case cases[] = {
        {" ricoh Aficio MP C3000", true, 0, QStringLiteral(" ricoh Aficio MP C3000"), {}},
        {"HP ETHERNET MULTI-ENVIRONMENT", true, 2, QStringLiteral("HP ETHERNET MULTI-ENVIRONMENT"), {}},
        {"", true, -1, QString(), {QStringLiteral("GetCodeBrand ")}},
        {"Hewlett-Packard JetDirect", true, -1, QStringLiteral("Hewlett-Packard JetDirect"),
         {QStringLiteral("GetCodeBrand Hewlett-Packard JetDirect")}},
        {"", false, -1, QStringLiteral("-10000"),
         {QStringLiteral("errGetOID varOID 1.3.6.1.2.1.1.1.0 OID "
                         "[Vantobe.Mod.SnmpResponseProcess][AP02C1]=Error encountered during Agent Process"),
          QStringLiteral("GetCodeBrand -10000")}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.descr);
        QFile::remove(store::globals().programFolder + QStringLiteral("/log/zov.log"));
        serve(agent, c.answered ? ValueTable{{"1.3.6.1.2.1.1.1.0", text(c.served)}} : ValueTable{});
        QString descr = QStringLiteral("stale");
        EXPECT_EQ(GetCodeBrand(address, descr), c.brand);
        EXPECT_EQ(descr, c.descr);
        EXPECT_EQ(logMessages(), c.log);
    }
}

// While they are on, the identity the reading carries: see the makes' test.
TEST_F(Brand, SerialIsReadWithTheOidOfTheBrandWhileTheStandardReadingsAreOff) {
    setSetting(QStringLiteral("StandardPrinterMib"), QStringLiteral("0"));
    struct Case {
        std::string descr;
        QString serial;
        std::size_t requests;
    };
    const Case cases[] = {
        {"RICOH Aficio MP C3000", QStringLiteral("ricoh-id"), 2},
        {"Gestetner DSm415", QStringLiteral("ricoh-id"), 2},
        {"OKI OkiLAN 8200e", QStringLiteral("oki-id"), 2},
        {"HP ETHERNET", QStringLiteral("printer-mib-id"), 2},
        {"Brother NC-6400h", QString(), 1},
        {"KYOCERA Document", QString(), 1},
        {"Canon iR-ADV", QStringLiteral("unknow"), 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.descr);
        agent.clearRequests();
        serve(agent, {{"1.3.6.1.2.1.1.1.0", text(c.descr)},
                      {"1.3.6.1.4.1.367.3.2.1.2.1.4.0", text("ricoh-id")},
                      {"1.3.6.1.4.1.2001.1.1.1.1.11.1.10.45.0", text("oki-id")},
                      {"1.3.6.1.2.1.43.5.1.1.17.1", text("printer-mib-id")},
                      {"1.3.6.1.4.1.2435.2.3.9.4.2.1.5.5.1.0", text("brother-private-id")}});
        EXPECT_EQ(GetSerialByBrand(address), c.serial);
        EXPECT_EQ(agent.requestCount(), c.requests);
    }

    serve(agent, {{"1.3.6.1.2.1.1.1.0", text("RICOH Aficio MP C3000")}});
    EXPECT_EQ(GetSerialByBrand(address), reading::ReadFailed); // a failed identity read passes through
}

} // namespace
