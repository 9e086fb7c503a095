// meterlane-cli discover on a simulated site of its own (30 printers, 70 hosts that answer only ping, the rest of the
// /24 silent): what it finds, how it marks what is monitored, and what --add adds, once.
#include "support/devservice.h"
#include "support/faultagent.h"
#include "support/site.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <map>

namespace {

using testsupport::CommandResult;
using testsupport::runCommand;
using testsupport::splitLines;

using testsupport::Cli;

std::vector<std::string> fields(const std::string &line) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        parts.push_back(line.substr(start, tab - start));
    parts.push_back(line.substr(start));
    return parts;
}

// The host lines of an output by address; every other line goes to others.
std::map<std::string, std::vector<std::string>> hostLines(const std::string &out, std::vector<std::string> &others) {
    std::map<std::string, std::vector<std::string>> hosts;
    for (const std::string &line : splitLines(out)) {
        if (line.rfind("198.18.", 0) == 0) hosts[fields(line)[0]] = fields(line);
        else others.push_back(line);
    }
    return hosts;
}

TEST(CliDiscover, FindsThePrintersOfASiteAndAddsTheNewOnesOnce) {
    testsupport::SimulatedSite site;
    ASSERT_TRUE(site.ready()) << site.failure();
    QTemporaryDir folder, database;
    testsupport::DevService service(database.filePath(QStringLiteral("service.sqlite")));
    ASSERT_FALSE(service.root().isEmpty());
    const std::string watched = site.printers()[0].address, renamed = site.printers()[1].identity;
    QFile ini(folder.filePath(QStringLiteral("meterlane.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(("[General]\r\nver=999\r\n[Vendor]\r\nID=YLK\r\n[Pips]\r\npip001=" + watched + "\r\npip002=printer-gone.invalid\r\n"
               "[pips_ID]\r\npip002=" + renamed + "\r\n").c_str());
    ini.close();
    QFile credentials(folder.filePath(QStringLiteral("snmp-credentials.ini")));
    ASSERT_TRUE(credentials.open(QIODevice::WriteOnly));
    credentials.write(QStringLiteral("[office]\nVersion=1\nCommunity=public\n[site]\nVersion=2c\nCommunity=%1\n"
                                     "[jetdirect]\nVersion=3\nUser=%2\nAuthProtocol=SHA-256\nAuthPassphrase=%3\n"
                                     "PrivProtocol=AES-256\nPrivPassphrase=%4\nContext=%5\n")
                          .arg(testsupport::V2cCommunity, testsupport::V3User, testsupport::V3AuthPassphrase,
                               testsupport::V3PrivPassphrase, testsupport::V3Context)
                          .toUtf8());
    credentials.close();
    credentials.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const std::map<std::string, std::string> environment{{"METERLANE_SERVICE_URL", service.root().toStdString()}};
    const auto discover = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {Cli, "discover", testsupport::SimulatedSite::Range});
        args.insert(args.end(), {"--folder", folder.path().toStdString()});
        return runCommand(args, environment);
    };

    const auto started = std::chrono::steady_clock::now();
    const CommandResult found = discover({"198.18.1.1"});
    const auto took = std::chrono::steady_clock::now() - started;
    ASSERT_EQ(found.status, 0) << found.err;
    std::vector<std::string> others;
    const auto hosts = hostLines(found.out, others);
    EXPECT_EQ(hosts.size(), site.printers().size() + 1) << found.out; // the printers and the gateway, no ping-only host
    for (const testsupport::SitePrinter &printer : site.printers()) {
        ASSERT_TRUE(hosts.count(printer.address)) << printer.make << " at " << printer.address << "\n" << found.out;
        const auto &line = hosts.at(printer.address);
        ASSERT_EQ(line.size(), 5u);
        EXPECT_EQ(line[1], testsupport::SimulatedSite::makerOf(printer.make)) << printer.make;
        EXPECT_EQ(line[2] == "-", printer.make == "partial") << printer.make; // its file holds no model
        EXPECT_EQ(line[3], printer.identity) << printer.make;
        const bool monitored = printer.address == watched || printer.identity == renamed;
        EXPECT_EQ(line[4], monitored ? "monitored" : "new") << printer.make;
    }
    EXPECT_EQ(hosts.at(testsupport::SimulatedSite::Gateway)[4], "not a printer");
    EXPECT_EQ(hosts.at(testsupport::SimulatedSite::ForgingPrinter)[2],
              "Canon iR-ADV C5840  198.18.0.99 RICOH MP C3003 FORGED new");
    EXPECT_EQ(others, std::vector<std::string>{"outside this machine's subnets: 198.18.1.1"});
    EXPECT_NE(found.err.find("asked 255 of 255 addresses, 31 answered, 30 printers"), std::string::npos) << found.err;
    EXPECT_LT(took, std::chrono::seconds(8)); // one time-out for the silent addresses, not one each

    const CommandResult added = discover({"--add"});
    ASSERT_EQ(added.status, 0) << added.err;
    others.clear();
    hostLines(added.out, others);
    int addedLines = 0, announcements = 0;
    for (const std::string &line : others) {
        addedLines += line.rfind("added: ", 0) == 0;
        announcements += line.find("&PRNSER=SITE") != std::string::npos;
    }
    EXPECT_EQ(addedLines, 28);
    EXPECT_EQ(announcements, 28);
    for (int slot = 3; slot <= 30; ++slot) {
        const CommandResult value =
            runCommand({Cli, "ini", "get", ini.fileName().toStdString(), "pips", (slot < 10 ? "pip00" : "pip0") + std::to_string(slot)});
        EXPECT_EQ(value.out.rfind("198.18.0.", 0), 0u) << slot;
    }
    EXPECT_EQ(runCommand({Cli, "ini", "get", ini.fileName().toStdString(), "pips", "pip001"}).out, watched + "\n");

    const CommandResult again = discover({"--add", "--json"});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out.find("\"added\""), std::string::npos) << again.out;
    EXPECT_NE(again.out.find("{\"address\":\"198.18.0.12\","), std::string::npos) << again.out;
    EXPECT_EQ(again.out.find("\"state\":\"new\""), std::string::npos) << again.out;
    EXPECT_NE(again.out.find(R"("model":"Canon iR-ADV C5840\r\n198.18.0.99\tRICOH\tMP C3003\tFORGED\tnew")"),
              std::string::npos)
        << again.out;
}

// A search's ranges together hold at most 65,536 addresses, each counted once as it would be asked; more is a usage
// error before anything is sent. The searched /16 lies behind a blackhole route (sends fail at once) but for the
// agent's own address.
TEST(CliDiscover, AsksAtMost65536AddressesInAll) {
    testsupport::PrivateNetwork network;
    ASSERT_TRUE(network.ready() && network.silence("127.77.0.0/16") &&
                network.ip({"address", "add", "127.77.0.9/32", "dev", "lo"}))
        << network.failure();
    meterlane::test::FaultAgent agent("127.77.0.9");
    agent.setDefault(meterlane::test::silence());
    QTemporaryDir folder;
    struct Case {
        std::vector<std::string> ranges;
        int status;
        std::string says;
    };
    const Case cases[] = {
        // A /16 passes, and with the same addresses again as a range still does: 65,536, each asked once.
        {{"127.77.0.0/16", "127.77.0.0-127.77.255.255"}, 0, "asked 65536 of 65536 addresses"},
        {{"127.77.0.0/16", "127.78.0.0/16"}, 2, "the ranges hold 131068 addresses"},
        {{"127.77.0.0/16", "127.78.0.1-3"}, 2, "the ranges hold 65537 addresses"},
        {{"127.76.0.0/15"}, 2, "the ranges hold 131070 addresses"},
    };
    for (const Case &item : cases) {
        std::vector<std::string> args{Cli, "discover"};
        args.insert(args.end(), item.ranges.begin(), item.ranges.end());
        args.insert(args.end(), {"--folder", folder.path().toStdString()});
        const CommandResult result = runCommand(args, {{"QUORREL_TIMEOUT_MS", "300"}});
        EXPECT_EQ(result.status, item.status) << item.says << "\n" << result.err;
        EXPECT_NE(result.err.find(item.says), std::string::npos) << result.err;
        EXPECT_EQ(agent.requestCount(), item.status == 0 ? 1u : 0u) << item.says;
        agent.clearRequests();
    }
}

} // namespace
