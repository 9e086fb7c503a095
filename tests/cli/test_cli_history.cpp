// meterlane-cli history and usage over a store seeded as the cycle writes it (through the history class): a printer's
// rows in time order as JSON lines, CSV and text; its pages per month, week and day across a counter drop, another
// identity at the address and a month without its end, with a total per period.
#include "support/qtapplication.h"
#include "support/realagents.h"

#include "store/history.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

using testsupport::Cli;
using testsupport::runCommand;
using testsupport::splitLines;

namespace {

using namespace Qt::StringLiterals;

// Local days are UTC days here, so that a DATE means the same wherever the tests run.
const std::map<std::string, std::string> Utc{{"TZ", "UTC"}};

QDateTime utc(const char *text) { return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate); }

// printer-a's totals drop on 12-11 (its board replaced) and its January has no end; printer-b shows another identity
// at its address on 12-16, with higher totals. The marked reading carries a slot, a supply and a raised condition.
const struct Seeded {
    const char *host, *identity, *time;
    qint64 blackAndWhite, colour;
    bool marked = false;
} Readings[] = {
    {"printer-a", "A1", "2026-11-01T00:00:00Z", 1000, 500},  {"printer-a", "A1", "2026-11-16T00:00:00Z", 1300, 650},
    {"printer-a", "A1", "2026-12-01T00:00:00Z", 1600, 800},  {"printer-a", "A1", "2026-12-11T00:00:00Z", 100, 40, true},
    {"printer-a", "A1", "2027-01-01T00:00:00Z", 520, 145},   {"printer-a", "A1", "2027-01-11T00:00:00Z", 720, 165},
    {"printer-b", "B1", "2026-11-01T00:00:00Z", 5000, 0},    {"printer-b", "B1", "2026-12-01T00:00:00Z", 5500, 0},
    {"printer-b", "B2", "2026-12-16T00:00:00Z", 8000, 0},    {"printer-b", "B2", "2027-01-01T00:00:00Z", 8300, 0},
    {"printer-b", "B2", "2027-01-06T00:00:00Z", 8400, 0},
};

void seed(const QString &folder) {
    testsupport::ensureCoreApplication();
    store::History history(folder);
    ASSERT_TRUE(history.isOpen()) << history.failure().toStdString();
    store::ConditionEntry condition{u"printer-a"_s, u"tonerLow:black"_s, u"tonerLow"_s, u"Toner low: black"_s, 2,
                                    {}, {}};
    for (const Seeded &seeded : Readings) {
        store::ReadingRecord record;
        store::ReadingEntry &reading = record.reading;
        reading = {utc(seeded.time), QString::fromLatin1(seeded.host), QString::fromLatin1(seeded.identity),
                   u"Laser 1"_s, seeded.blackAndWhite, seeded.colour};
        reading.upload = store::Upload::Accepted;
        if (seeded.marked) {
            reading.printBlackAndWhite = 80;
            reading.upload = store::Upload::Waiting;
            record.supplies << store::SupplyEntry{reading.time, reading.host, 1, u"toner"_s, u"black"_s,
                                                  u"Toner \"XL\", black"_s, u"TN-1"_s, false, 40, u"ok"_s};
            condition.raised = reading.time;
            record.raised << condition;
        }
        ASSERT_NE(history.record(record), 0) << history.failure().toStdString();
    }
    condition.cleared = utc("2027-01-01T00:00:00Z");
    ASSERT_TRUE(history.recordConditions({}, {condition})) << history.failure().toStdString();
}

// usage --json's lines as "period host blackAndWhite colour complete|estimated", joined by "|" (the total's host:
// "total").
std::string usageRows(const std::string &out) {
    std::string rows;
    for (const std::string &line : splitLines(out)) {
        const QJsonObject row = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        rows += (rows.empty() ? "" : "|") +
                QStringLiteral("%1 %2 %3 %4 %5")
                    .arg(row["period"].toString(), row["host"].isNull() ? u"total"_s : row["host"].toString())
                    .arg(row["blackAndWhite"].toInteger())
                    .arg(row["colour"].toInteger())
                    .arg(row["complete"].toBool() ? u"complete"_s : u"estimated"_s)
                    .toStdString();
    }
    return rows;
}

} // namespace

// history: the rows of one printer from the first moment of --since's day to the last of --until's, a reading, its
// supply and its condition at one time in that order, each kind with its own fields.
TEST(CliHistory, HistoryShowsAPrintersRowsInTimeOrder) {
    QTemporaryDir folder;
    seed(folder.path());
    const std::string dir = folder.path().toStdString();

    const auto json = runCommand(
        {Cli, "history", "printer-a", "--since", "2026-12-11", "--until", "2026-12-31", "--json", "--folder", dir},
        Utc);
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(json.out,
              R"({"blackAndWhite":100,"colour":40,"identity":"A1","kind":"reading","model":"Laser 1",)"
              R"("printBlackAndWhite":80,"time":"2026-12-11T00:00:00Z","upload":"waiting"})"
              "\n"
              R"({"class":"consumed","colour":"black","description":"Toner \"XL\", black","index":1,"kind":"supply",)"
              R"("partNumber":"TN-1","percent":40,"state":"ok","supplyKind":"toner","time":"2026-12-11T00:00:00Z"})"
              "\n"
              R"({"cleared":"2027-01-01T00:00:00Z","conditionKind":"tonerLow","kind":"condition",)"
              R"("raised":"2026-12-11T00:00:00Z","severity":"warning","text":"Toner low: black",)"
              R"("time":"2026-12-11T00:00:00Z"})"
              "\n");

    const auto csv = runCommand({Cli, "history", "printer-a", "--since", "2026-12-11", "--until",
                                 "2026-12-11T00:00:00Z", "--csv", "--folder", dir},
                                Utc);
    const std::vector<std::string> lines = splitLines(csv.out);
    ASSERT_EQ(lines.size(), 4u) << csv.out << csv.err;
    EXPECT_EQ(lines[0], "time,kind,identity,model,blackAndWhite,colour,printBlackAndWhite,printColour,"
                        "copyBlackAndWhite,copyColour,fax,large,duplex,upload,index,supplyKind,class,supplyColour,"
                        "percent,state,description,partNumber,conditionKind,severity,text,raised,cleared");
    EXPECT_EQ(lines[2], "2026-12-11T00:00:00Z,supply,,,,,,,,,,,,,1,toner,consumed,black,40,ok,"
                        "\"Toner \"\"XL\"\", black\",TN-1,,,,,");

    const auto text = runCommand({Cli, "history", "printer-b", "--since", "2026-12-16", "--folder", dir}, Utc);
    EXPECT_EQ(text.out, "2026-12-16 00:00 reading B2 \"Laser 1\": 8000 black-and-white, 0 colour, upload accepted\n"
                        "2027-01-01 00:00 reading B2 \"Laser 1\": 8300 black-and-white, 0 colour, upload accepted\n"
                        "2027-01-06 00:00 reading B2 \"Laser 1\": 8400 black-and-white, 0 colour, upload accepted\n");

    EXPECT_EQ(runCommand({Cli, "history", "printer-a", "--until", "2026-12-32", "--folder", dir}).status, 2);
    const auto none = runCommand({Cli, "history", "printer-a", "--folder", (dir + "/elsewhere")});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("no history kept in "), std::string::npos) << none.err;
}

// usage: pages from the differences of the totals, taken as growing evenly between readings; a drop and another
// identity start a new series whose jump is not counted; a period is complete where one series spans it; each
// period's printers, then their total. Weeks are ISO weeks (2026 has a 53rd).
TEST(CliHistory, UsageCountsPagesPerPeriodAcrossDropsAndIdentities) {
    QTemporaryDir folder;
    seed(folder.path());
    const std::string dir = folder.path().toStdString();

    const auto months = runCommand({Cli, "usage", "--json", "--folder", dir}, Utc);
    EXPECT_EQ(months.status, 0) << months.err;
    EXPECT_EQ(usageRows(months.out),
              "2026-11 printer-a 600 300 complete|2026-11 printer-b 500 0 complete|2026-11 total 1100 300 complete|"
              "2026-12 printer-a 420 105 estimated|2026-12 printer-b 300 0 estimated|2026-12 total 720 105 estimated|"
              "2027-01 printer-a 200 20 estimated|2027-01 printer-b 100 0 estimated|2027-01 total 300 20 estimated");
    EXPECT_EQ(splitLines(months.out)[2], R"({"blackAndWhite":1100,"colour":300,"complete":true,"host":null,)"
                                         R"("period":"2026-11"})");

    const auto weeks = runCommand(
        {Cli, "usage", "printer-a", "--by", "week", "--since", "2026-12-21", "--json", "--folder", dir}, Utc);
    EXPECT_EQ(usageRows(weeks.out), "2026-W52 printer-a 140 35 complete|2026-W52 total 140 35 complete|"
                                    "2026-W53 printer-a 140 26 complete|2026-W53 total 140 26 complete|"
                                    "2027-W01 printer-a 140 14 complete|2027-W01 total 140 14 complete|"
                                    "2027-W02 printer-a 0 0 estimated|2027-W02 total 0 0 estimated");

    const auto days =
        runCommand({Cli, "usage", "printer-a", "--by", "day", "--since", "2026-12-10", "--json", "--folder", dir}, Utc);
    EXPECT_TRUE(usageRows(days.out).starts_with("2026-12-10 printer-a 0 0 estimated|2026-12-10 total 0 0 estimated|"
                                                "2026-12-11 printer-a 20 5 complete|"))
        << days.out;

    const auto csv = runCommand({Cli, "usage", "printer-b", "--since", "2027-01-01", "--csv", "--folder", dir}, Utc);
    EXPECT_EQ(csv.out, "host,period,blackAndWhite,colour,complete\r\nprinter-b,2027-01,100,0,false\r\n"
                       ",2027-01,100,0,false\r\n");

    QFile ini(folder.filePath(u"meterlane.ini"_s));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Settings]\r\nStandardPrinterMib=0\r\n");
    ini.close();
    const auto off = runCommand({Cli, "usage", "--folder", dir});
    EXPECT_EQ(off.status, 1);
    EXPECT_EQ(off.out, "");
    EXPECT_NE(off.err.find("no history is kept while StandardPrinterMib is 0"), std::string::npos) << off.err;
}
