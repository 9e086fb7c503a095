// meterlane-cli's tools for administrators and scripts: scrambler, vendor table, ini access, counter maps; the program
// folder the programs choose, and their options.
#include "support/files.h"
#include "support/printers.h"
#include "support/qtapplication.h"
#include "support/qtprint.h"
#include "support/realagents.h"

#include "store/history.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

using testsupport::runCommand;
using testsupport::splitLines;

namespace {

using namespace Qt::StringLiterals;

using testsupport::Cli;
const std::map<std::string, std::string> LoopbackService{{"METERLANE_SERVICE_URL", "http://127.0.0.1:8099"}};

void writeBytes(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// The service root of the first vendor that "vendors" prints, or what went wrong.
std::string firstRoot(const std::vector<std::string> &command, const std::map<std::string, std::string> &environment) {
    const auto result = runCommand(command, environment);
    const std::string first = splitLines(result.out).empty() ? "" : splitLines(result.out)[0];
    const std::size_t from = first.find(" upload="), to = first.find("/ylk/meter/upload?d=");
    if (result.status != 0 || from == std::string::npos || to == std::string::npos)
        return "status " + std::to_string(result.status) + ": " + result.out + result.err;
    return first.substr(from + 8, to - from - 8);
}

// The JSON objects of a command's lines.
std::vector<QJsonObject> jsonLines(const std::string &out) {
    std::vector<QJsonObject> objects;
    for (const std::string &line : splitLines(out))
        objects.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
    return objects;
}

// The elements of a JSON array joined by "|": texts as they are, objects by the values of keys joined by blanks, or
// whole without keys; sorted where the order does not matter.
QString joined(const QJsonValue &array, const QStringList &keys = {}, bool sorted = false) {
    QStringList elements;
    for (const QJsonValue element : array.toArray()) {
        QStringList values;
        for (const QString &key : keys) values << element[key].toVariant().toString();
        if (keys.isEmpty())
            values << QString::fromUtf8(QJsonDocument(element.toObject()).toJson(QJsonDocument::Compact));
        elements << (element.isString() ? element.toString() : values.join(u' '));
    }
    if (sorted) elements.sort();
    return elements.join(u'|');
}

const QStringList ConditionKeys{u"kind"_s, u"severity"_s, u"text"_s, u"since"_s};

// Stored levels of the host's supplies, as the cycle stores them once a day, ending 30 hours ago (a quarter day away
// from where the days left round): supply 3 falling a point a day for 19 days to 16 %, supply 1 for 13 days.
void seedLevels(const QString &folder, const std::string &host) {
    testsupport::ensureCoreApplication();
    store::History history(folder);
    const QDateTime last = QDateTime::currentDateTimeUtc().addSecs(-30 * 3600);
    for (int day = 19; day >= 0; --day) {
        store::ReadingRecord record;
        record.reading = {last.addDays(-day), QString::fromStdString(host), u"X1"_s, u"Laser"_s, 1000, 0};
        for (const auto &[index, lastPercent, days] : {std::tuple{3, 16, 19}, std::tuple{1, 64, 13}}) {
            if (day > days) continue;
            record.supplies << store::SupplyEntry{record.reading.time, record.reading.host, index, u"toner"_s,
                                                  u"cyan"_s, u"Toner"_s, u"TN"_s, false, lastPercent + day, u"ok"_s};
        }
        ASSERT_NE(history.record(record), 0) << history.failure().toStdString();
    }
}

} // namespace

TEST(CliTools, EncodeAndDecodeAreInverse) {
    const std::string text = "10.0.0.5;MP C3003;E 12;1073741823;;YLK;004 §";
    const auto encoded = runCommand({Cli, "encode", text});
    ASSERT_EQ(encoded.status, 0);
    ASSERT_EQ(splitLines(encoded.out).size(), 1u);
    const std::string scrambled = splitLines(encoded.out)[0];
    EXPECT_NE(scrambled, text);
    EXPECT_EQ(scrambled.size(), text.size());
    const auto decoded = runCommand({Cli, "decode", scrambled});
    EXPECT_EQ(decoded.status, 0);
    EXPECT_EQ(decoded.out, text + "\n");
    EXPECT_EQ(runCommand({Cli, "encode"}).status, 2);
    EXPECT_EQ(runCommand({Cli, "decode", "a", "b"}).status, 2);
}

TEST(CliTools, VendorsListsTheTableThenTheDefaultDownload) {
    QTemporaryDir folder;
    const auto result = runCommand({Cli, "vendors", "--folder", folder.path().toStdString()}, LoopbackService);
    ASSERT_EQ(result.status, 0);
    const auto lines = splitLines(result.out);
    ASSERT_EQ(lines.size(), 11u);
    for (std::size_t i = 0; i < 10; ++i) {
        for (const char *field : {" upload=http://127.0.0.1:8099/", " download=", " announcement=", " startup-portal=",
                                  " portal-button="})
            EXPECT_NE(lines[i].find(field), std::string::npos) << lines[i];
        EXPECT_EQ(lines[i].find("<token>") != std::string::npos, i < 8) << lines[i];
    }
    EXPECT_EQ(lines[10], "(other) download=http://127.0.0.1:8099/meter/pips?cid=");
    EXPECT_EQ(runCommand({Cli, "vendors", "extra"}).status, 2);
}

// A copy of the tool alone in its folder, as installed: its files go to the data folder, which a command that works
// on the program folder makes and others leave alone, unless the copy's own folder holds meterlane.ini or zov.vnd.
// The service root comes from [Vendor] ServiceRoot of the folder's meterlane.ini, else of zov.vnd (the folder's,
// else the system folder's), METERLANE_SERVICE_URL overriding both.
TEST(CliTools, ProgramFolderAndServiceRootInEffect) {
    QTemporaryDir scratch;
    ASSERT_TRUE(QDir(scratch.path()).mkpath(u"bin"_s));
    ASSERT_TRUE(QDir(scratch.path()).mkpath(u"etc"_s));
    const QString bin = scratch.filePath(u"bin"_s), data = scratch.filePath(u"data/meterlane"_s);
    ASSERT_TRUE(QFile::copy(QString::fromStdString(Cli), bin + u"/meterlane-cli"_s));
    const std::string copy = bin.toStdString() + "/meterlane-cli";
    std::map<std::string, std::string> environment{
        {"XDG_DATA_HOME", scratch.filePath(u"data"_s).toStdString()},
        {"METERLANE_SYSTEM_FOLDER", scratch.filePath(u"etc"_s).toStdString()},
        {"METERLANE_SERVICE_URL", ""}};
    const std::string builtIn = "https://meter.yonderlook.example";

    EXPECT_EQ(runCommand({copy, "encode", "x"}, environment).status, 0);
    EXPECT_FALSE(QFileInfo::exists(data));
    EXPECT_EQ(firstRoot({copy, "vendors"}, environment), builtIn);
    EXPECT_TRUE(QFileInfo(data).isDir());
    writeBytes(data + u"/meterlane.ini"_s, "[Vendor]\r\nServiceRoot=http://127.0.0.1:7/\r\n");
    EXPECT_EQ(firstRoot({copy, "vendors"}, environment), "http://127.0.0.1:7");

    writeBytes(bin + u"/meterlane.ini"_s, "[Vendor]\r\nServiceRoot=http://127.0.0.1:6\r\n");
    EXPECT_EQ(firstRoot({copy, "vendors"}, environment), "http://127.0.0.1:6");
    writeBytes(bin + u"/meterlane.ini"_s, "[Vendor]\r\nServiceRoot=\r\n");
    EXPECT_EQ(firstRoot({copy, "vendors"}, environment), builtIn);
    writeBytes(scratch.filePath(u"etc/zov.vnd"_s), "[Vendor]\r\nServiceRoot=http://127.0.0.1:4\r\n");
    EXPECT_EQ(firstRoot({copy, "vendors"}, environment), "http://127.0.0.1:4");
    QFile::remove(bin + u"/meterlane.ini"_s);
    writeBytes(bin + u"/zov.vnd"_s, "[Vendor]\r\nID=YLK\r\n");
    EXPECT_EQ(firstRoot({copy, "vendors"}, environment), builtIn);
    EXPECT_EQ(firstRoot({copy, "vendors", "--folder", data.toStdString()}, environment), "http://127.0.0.1:7");

    environment["METERLANE_SERVICE_URL"] = "http://127.0.0.1:5";
    EXPECT_EQ(firstRoot({copy, "vendors", "--folder", data.toStdString()}, environment), "http://127.0.0.1:5");
    EXPECT_EQ(QDir(bin).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              QStringList({u"meterlane-cli"_s, u"zov.vnd"_s}));
}

// The counter maps in effect: the build's, an entry of the system folder replacing one whole but for the recognition
// keys it does not name (the printer answers the replaced entry's colour counter, which is no longer read), a new one
// of the program folder; what a file holds that is not read is named, and makes maps fail. read shows what the entry
// in effect filled, a packed record's and a sum's parts too.
TEST(CliTools, MapsAndReadNameTheEntriesInEffectAndTheirFiles) {
    const std::string counter = "1.3.6.1.4.1.1347.42.3.1.2.1.1.1.";
    const auto printers = testsupport::startPrinters(
        {{"kyocera", {{counter + "1", "2|248407"}, {counter + "3", "2|98892"}}}, "brother-mfc", "samsung"});
    for (const auto &printer : printers) ASSERT_AGENT(*printer);
    const testsupport::SimulatedPrinter &kyocera = *printers[0];
    QTemporaryDir scratch;
    ASSERT_TRUE(QDir(scratch.path()).mkpath(u"etc"_s));
    const QString etcMaps = scratch.filePath(u"etc/counter-maps.ini"_s);
    writeBytes(etcMaps, "[kyocera]\nSlot2 = 1.3.6.1.4.1.1347.42.3.1.2.1.1.1.1 ; own choice\nSlot4 = .1.3.6.1.4.1.1347\n"
                        "Slot6 = A, B\nSlot27 = 1.2.3\n");
    writeBytes(scratch.filePath(u"counter-maps.ini"_s),
               "[Acme]\r\nWords = ACME\r\n[Nobody]\r\nSlot2 = 1.2.3\r\n[ACME]\r\nWords = ACME2\r\n");
    const std::map<std::string, std::string> environment{
        {"METERLANE_SYSTEM_FOLDER", scratch.filePath(u"etc"_s).toStdString()}};
    const std::string folder = scratch.path().toStdString(), etc = etcMaps.toStdString();

    const auto maps = runCommand({Cli, "maps", "--folder", folder}, environment);
    EXPECT_EQ(maps.status, 1) << maps.err;
    const std::string installed = METERLANE_BIN_DIR "/counter-maps.ini";
    const std::string replaced = "[kyocera] " + etc + " (replaces the entry of " + installed +
                                 ") (its Enterprise and Words from " + installed + ")\n"
                                 "  enterprise 1347\n  words KYOCERA, Copystar, Triumph-Adler, UTAX\n"
                                 "  slot 2 Total Prints: Black & White: " + counter + "1 ; own choice\n[";
    EXPECT_NE(maps.out.find(replaced), std::string::npos) << maps.out;
    const std::string where = "meterlane-cli: " + etc + " [kyocera]: ";
    EXPECT_EQ(maps.err, where + "Slot4: \".1.3.6.1.4.1.1347\" is no candidate, left out\n" +
                            where + "Slot6: \"A,\" is no candidate, left out\n" +
                            where + "Slot6: \"B\" is no candidate, left out\n" +
                            where + "Slot27: not a key of a counter map (Enterprise, Words, Slot1 to Slot26), left out\n"
                            "meterlane-cli: " + folder + "/counter-maps.ini [Acme]: a later section of the same name is "
                            "not read, left out\n"
                            "meterlane-cli: " + folder + "/counter-maps.ini [Nobody]: no Enterprise or Words: no printer is "
                            "recognised by it\n");
    EXPECT_NE(maps.out.find("[HP] " METERLANE_BIN_DIR "/counter-maps.ini\n"), std::string::npos) << maps.out;
    EXPECT_NE(maps.out.find("[Acme] " + folder + "/counter-maps.ini\n  words ACME\n"), std::string::npos) << maps.out;

    const auto read = runCommand({Cli, "read", kyocera.address(), "--folder", folder}, environment);
    EXPECT_EQ(read.status, 0) << read.err;
    const std::vector<std::string> lines = splitLines(read.out);
    const auto maker = std::find(lines.begin(), lines.end(), "maker: kyocera");
    ASSERT_TRUE(lines.end() - maker >= 4) << read.out;
    EXPECT_EQ(maker[1], "slot 1 Counter: Machine Total: 1.3.6.1.2.1.43.10.2.1.4.1.1 = 45678 (prtMarkerLifeCount)");
    EXPECT_EQ(maker[2], "slot 2 Total Prints: Black & White: " + counter + "1 = 248407 (kyocera in " + etc + ")");
    EXPECT_EQ(maker[3].substr(0, 9), "identity:");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "totals: 248407;0"), lines.end()) << read.out;

    const std::string brother = runCommand({Cli, "read", printers[1]->address(), "--folder", folder}, environment).out;
    EXPECT_NE(brother.find("slot 2 Total Prints: Black & White: 1.3.6.1.4.1.2435.2.3.9.4.2.1.5.5.10.0#01 = 19876 (Brother in " +
                           installed + ")\n  record 01 = 19876\nslot 3 "),
              std::string::npos)
        << brother;
    const std::string samsung = runCommand({Cli, "read", printers[2]->address(), "--folder", folder}, environment).out;
    const std::string job = "1.3.6.1.4.1.236.11.5.11.53.11.2.1.";
    EXPECT_NE(samsung.find("[" + job + "2=1;" + job + "4=7;" + job + "6=1|2] = 15396 (Samsung in " + installed + ")\n  " +
                           job + "7.1.4 = 12903\n  " + job + "7.1.5 = 2116\n  " + job + "7.1.6 = 377\nslot 6 "),
              std::string::npos)
        << samsung;
}

// Both programs take --version and --help; the tool says what each command does; an unknown option is a usage
// error, before or after the command.
TEST(CliTools, VersionHelpAndUnknownOptions) {
    const std::map<std::string, std::string> offscreen{{"QT_QPA_PLATFORM", "offscreen"}};
    const std::string desktop = METERLANE_BIN_DIR "/meterlane";
    const auto version = runCommand({Cli, "--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "meterlane-cli " METERLANE_VERSION "\n");
    EXPECT_EQ(runCommand({desktop, "--version"}, offscreen).out, "meterlane " METERLANE_VERSION "\n");

    const auto help = runCommand({Cli, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("  meterlane-cli cycle [--folder DIR]\n"), std::string::npos) << help.out;
    const auto desktopHelp = runCommand({desktop, "--help"}, offscreen);
    EXPECT_EQ(desktopHelp.status, 0);
    EXPECT_NE(desktopHelp.out.find("--folder <DIR>"), std::string::npos) << desktopHelp.out;
    const auto one = runCommand({Cli, "help", "read"});
    EXPECT_EQ(one.status, 0);
    ASSERT_EQ(splitLines(one.out).size(), 2u) << one.out;
    EXPECT_EQ(splitLines(one.out)[0], "usage: meterlane-cli read HOST [--folder DIR]");

    for (const std::vector<std::string> &wrong :
         {std::vector<std::string>{Cli, "--bogus", "vendors"}, {Cli, "vendors", "--bogus"}, {Cli, "cycle", "--folder"},
          {Cli, "help", "nothing"}, {desktop, "--bogus"}, {desktop, "extra"}}) {
        const auto result = runCommand(wrong, offscreen);
        EXPECT_EQ(result.status, 2) << wrong[1];
        EXPECT_NE(result.err, "") << wrong[1];
    }
}

TEST(CliTools, IniSetAndGetGoThroughTheConfigurationFile) {
    QTemporaryDir folder;
    const std::string ini = folder.filePath("meterlane.ini").toStdString();
    EXPECT_EQ(runCommand({Cli, "ini", "get", ini, "Settings", "TonerLow"}).status, 1); // no file yet
    EXPECT_EQ(runCommand({Cli, "ini", "set", ini, "Settings", "TonerLow", "25"}).status, 0);
    EXPECT_EQ(runCommand({Cli, "ini", "set", ini, "Pips", "pip001", "10.0.0.5:0;4;6;8"}).status, 0);
    const auto value = runCommand({Cli, "ini", "get", ini, "settings", "TONERLOW"});
    EXPECT_EQ(value.status, 0);
    EXPECT_EQ(value.out, "25\n");
    EXPECT_EQ(runCommand({Cli, "ini", "get", ini, "pips", "pip001"}).out, "10.0.0.5:0;4;6;8\n");
    EXPECT_EQ(runCommand({Cli, "ini", "get", ini, "pips", "pip002"}).out, "\n");

    QFile file(folder.filePath("meterlane.ini"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "[Settings]\r\nTonerLow=25\r\n[Pips]\r\npip001=10.0.0.5:0;4;6;8\r\n");

    const std::string nowhere = folder.filePath("missing/meterlane.ini").toStdString();
    EXPECT_EQ(runCommand({Cli, "ini", "set", nowhere, "A", "b", "c"}).status, 1);
    EXPECT_EQ(runCommand({Cli, "ini", "get", ini, "Settings"}).status, 2);
    EXPECT_EQ(runCommand({Cli, "ini", "put", ini, "A", "b", "c"}).status, 2);
}

// outbox --send with an outbox it cannot use sends nothing and exits 1, saying why on standard error: a file that is
// no outbox is set aside (and where to is said), a folder in the file's place cannot be read.
TEST(CliTools, OutboxSendFailsOnAnOutboxItCannotUse) {
    const struct {
        const char *outbox;
        QString said; // %1: the outbox file
    } cases[] = {{"corrupt", "%1 is not an outbox file: set aside as %1.corrupt-"},
                 {"folder", "Cannot read %1: file to open is a directory\n"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.outbox);
        QTemporaryDir folder;
        const QString outbox = folder.filePath("outbox");
        if (c.outbox == "corrupt"_L1) writeBytes(outbox, "{\"readings\": [");
        else ASSERT_TRUE(QDir().mkdir(outbox));
        const auto sent =
            runCommand({Cli, "outbox", "--send", "--folder", folder.path().toStdString()}, LoopbackService);
        EXPECT_EQ(sent.status, 1) << sent.err;
        EXPECT_NE(sent.err.find(c.said.arg(outbox).toStdString()), std::string::npos) << sent.err;
        EXPECT_EQ(sent.out, "");
    }
}

// status HOST... --json reads the printers now, one object a line: the error bits from the first octet's most
// significant bit on, in every octet; the printer's device row found by its type; every alert row whatever its
// index, a supply's colour through its colorant; the panel in its console's character set; rows that are states and
// a unary warning older than a day give no condition. A host beside the agents' pool, where no agent is ever started,
// is not answering and makes the status 1; a mute of alerts.ini takes a condition away; StandardPrinterMib=0 reads
// nothing.
TEST(CliTools, StatusReadsPrintersNowAndShowsTheirSignalsAndConditions) {
    const struct {
        const char *printer, *statuses, *errorBits, *alertCodes, *panel, *conditions;
    } cases[] = {
        {"state-jam", "down other", "jammed", "1104|8", "13.B2 Jam in tray 2|Open tray 2 and remove paper",
         "jam critical Paper jam: tray 2 |tonerLow warning Toner low: cyan "},
        {"state-cover", "down other", "doorOpen", "23|3|808", "Cover is Open|Close the Front Cover.",
         "coverOpen critical Cover open: cover 1 |drumEnd critical Drum at end of life "},
        {"state-kyocera-lowtoner", "warning idle", "lowToner", "1001", "Ready to print.|Toner is low.",
         "tonerLow warning Toner low "},
        {"state-two-octets", "warning idle", "inputTrayEmpty|overduePreventMaint", "",
         "Tray 2 is empty|Maintenance kit due",
         "paperOut warning Out of paper |maintenanceDue warning Maintenance due "},
        {"state-old-warning", "warning idle", "", "807|902", "Ready|Standard Bin Nearly Full",
         "outputNearFull notice Output tray nearly full: output bin 1 "},
        {"state-latin2", "warning idle", "", "40000", "Doplňte papír|Tiskárna čeká",
         "alert40000 notice Staples low: finisher 1 "},
        {"state-healthy", "running idle", "", "", "Ready", ""},
        {"state-healthy-empty", "running printing", "", "", "", ""},
    };
    std::vector<testsupport::PrinterData> data;
    for (const auto &c : cases) data.emplace_back(c.printer);
    const auto printers = testsupport::startPrinters(data);
    QTemporaryDir folder;
    std::vector<std::string> command{Cli, "status", "--json", "--folder", folder.path().toStdString()};
    for (const auto &printer : printers) {
        ASSERT_AGENT(*printer);
        command.push_back(printer->address());
    }
    command.push_back("127.100.100.139");

    const auto status = runCommand(command, {{"QUORREL_TIMEOUT_MS", "300"}, {"QUORREL_RETRIES", "0"}});
    EXPECT_EQ(status.status, 1) << status.err;
    const std::vector<QJsonObject> lines = jsonLines(status.out);
    ASSERT_EQ(lines.size(), std::size(cases) + 1) << status.out;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const QJsonObject &line = lines[i];
        SCOPED_TRACE(cases[i].printer);
        EXPECT_EQ(line["host"].toString().toStdString(), printers[i]->address());
        EXPECT_TRUE(line["answered"].toBool());
        EXPECT_EQ(line["deviceStatus"].toString() + u' ' + line["printerStatus"].toString(), cases[i].statuses);
        EXPECT_EQ(joined(line["errorBits"]), cases[i].errorBits);
        EXPECT_EQ(joined(line["alerts"], {u"code"_s}, true), cases[i].alertCodes);
        EXPECT_EQ(joined(line["panel"]), cases[i].panel);
        EXPECT_EQ(joined(line["conditions"], ConditionKeys), cases[i].conditions);
    }
    EXPECT_EQ(joined(lines[0]["alerts"], {}, true),
              R"({"code":1104,"codeName":"markerTonerAlmostEmpty","description":"Cyan toner almost empty",)"
              R"("group":"markerSupplies","groupIndex":3,"location":-2,"severity":"warningBinaryChangeEvent",)"
              R"("training":"trained"}|{"code":8,"codeName":"jam","description":"Paper jam in tray 2","group":"input",)"
              R"("groupIndex":2,"location":5,"severity":"critical","training":"untrained"})");
    EXPECT_EQ(QJsonDocument(lines.back()).toJson(QJsonDocument::Compact),
              R"({"alerts":[],"answered":false,"conditions":[],"deviceStatus":null,"errorBits":[],)"
              R"("host":"127.100.100.139","panel":[],"printerStatus":null})");

    const std::string jam = printers[0]->address();
    writeBytes(folder.filePath(u"alerts.ini"_s),
               QByteArray::fromStdString("[Mute Cyan]\nHosts=" + jam + "\nKinds=tonerLow:cyan\n"));
    const auto muted = runCommand({Cli, "status", jam, "--folder", folder.path().toStdString()});
    EXPECT_EQ(muted.status, 0) << muted.err;
    EXPECT_TRUE(muted.out.ends_with("\n  critical: Paper jam: tray 2\n")) << muted.out;

    writeBytes(folder.filePath(u"meterlane.ini"_s), "[Settings]\r\nStandardPrinterMib=0\r\n");
    const auto off = runCommand({Cli, "status", jam, "--folder", folder.path().toStdString()});
    EXPECT_EQ(off.status, 1);
    EXPECT_EQ(off.out, "");
    EXPECT_NE(off.err.find("conditions are not read while StandardPrinterMib is 0"), std::string::npos) << off.err;
    EXPECT_EQ(runCommand({Cli, "status", "--bogus"}).status, 2);
}

// status without hosts: the raised conditions remembered for each monitored printer, once per host, from
// condition-state.json, which it leaves as it was; a silent printer, and one never read, make the status 1.
TEST(CliTools, StatusWithoutHostsShowsTheRememberedConditions) {
    QTemporaryDir folder;
    writeBytes(folder.filePath(u"meterlane.ini"_s),
               "[Pips]\r\npip001=printer-a\r\npip002=printer-b:0,4,6\r\npip003=printer-a\r\npip004=printer-c\r\n");
    const QByteArray state = R"({"version": 1, "printers": {
        "printer-a": {"silentSince": "2026-12-01T08:00:00Z", "lastAnswer": "2026-12-01T07:55:00Z", "conditions": [
            {"key": "jam", "kind": "jam", "text": "Paper jam", "severity": 3, "since": "2026-12-01T07:50:00Z",
             "raised": true},
            {"key": "paperLow", "kind": "paperLow", "text": "Paper low", "severity": 1}]},
        "printer-b": {"lastAnswer": "2026-12-01T07:55:00Z", "deviceStatus": 2, "printerStatus": 3,
                      "panel": ["Ready"]}}})";
    writeBytes(folder.filePath(u"condition-state.json"_s), state);

    const auto json = runCommand({Cli, "status", "--json", "--folder", folder.path().toStdString()});
    EXPECT_EQ(json.status, 1) << json.err;
    const std::vector<QJsonObject> lines = jsonLines(json.out);
    ASSERT_EQ(lines.size(), 3u) << json.out;
    EXPECT_EQ(lines[0]["host"].toString() + u' ' + joined(lines[0]["conditions"], ConditionKeys),
              u"printer-a jam critical Paper jam 2026-12-01T07:50:00Z"_s);
    EXPECT_FALSE(lines[0]["answered"].toBool());
    EXPECT_EQ(QJsonDocument(lines[1]).toJson(QJsonDocument::Compact),
              R"({"alerts":[],"answered":true,"conditions":[],"deviceStatus":"running","errorBits":[],)"
              R"("host":"printer-b","panel":["Ready"],"printerStatus":"idle"})");
    EXPECT_FALSE(lines[2]["answered"].toBool());

    const auto text = runCommand({Cli, "status", "--folder", folder.path().toStdString()});
    EXPECT_NE(text.out.find("printer-a: not answering since "), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("printer-c: no condition remembered\n"), std::string::npos) << text.out;
    EXPECT_EQ(testsupport::readBytes(folder.filePath(u"condition-state.json"_s)), state);
}

// supplies: every row of each printer under the printer's device index, each field as its rule gives it: colour
// through the colorant index (supplies ordered yellow to black, colorants black to yellow) or from the description's
// words, a receptacle's fill as how full it is, -2 and -3 as words without a percent, a level above its maximum as
// full, NUL bytes dropped and a serial split off, the maker's part and serial numbers matched by description. A
// printer asked by a version 2c profile (GetBulk; snmpd, which answers nothing else) gives the same supplies, and a
// silent host makes the status 1. Days left come from the levels history.sqlite keeps of the host: known after 19
// days of a falling level, not after 13. Without hosts, the monitored printers as text with the conditions of the
// levels.
TEST(CliTools, SuppliesReadsEveryRowTheWayTheStandardMeansIt) {
    const auto printers =
        testsupport::startPrinters({"supplies-laser", "supplies-inkjet", "supplies-device2", "supplies-lexmark"});
    const testsupport::SimulatedPrinter v2c("supplies-laser", {}, true, testsupport::PrinterAccess::V2cOnly);
    QTemporaryDir folder;
    const std::string device2 = printers[2]->address();
    writeBytes(folder.filePath(u"meterlane.ini"_s),
               QByteArray::fromStdString("[Settings]\r\nTonerLow=20\r\n[Pips]\r\npip001=" + printers[0]->address() +
                                         "\r\npip002=" + device2 + "\r\n"));
    QFile credentials(folder.filePath(u"snmp-credentials.ini"_s));
    const std::string profiles = "[site]\nVersion=2c\nCommunity=site2c\nHosts=" + v2c.address() + "\n[all]\n";
    writeBytes(credentials.fileName(), QByteArray::fromStdString(profiles + "Version=1\nCommunity=public\n"));
    credentials.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    std::vector<std::string> command{Cli, "supplies", "--json", "--folder", folder.path().toStdString()};
    for (const auto &printer : printers) {
        ASSERT_AGENT(*printer);
        command.push_back(printer->address());
    }
    ASSERT_AGENT(v2c);
    command.insert(command.end(), {v2c.address(), "127.100.100.139"});
    for (const std::string &host : {printers[0]->address(), v2c.address()}) seedLevels(folder.path(), host);

    const auto json = runCommand(command, {{"QUORREL_TIMEOUT_MS", "300"}, {"QUORREL_RETRIES", "0"}});
    EXPECT_EQ(json.status, 1) << json.err;
    const std::vector<QJsonObject> lines = jsonLines(json.out);
    ASSERT_EQ(lines.size(), 6u) << json.out;
    const QStringList keys{u"kind"_s, u"class"_s, u"colour"_s, u"percent"_s, u"state"_s, u"daysLeft"_s, u"level"_s,
                           u"max"_s, u"unit"_s, u"description"_s, u"partNumber"_s, u"serial"_s, u"cartridgeType"_s,
                           u"pagesAtInstall"_s};
    const struct {
        int printer, index;
        const char *fields;
    } rows[] = {
        {0, 1, "toner|consumed|yellow|64|ok|null|64|100|percent|Toner TN-328Y|null|null|null|null"},
        {0, 3, "toner|consumed|cyan|15|low|15|15|100|percent|Toner TN-328C|null|null|null|null"},
        {0, 11, "waste toner|receptacle|null|95|nearly full|null|5|100|percent|Waste Toner Box|null|null|null|null"},
        {1, 4, "ink cartridge|consumed|yellow|8|low|null|8|100|percent|Tintenpatrone Gelb T9444|null|null|null|null"},
        {1, 5, "other|receptacle|null|70|ok|null|30|100|percent|Maintenance Box|null|null|null|null"},
        {2, 1, "toner|consumed|black|null|some remaining|null|null|100|percent|Black Toner Cartridge|null|null|null|"
               "null"},
        {3, 6, "drum (opc)|consumed|null|80|ok|null|120000|150000|impressions|Imaging Unit|74C0ZV0|IU4A7B1234|shipped "
               "with the printer|0"},
    };
    for (const auto &row : rows) {
        const QJsonValue supply = lines[row.printer]["supplies"][row.index - 1];
        QStringList values;
        for (const QString &key : keys)
            values << (supply[key].isNull() ? u"null"_s : supply[key].toVariant().toString());
        EXPECT_EQ(values.join(u'|'), row.fields) << printers[row.printer]->name() << " supply " << row.index;
    }
    EXPECT_EQ(lines[2]["deviceIndex"].toInt(), 2);
    EXPECT_EQ(QJsonDocument(lines[2]["supplies"][3].toObject()).toJson(QJsonDocument::Compact),
              R"({"cartridgeType":null,"class":"consumed","colour":null,"daysLeft":null,)"
              R"("description":"Maintenance Kit","index":4,)"
              R"("kind":"other","level":190000,"max":200000,"pagesAtInstall":null,"partNumber":null,"percent":95,)"
              R"("serial":"ABC123","state":"ok","unit":"impressions"})");
    EXPECT_EQ(lines[4]["supplies"], lines[0]["supplies"]) << "through GetBulk";
    EXPECT_EQ(QJsonDocument(lines[5]).toJson(QJsonDocument::Compact),
              R"({"answered":false,"deviceIndex":null,"host":"127.100.100.139","supplies":[]})");

    const auto text = runCommand({Cli, "supplies", "--folder", folder.path().toStdString()});
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_NE(
        text.out.find("  3 toner cyan: 15 % left (low), about 15 days left, 15 of 100 percent, \"Toner TN-328C\"\n"),
        std::string::npos)
        << text.out;
    EXPECT_TRUE(text.out.ends_with(
        "  11 waste toner: 95 % full (nearly full), days left not yet known, space 5 of 100 percent, "
        "\"Waste Toner Box\"\n"
        "  warning: Toner low: cyan\n  critical: Drum at end of life: cyan\n  warning: Waste toner box nearly full\n" +
        device2 + ": answers, device 2\n"
        "  1 toner black: some remaining, maximum 100 percent, \"Black Toner Cartridge\"\n"
        "  2 drum (opc): unknown, maximum 80000 impressions, \"Drum Cartridge\"\n"
        "  3 fuser: 100 % left (above its maximum), days left not yet known, 112000 of 100000 impressions, \"Fuser\"\n"
        "  4 other: 95 % left, days left not yet known, 190000 of 200000 impressions, \"Maintenance Kit\", serial "
        "ABC123\n"
        "  notice: Black toner: some remaining\n"))
        << text.out;

    writeBytes(folder.filePath(u"meterlane.ini"_s), "[Settings]\r\nStandardPrinterMib=0\r\n");
    const auto off = runCommand({Cli, "supplies", device2, "--folder", folder.path().toStdString()});
    EXPECT_EQ(off.status, 1);
    EXPECT_EQ(off.out, "");
    EXPECT_NE(off.err.find("supplies are not read while StandardPrinterMib is 0"), std::string::npos) << off.err;
}
