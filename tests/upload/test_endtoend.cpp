// The main job end to end: meterlane-cli runs read-and-send cycles against simulated printers of every make, and
// the development service decodes and stores what arrives.
#include "store/config.h"
#include "store/folderlock.h"
#include "store/history.h"
#include "upload/outbox.h"
#include "store/servicetable.h"

#include "support/devservice.h"
#include "support/printers.h"
#include "support/qtapplication.h"
#include "support/qtprint.h"

#include <gtest/gtest.h>

#include <regex>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <functional>
#include <optional>

using testsupport::DevService;
using testsupport::runCommand;
using testsupport::SimulatedPrinter;

namespace {

using testsupport::Cli;

class EndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        testsupport::ensureCoreApplication();
    }

    void writeIni(const QStringList &lines, const QString &customerCode = {}) {
        QFile file(program.filePath("meterlane.ini"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(("[General]\r\nver=2.7.9\r\n[Settings]\r\nTonerLow=20\r\nTonerLowNotNotify=1\r\n[Vendor]\r\nID=" +
                    store::vendorTable()[0].vendorId + "\r\nCID=" + customerCode + "\r\n" + lines.join("\r\n") + "\r\n")
                       .toUtf8());
    }

    testsupport::CommandResult cycle(const QString &root, std::map<std::string, std::string> environment = {}) {
        environment.insert({{"METERLANE_SERVICE_URL", root.toStdString()}, {"QUORREL_TIMEOUT_MS", "300"}});
        return runCommand({Cli, "cycle", "--folder", program.path().toStdString()}, environment);
    }

    // The latest stored totals and identity of each printer address.
    std::map<QString, std::tuple<QString, qint64, qint64>> stored() {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "check");
        db.setDatabaseName(database);
        std::map<QString, std::tuple<QString, qint64, qint64>> out;
        if (db.open()) {
            QSqlQuery query("SELECT address, identity, c2, c3 FROM readings ORDER BY id", db);
            while (query.next())
                out[query.value(0).toString()] = {query.value(1).toString(), query.value(2).toLongLong(),
                                                  query.value(3).toLongLong()};
        }
        db.close();
        return out;
    }

    // The readings waiting in the program folder's outbox.
    QList<upload::WaitingReading> waiting() {
        QFile file(program.filePath("outbox"));
        const auto readings = upload::parseOutbox(file.open(QIODevice::ReadOnly) ? file.readAll() : "");
        return readings.value_or(QList<upload::WaitingReading>{});
    }

    QTemporaryDir program, data;
    QString database = data.filePath("service.sqlite");
};

} // namespace

TEST_F(EndToEnd, EveryMakeIsReadSentAndDecodedWithItsCounters) {
    const std::vector<testsupport::PrinterData> makes{"ricoh", "oki", "hp", "brother", "kyocera"};
    auto printers = testsupport::startPrinters(makes);
    QStringList pips{"[Pips]"};
    for (std::size_t i = 0; i < printers.size(); ++i) {
        ASSERT_AGENT(*printers[i]);
        pips << QStringLiteral("pip%1=%2").arg(i + 1, 3, 10, QLatin1Char('0')).arg(QString::fromStdString(printers[i]->address()));
    }
    writeIni(pips);
    DevService service(database);
    ASSERT_FALSE(service.root().isEmpty());

    const auto first = cycle(service.root());
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_NE(first.err.find("Last Update "), std::string::npos) << first.err;
    EXPECT_NE(first.err.find("toner low: MP C3003 (): Cyan = 15%; Magenta Empty!!!; Yellow < 20%\n"), std::string::npos)
        << first.err;
    auto readings = stored();
    ASSERT_EQ(readings.size(), makes.size()) << first.err;
    const auto totalsOf = [&](std::size_t i) { return readings[QString::fromStdString(printers[i]->address())]; };
    EXPECT_EQ(totalsOf(0), std::make_tuple(QString("E174M610045"), qint64{92110}, qint64{62220}));
    EXPECT_EQ(totalsOf(1), std::make_tuple(QString("AK59012345"), qint64{23456}, qint64{34567}));
    EXPECT_EQ(totalsOf(2), std::make_tuple(QString("CNRXB12345"), qint64{87654}, qint64{0}));
    EXPECT_EQ(totalsOf(3), std::make_tuple(QString("L5J123456"), qint64{12873}, qint64{0}));
    EXPECT_EQ(totalsOf(4), std::make_tuple(QString("VCF8Z01234"), qint64{45678}, qint64{0})); // the Printer MIB

    // The second cycle sends again, without searching the key points anew.
    const auto second = cycle(service.root());
    EXPECT_EQ(second.err.find("Scanning "), std::string::npos) << second.err;
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "count");
    db.setDatabaseName(database);
    ASSERT_TRUE(db.open());
    QSqlQuery count("SELECT COUNT(*) FROM readings", db);
    ASSERT_TRUE(count.next());
    EXPECT_EQ(count.value(0).toInt(), 2 * static_cast<int>(makes.size()));
}

// Colour and monochrome machines of the common makers at addresses of 15 characters, read as the cycles read them,
// the first searching each key point, the next ones reading what it stored (the longest kept beside the
// configuration file): the service stores, at every reading, the black-and-white and colour totals of the maker's own
// counters (their sources, never the counter maps, are in tests/agents/printers/README.md), and the two add up to the
// life count but for what the notes say the maker leaves out. A Canon without its black-and-white counter keeps the
// life count and no colour rather than count colour twice; an Epson finds its black-and-white counter where other
// models keep it; an operator's entry fills twelve slots; Brothers, a Samsung and a Pantum are read from packed
// records and summed table rows. A key point stored whole by an earlier release, which reads
// back cut, is searched again; with StandardPrinterMib=0 so is a key point kept beside the file, and the life count is
// the black-and-white total again, as before the maps; no printer's condition is read or kept then.
TEST_F(EndToEnd, EachMakersOwnCountersGiveTheTotalsStoredAtEveryReading) {
    struct Machine {
        std::string name;
        testsupport::RecordChanges changes;
        qint64 bw, colour;
        qint64 uncounted; // life count - (black-and-white + colour), as the printer's notes explain
    };
    const std::string canon = "1.3.6.1.4.1.1602.1.11.1.", epson = "1.3.6.1.4.1.1248.1.2.2.27.1.1.",
                      own = "1.3.6.1.4.1.11.2.99.";
    testsupport::RecordChanges twelve{{"1.3.6.1.2.1.25.3.2.1.3.1", "4|HP Color LaserJet Meter12"}};
    for (int slot = 1; slot <= 12; ++slot) twelve[own + std::to_string(slot) + ".0"] = "65|" + std::to_string(slot * 100);
    twelve[own + "2.0"] = "65|40117";
    twelve[own + "3.0"] = "65|18204";
    const Machine machines[] = {
        {"hp-color", {}, 40117, 18204, 0},          {"hp-mono", {}, 152877, 0, 0},
        {"kyocera-color", {}, 254963, 105900, 4332}, {"kyocera-mono", {}, 82365, 0, 737},
        {"konica-minolta", {}, 84462, 38351, 0},    {"sharp", {}, 91164, 29940, 0},
        {"xerox", {}, 19735, 10999, 0},             {"canon", {}, 203021, 10381, 0},
        {"epson", {}, 39797, 41766, 0},
        {"canon", {{canon + "4.1.4.108", ""}, {canon + "3.1.4.108", ""}}, 213402, 0, 0},
        {"epson", {{epson + "3.1.1", ""}, {epson + "6.1.1", "65|39797"}}, 39797, 41766, 0},
        {"hp-color", twelve, 40117, 18204, 0},
        // Packed records: a colour Brother, a monochrome one (record 00 only: the life count), one of mixed record
        // lengths, and one with the counter table instead; a Samsung's job table summed; a Pantum.
        {"brother-mfc", {}, 19876, 11539, 0}, {"brother-mono", {}, 69411, 0, 0},
        {"brother-mixed", {}, 29951, 12061, 0}, {"brother-table", {}, 15106, 8765, 0},
        {"samsung", {}, 63001, 18184, 69}, // reports
        {"pantum", {}, 1886, 0, 0},
    };
    QFile operatorMap(program.filePath("counter-maps.ini"));
    ASSERT_TRUE(operatorMap.open(QIODevice::WriteOnly));
    operatorMap.write("[HP | *Meter12]\r\n");
    for (int slot = 1; slot <= 12; ++slot)
        operatorMap.write(QStringLiteral("Slot%1 = %2%1.0\r\n").arg(QString::number(slot), own.c_str()).toUtf8());
    operatorMap.close();

    std::vector<testsupport::PrinterData> served;
    for (const Machine &machine : machines) served.push_back({machine.name, machine.changes});
    const auto printers = testsupport::startPrinters(served);
    const auto address = [&](std::size_t i) { return QString::fromStdString(printers[i]->address()); };
    QStringList pips{"[Pips]"};
    for (std::size_t i = 0; i < printers.size(); ++i) {
        ASSERT_AGENT(*printers[i]);
        ASSERT_EQ(address(i).size(), 15);
        pips << QStringLiteral("pip%1=%2").arg(i + 1, 3, 10, QLatin1Char('0')).arg(address(i));
    }
    const auto lifeCount = [](const Machine &machine) {
        std::string why;
        static const QRegularExpression record(R"(^1\.3\.6\.1\.2\.1\.43\.10\.2\.1\.4\.1\.1\|65\|(\d+)$)",
                                               QRegularExpression::MultilineOption);
        return record.match(QString::fromStdString(SimulatedPrinter::data(machine.name, machine.changes, why)))
            .captured(1)
            .toLongLong();
    };
    writeIni(pips);
    DevService service(database);
    ASSERT_FALSE(service.root().isEmpty());
    const QString ini = program.filePath("meterlane.ini");
    const auto stored = [&](int slot) { return store::ReadIniValue(ini, "Pips", QStringLiteral("pip%1").arg(slot, 3, 10, QLatin1Char('0'))); };
    const QString log = program.filePath("log/zov.log");

    for (int reading = 1; reading <= 3; ++reading) {
        SCOPED_TRACE(reading);
        if (reading == 3) { // the sharp's key point as an earlier release stored it: whole, read back cut
            ASSERT_TRUE(stored(6).contains(":@"));
            QFile kept(program.filePath("key-points.ini"));
            ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
            const QString keyPoint = QString::fromUtf8(kept.readAll()).section(stored(6).section(":@", 1) + '=', 1).section("\r\n", 0, 0);
            ASSERT_TRUE(store::WriteIniValue(ini, "Pips", "pip006", address(5) + ':' + keyPoint));
        }
        const auto sent = cycle(service.root());
        EXPECT_EQ(sent.status, 0) << sent.err;
        // Searched: every printer at first, none from what it stored, then the one whose key point read back cut.
        const QStringList searched = QString::fromStdString(sent.err).split('\n').filter(QRegularExpression("^Scanning "));
        EXPECT_EQ(searched, reading == 1   ? searched.mid(0, int(printers.size()))
                            : reading == 2 ? QStringList()
                                           : QStringList{"Scanning " + address(5)});
        EXPECT_EQ(searched.size(), reading == 1 ? int(printers.size()) : reading == 2 ? 0 : 1);
        auto readings = this->stored();
        for (std::size_t i = 0; i < printers.size(); ++i) {
            const Machine &machine = machines[i];
            SCOPED_TRACE(machine.name);
            const auto &[identity, bw, colour] = readings[address(i)];
            EXPECT_EQ(bw, machine.bw);
            EXPECT_EQ(colour, machine.colour);
            EXPECT_EQ(lifeCount(machine), machine.bw + machine.colour + machine.uncounted);
            EXPECT_LE(stored(int(i) + 1).size(), store::MaxValueLength);
        }
    }
    QFile logFile(log);
    ASSERT_TRUE(logFile.open(QIODevice::ReadOnly));
    const QString logged = QString::fromUtf8(logFile.readAll());
    EXPECT_TRUE(logged.contains("Key point of pip006 (" + address(5) + ") reads back cut at 249 characters: searched again"))
        << logged;
    EXPECT_TRUE(logged.contains("Counter map Canon: no black-and-white counter answers (1.3.6.1.4.1.1602.1.11.1.4.1.4.108, "
                                "1.3.6.1.4.1.1602.1.11.1.3.1.4.108); prtMarkerLifeCount stays the black-and-white total "
                                "and colour is not read"))
        << logged;
    EXPECT_FALSE(logged.contains("errgetPrinterInfo")) << logged;

    const QString conditions = program.filePath("condition-state.json");
    ASSERT_TRUE(QFile::remove(conditions)) << "each reading reads the printer's condition";
    const auto storedReadings = [&] { return store::History(program.path(), true).readings({}).size(); };
    const qsizetype kept = storedReadings();
    EXPECT_GT(kept, 0) << "each reading is stored";
    ASSERT_EQ(runCommand({Cli, "ini", "set", ini.toStdString(), "Settings", "StandardPrinterMib", "0"}).status, 0);
    EXPECT_EQ(cycle(service.root()).status, 0);
    EXPECT_FALSE(QFile::exists(conditions)) << "with StandardPrinterMib=0 no condition is read or kept";
    EXPECT_EQ(storedReadings(), kept) << "nor any reading stored";
    EXPECT_EQ(this->stored()[address(11)], std::make_tuple(QString("CNCRP4K21M"), lifeCount(machines[11]), qint64{0}));
    QFile again(log);
    ASSERT_TRUE(again.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(again.readAll()).contains("Key point of pip012 (" + address(11) +
                                                             ") is kept in key-points.ini and StandardPrinterMib is 0: "
                                                             "searched again"));
}

// A file written by hand without ver is renewed at the start: its printers go, its service root stays, and with no
// customer code left in it the vendor's is taken, so that the customer's list comes back, to be read the next cycle.
TEST_F(EndToEnd, WithoutPrintersTheCustomersListIsDownloadedAndReadNextCycle) {
    SimulatedPrinter hp("hp");
    ASSERT_AGENT(hp);
    DevService service(database, {"--customer", "4711=" + QString::fromStdString(hp.address()) + "§Hall 2"});
    ASSERT_FALSE(service.root().isEmpty());
    for (const auto &[name, text] : {std::pair{"meterlane.ini", "[Vendor]\r\nID=YLK\r\nServiceRoot=" + service.root() +
                                                                   "\r\n[Pips]\r\npip001=127.0.0.9\r\n"},
                                     std::pair{"zov.vnd", QString("[Vendor]\r\nID=YLK\r\nCID=4711\r\n")}}) {
        QFile file(program.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8());
    }

    const auto download = cycle({}); // the root of the file
    EXPECT_EQ(download.status, 0) << download.err;
    QFile ini(program.filePath("meterlane.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QString content = QString::fromUtf8(ini.readAll());
    EXPECT_TRUE(content.contains("\r\nID=YLK\r\nServiceRoot=" + service.root() + "\r\n")) << content;
    EXPECT_TRUE(content.contains("pip001=" + QString::fromStdString(hp.address()))) << content;
    EXPECT_TRUE(content.contains("pip001=Hall 2")) << content;
    EXPECT_TRUE(stored().empty());

    cycle({});
    EXPECT_EQ(std::get<1>(stored()[QString::fromStdString(hp.address())]), 87654);
}

TEST_F(EndToEnd, FailedCyclesAreNamedAndExitWithOne) {
    const auto nowhere = runCommand({Cli, "cycle", "--folder", program.filePath("missing").toStdString()});
    EXPECT_EQ(nowhere.status, 1);
    EXPECT_NE(nowhere.err.find("does not exist"), std::string::npos) << nowhere.err;
    EXPECT_EQ(nowhere.err.find("Last Update "), std::string::npos) << nowhere.err; // nothing read or sent
    EXPECT_EQ(nowhere.out, "");

    SimulatedPrinter hp("hp");
    ASSERT_AGENT(hp);
    writeIni({"[Pips]", "pip001=" + QString::fromStdString(hp.address())});

    // A credentials file that cannot be read (as root, a folder in its place): every printer would read as silent.
    const QString credentials = program.filePath("snmp-credentials.ini");
    ASSERT_TRUE(QDir().mkpath(credentials));
    const auto unreadable = cycle("http://127.0.0.1:9");
    EXPECT_EQ(unreadable.status, 1);
    EXPECT_NE(unreadable.err.find(credentials.toStdString() + ": cannot be read ("), std::string::npos) << unreadable.err;
    EXPECT_EQ(unreadable.err.find("Last Update "), std::string::npos) << unreadable.err;
    ASSERT_TRUE(QDir(credentials).removeRecursively());
    const auto down = cycle("http://127.0.0.1:9"); // nothing listens there
    EXPECT_EQ(down.status, 1) << down.err;
    EXPECT_NE(down.err.find("request failed (Connection refused): http://127.0.0.1:9/ylk/meter/upload?d=YLK"),
              std::string::npos)
        << down.err;

    // An outbox that cannot be read (a folder in the file's place) is named once, and a reading it could keep only
    // in memory is said to be lost when the cycle ends, not to wait.
    const QString outbox = program.filePath("outbox");
    ASSERT_TRUE(QFile::remove(outbox) && QDir().mkdir(outbox));
    const auto unkept = cycle("http://127.0.0.1:9");
    QDir().rmdir(outbox);
    EXPECT_EQ(unkept.status, 1) << unkept.err;
    const QString said = "Cannot read " + outbox + ": file to open is a directory\n";
    EXPECT_EQ(QString::fromStdString(unkept.err).count(said), 1) << unkept.err;
    EXPECT_NE(unkept.err.find("meterlane-cli: 1 reading lost: not stored in " + outbox.toStdString() + "\n"),
              std::string::npos) << unkept.err;
    EXPECT_EQ(unkept.err.find("waiting to be sent"), std::string::npos) << unkept.err;

    // The list download a fresh installation makes: failed, it is named; a list without printers is no failure.
    writeIni({}, "4711");
    const auto noList = cycle("http://127.0.0.1:9");
    EXPECT_EQ(noList.status, 1) << noList.err;
    EXPECT_NE(noList.err.find("request failed (Connection refused): http://127.0.0.1:9/ylk/meter/pips?cid=4711\n"),
              std::string::npos)
        << noList.err;
    DevService service(database);
    ASSERT_FALSE(service.root().isEmpty());
    EXPECT_EQ(cycle(service.root()).status, 0);

    // A host that does not resolve ends the cycle: its status line says why, nothing more.
    writeIni({"[Pips]", "pip001=printer7.invalid"});
    const auto unresolved = cycle(service.root());
    EXPECT_EQ(unresolved.status, 1) << unresolved.err;
    EXPECT_NE(unresolved.err.find("PIP error: printer7.invalid>\nLast Update "), std::string::npos) << unresolved.err;
}

// One copy per program folder. A cycle started while another copy holds the folder names that copy and reads
// nothing; a copy's lock is taken over once it was killed, never when its lock file was written on another machine
// (a host of another name sharing the folder, or this host's name in a container with a new machine id). A folder
// that takes no new file but whose meterlane.ini may be written runs cycles, kept to one copy by the folder's own
// lock; any other failure to take the lock says why.
TEST_F(EndToEnd, TheFolderLockNamesItsHolderOrWhyItCannotBeTaken) {
    writeIni({"[Pips]"}, "4711");
    const QString lockPath = program.filePath("meterlane.lock");
    const std::string folder = program.path().toStdString(), lockFile = lockPath.toStdString();
    const std::string inUse = "meterlane-cli: the program folder " + folder + " is in use by ",
                      elsewhere = lockFile + " names a copy on another machine (host ";
    const auto lockText = [&] {
        QFile file(lockPath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QProcess holder; // a `run`, which reads nothing for 30 s
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("METERLANE_SERVICE_URL", "http://127.0.0.1:9");
    holder.setProcessEnvironment(environment);
    // Started once its lock file names it: a copy killed between making the file and writing it leaves a file that
    // names nobody, which counts as held until it is old.
    const auto startHolder = [&] {
        holder.start(QString::fromStdString(Cli), {"run", "--folder", program.path()});
        const QByteArray pid = QByteArray::number(holder.processId());
        for (int i = 0; i < 100 && !lockText().startsWith(pid + '\n'); ++i) QThread::msleep(50);
        return pid.toStdString();
    };
    constexpr qint64 NoProcess = 2147483646; // beyond any pid_max: a holder that is gone wherever it ran
    const auto writeLockFile = [&](const QByteArray &host, const QByteArray &machineId) {
        QFile file(lockPath);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::number(NoProcess) + "\nmeterlane-cli\n" + host + "\n" + machineId + "\n" +
                   QSysInfo::bootUniqueId() + "\n");
    };
    std::optional<store::FolderLock> heldHere;

    const std::vector<std::string> cycleHere{Cli, "cycle", "--folder", folder};
    struct Case {
        const char *what;
        std::function<std::string()> arrange; // what the refusal says; empty when the cycle runs
        std::vector<std::string> command;
    };
    const Case cases[] = {
        {"a live copy", [&] { return inUse + "process " + startHolder() + "\n"; }, cycleHere},
        {"a killed copy",
         [&] {
             startHolder();
             holder.kill();
             holder.waitForFinished();
             return std::string();
         },
         cycleHere},
        {"a live copy whose lock file is gone",
         [&] {
             heldHere.emplace(program.path());
             EXPECT_TRUE(heldHere->tryLock());
             QFile::remove(lockPath);
             return inUse + "another copy of the program\n";
         },
         cycleHere},
        {"another host name of this machine id",
         [&] {
             writeLockFile("printhost7", QSysInfo::machineUniqueId());
             return elsewhere + "printhost7, process " + std::to_string(NoProcess) +
                    "): the folder may be in use there; if no copy runs there, delete the file\n";
         },
         cycleHere},
        {"this host name with another machine id",
         [&] {
             writeLockFile(QSysInfo::machineHostName().toUtf8(), "0123456789abcdef0123456789abcdef");
             return elsewhere + QSysInfo::machineHostName().toStdString() + ", ";
         },
         cycleHere},
        {"a folder that takes no new file, its meterlane.ini writable", [] { return std::string(); },
         {"unshare", "-m", "--propagation", "private", "sh", "-c",
          "mount --bind \"$1\" \"$1\" && mount --bind \"$1/meterlane.ini\" \"$1/meterlane.ini\" && "
          "mount -o remount,bind,ro \"$1\" && exec \"$0\" cycle --folder \"$1\"",
          Cli, folder}},
        {"a missing folder",
         [&] { return "meterlane-cli: cannot create " + folder + "/missing/meterlane.lock: No such file or directory\n"; },
         {Cli, "outbox", "--send", "--folder", folder + "/missing"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(lockPath);
        const std::string refusal = c.arrange();
        const QByteArray lockBefore = lockText();
        const auto result =
            runCommand(c.command, {{"METERLANE_SERVICE_URL", "http://127.0.0.1:9"}, {"QUORREL_TIMEOUT_MS", "300"}});
        EXPECT_EQ(result.err.find("Last Update ") == std::string::npos, !refusal.empty()) << result.err;
        if (!refusal.empty()) {
            EXPECT_EQ(result.status, 1);
            EXPECT_NE(result.err.find(refusal), std::string::npos) << result.err;
            EXPECT_EQ(lockText(), lockBefore);
        }
        holder.kill();
        holder.waitForFinished();
        heldHere.reset();
    }
}

// A site that allows only version 3 on one printer (in the context HP devices ask for) and only version 2c with a
// community of its own on another: the profiles of snmp-credentials.ini read both in the cycle of a version 1
// printer, each through the first profile that answers it, which snmp-state.ini remembers. A wrong privacy
// passphrase ahead of the right one costs one time-out; no passphrase leaves the credentials file.
TEST_F(EndToEnd, CredentialProfilesReadV3OnlyAndV2cOnlyPrintersInTheCycleOfAV1One) {
    using testsupport::PrinterAccess;
    SimulatedPrinter ricoh("ricoh", {}, false), hp("hp", {}, false, PrinterAccess::V3Only),
        kyocera("kyocera", {}, false, PrinterAccess::V2cOnly);
    for (const SimulatedPrinter *printer : {&ricoh, &hp, &kyocera}) ASSERT_AGENT(*printer);
    const QString v1 = QString::fromStdString(ricoh.address()), v3 = QString::fromStdString(hp.address()),
                  v2c = QString::fromStdString(kyocera.address());
    writeIni({"[Pips]", "pip001=" + v1, "pip002=" + v3, "pip003=" + v2c});
    const QString v3Keys = QStringLiteral("Version=3\nUser=%1\nAuthProtocol=sha-256\nAuthPassphrase=%2\n"
                                          "PrivProtocol=AES-256\nContext=%3\nHosts=%4\n")
                               .arg(testsupport::V3User, testsupport::V3AuthPassphrase, testsupport::V3Context, v3);
    QFile credentials(program.filePath("snmp-credentials.ini"));
    ASSERT_TRUE(credentials.open(QIODevice::WriteOnly));
    credentials.write(("[office wrong]\n" + v3Keys + "PrivPassphrase=wrongpass9\n[office]\n" + v3Keys +
                       "PrivPassphrase=" + testsupport::V3PrivPassphrase +
                       "\n[site]\nVersion=2c\nCommunity=site2c\n[everyone]\nVersion=1\nCommunity=public\n")
                          .toUtf8());
    credentials.close();
    const auto passphraseIn = [](const std::string &text) {
        return text.find("authpass1") != std::string::npos || text.find("privpass1") != std::string::npos ||
               text.find("wrongpass9") != std::string::npos;
    };

    ASSERT_TRUE(credentials.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    const auto tries = runCommand({Cli, "profiles", v3.toStdString(), "--folder", program.path().toStdString()},
                                  {{"QUORREL_TIMEOUT_MS", "300"}});
    EXPECT_EQ(tries.status, 0) << tries.err;
    const std::regex wrongTry(R"(\[office wrong\] (\d+) ms: no answer: )"),
        rightTry(R"(\[office\] \d+ ms: answers: HP )");
    std::smatch wrong;
    ASSERT_TRUE(std::regex_search(tries.out, wrong, wrongTry)) << tries.out;
    EXPECT_LT(std::stoi(wrong[1]), 600) << "more than one time-out of 300 ms";
    EXPECT_TRUE(std::regex_search(tries.out, rightTry)) << tries.out;
    EXPECT_EQ(tries.err.find("readable by other users"), std::string::npos) << tries.err;
    EXPECT_FALSE(passphraseIn(tries.out + tries.err)) << tries.out << tries.err;

    // Readable by others: said once in a cycle of many reads.
    ASSERT_TRUE(credentials.setPermissions(credentials.permissions() | QFileDevice::ReadOther));
    DevService service(database);
    ASSERT_FALSE(service.root().isEmpty());
    const auto read = cycle(service.root());
    EXPECT_EQ(read.status, 0) << read.err;
    EXPECT_EQ(QString::fromStdString(read.err).count("is readable by other users"), 1) << read.err;
    auto readings = stored();
    EXPECT_EQ(readings[v1], std::make_tuple(QString("E174M610045"), qint64{92110}, qint64{62220})) << read.err;
    EXPECT_EQ(readings[v3], std::make_tuple(QString("CNRXB12345"), qint64{87654}, qint64{0})) << read.err;
    EXPECT_EQ(readings[v2c], std::make_tuple(QString("VCF8Z01234"), qint64{45678}, qint64{0})) << read.err;

    QFile state(program.filePath("snmp-state.ini"));
    ASSERT_TRUE(state.open(QIODevice::ReadOnly));
    const QString remembered = QString::fromUtf8(state.readAll());
    for (const QString &line : {v1 + "=everyone", v3 + "=office", v2c + "=site"})
        EXPECT_TRUE(remembered.contains(line)) << remembered.toStdString();
    for (const QString &file : QDir(program.path()).entryList(QDir::Files) + QStringList{"log/zov.log"}) {
        if (file == "snmp-credentials.ini") continue;
        QFile written(program.filePath(file));
        ASSERT_TRUE(written.open(QIODevice::ReadOnly)) << file.toStdString();
        EXPECT_FALSE(passphraseIn(written.readAll().toStdString())) << file.toStdString();
    }
    EXPECT_FALSE(passphraseIn(read.out + read.err));
}

// The service down (stopped, answering 503, or taking connections and never answering) for two cycles of run, whose
// readings wait in the outbox; then the service back while run goes on, after run was killed (outbox --send), or
// after it ended on SIGTERM and started again. No reading arrives twice or after a newer one of its printer; the
// outage's last readings arrive unless the new run's first cycle read anew; the outbox ends empty.
TEST_F(EndToEnd, NoReadingIsLostToAServiceOutage) {
    // Page counters growing by 1000 a second tell each reading from the others.
    const testsupport::RecordChanges growing{{"1.3.6.1.2.1.43.10.2.1.4.1.1", "65:numeric|rate=1000,initial=100"}};
    SimulatedPrinter one("hp", growing, false), two("hp", growing, false);
    ASSERT_AGENT(one);
    ASSERT_AGENT(two);
    for (const QString outage : {"stopped", "503", "silent"}) {
        SCOPED_TRACE(outage.toStdString());
        QFile::remove(database);
        writeIni({"[Pips]", "pip001=" + QString::fromStdString(one.address()),
                  "pip002=" + QString::fromStdString(two.address())});
        // A cycle every 6 ticks of a second (at 1 s, 7 s, ...); the wait doubles from 1 s to 6 s.
        store::WriteIniValue(program.filePath("meterlane.ini"), "Settings", "IntervalReadMinutes", "6");
        std::optional<DevService> service(std::in_place, database,
                                          outage == "stopped" ? QStringList{} : QStringList{"--outage", outage});
        const QString root = service->root();
        if (outage == "stopped") service.reset();
        QProcess run;
        run.setEnvironment(QProcess::systemEnvironment() << "METERLANE_SERVICE_URL=" + root << "METERLANE_TICK_MS=1000"
                                                         << "QUORREL_TIMEOUT_MS=300");
        run.setProcessChannelMode(QProcess::ForwardedChannels);
        const auto startRun = [&] { run.start(QString::fromStdString(Cli), {"run", "--folder", program.path()}); };
        const QDateTime secondCycle = QDateTime::currentDateTimeUtc().addSecs(4);
        startRun();
        ASSERT_TRUE(QTest::qWaitFor([&] { // both readings of the second cycle failed
            const auto readings = waiting();
            return readings.size() == 2 && readings[0].readAt > secondCycle && readings[0].tries && readings[1].tries;
        }, 30'000));
        if (outage == "503") run.kill();
        if (outage == "silent") run.terminate();
        ASSERT_TRUE(outage == "stopped" || run.waitForFinished());
        const auto outbox = waiting();
        ASSERT_EQ(outbox.size(), 2);
        service.emplace(database, QStringList{}, QUrl(root).port());
        if (outage == "503") {
            EXPECT_EQ(runCommand({Cli, "outbox", "--send", "--folder", program.path().toStdString()}).status, 0);
        } else {
            if (outage == "silent") startRun();
            EXPECT_TRUE(QTest::qWaitFor([&] { return waiting().isEmpty(); }, 30'000));
        }
        run.terminate();
        run.waitForFinished();
        EXPECT_TRUE(waiting().isEmpty());

        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "outage " + outage);
        db.setDatabaseName(database);
        ASSERT_TRUE(db.open());
        std::map<QString, qint64> latest; // of each printer: each reading arrives once, in the order read
        QStringList queries;
        for (QSqlQuery row("SELECT address, c2, query FROM readings ORDER BY id", db); row.next();) {
            EXPECT_GT(row.value(1).toLongLong(), std::exchange(latest[row.value(0).toString()], row.value(1).toLongLong()));
            queries << row.value(2).toString();
        }
        db.close();
        EXPECT_EQ(latest.size(), 2u);
        for (const upload::WaitingReading &reading : outbox)
            EXPECT_EQ(queries.count(reading.address.query(QUrl::FullyEncoded)), outage == "silent" ? 0 : 1);
    }
}

// Uploads follow http_proxy: a service root no name lookup could find is reached through the proxy the environment
// names, here the development service itself, which takes the absolute address of a proxy request as its own.
TEST_F(EndToEnd, UploadsGoThroughTheProxyThatHttpProxyNames) {
    SimulatedPrinter hp("hp");
    ASSERT_AGENT(hp);
    writeIni({"[Pips]", "pip001=" + QString::fromStdString(hp.address())});
    DevService proxy(database);
    const auto sent = cycle("http://service.invalid", {{"http_proxy", proxy.root().toStdString()}});
    EXPECT_EQ(sent.status, 0) << sent.err;
    EXPECT_EQ(std::get<1>(stored()[QString::fromStdString(hp.address())]), 87654) << sent.err;
}
