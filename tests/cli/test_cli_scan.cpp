// meterlane-cli ping and scan as processes, in a network namespace of the test's own (198.18.0.x silent) with a
// simulated printer: what they print, their exit status, the results file, and the refusals.
#include "support/printers.h"
#include "support/privatenetwork.h"
#include "support/realagents.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>
#include <regex>

namespace {

using testsupport::CommandResult;
using testsupport::runCommand;
using testsupport::splitLines;

using testsupport::Cli;
const std::string Dashes(59, '-');
const std::string SysDescr =
    "HP ETHERNET MULTI-ENVIRONMENT,ROM R.22.01,JETDIRECT,JD128,EEPROM V.28.63,CIDATE 07/10/2006";
// Runs the tool without CAP_NET_RAW, for itself and for anything it starts.
const std::vector<std::string> WithoutRawSockets{"setpriv", "--bounding-set", "-net_raw", "--inh-caps", "-net_raw"};

class CliScan : public testing::Test {
protected:
    static void SetUpTestSuite() {
        network_ = new testsupport::PrivateNetwork;
        if (network_->ready()) printer_ = new testsupport::SimulatedPrinter("hp");
    }
    static void TearDownTestSuite() {
        delete printer_;
        delete network_;
    }
    void SetUp() override {
        ASSERT_TRUE(network_->ready()) << network_->failure();
        ASSERT_TRUE(printer_->running()) << printer_->failure();
    }

    CommandResult scan(std::vector<std::string> args) {
        args.insert(args.begin(), {Cli, "scan"});
        args.insert(args.end(), {"--folder", folder_.path().toStdString()});
        return runCommand(args);
    }
    std::string resultsFile() const {
        QFile file(folder_.filePath(QStringLiteral("zovdata.txt")));
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "<no file>";
    }
    static std::string joined(const std::vector<std::string> &lines, const char *end) {
        std::string text;
        for (const std::string &line : lines) text += line + end;
        return text;
    }

    static testsupport::PrivateNetwork *network_;
    static testsupport::SimulatedPrinter *printer_;
    QTemporaryDir folder_;
};

testsupport::PrivateNetwork *CliScan::network_ = nullptr;
testsupport::SimulatedPrinter *CliScan::printer_ = nullptr;

TEST_F(CliScan, PingPrintsEveryAddressWithItsTimeOrDashes) {
    const CommandResult some = runCommand({Cli, "ping", "127.0.0.1", "198.18.0.5", "no-address", "127.0.0.2"});
    EXPECT_EQ(some.status, 1);
    EXPECT_EQ(some.err, "");
    EXPECT_TRUE(std::regex_match(some.out, std::regex("0 127\\.0\\.0\\.1 [0-9]+\n1 198\\.18\\.0\\.5 ---\n"
                                                      "2 no-address ---\n3 127\\.0\\.0\\.2 [0-9]+\n")))
        << some.out;
    const CommandResult all = runCommand({Cli, "ping", "127.0.0.3"});
    EXPECT_EQ(all.status, 0);
    EXPECT_TRUE(std::regex_match(all.out, std::regex("0 127\\.0\\.0\\.3 [0-9]+\n"))) << all.out;
    EXPECT_EQ(runCommand({Cli, "ping"}).status, 2);
}

// Without a way to ping, every address is listed silent and standard error says why, for ping and scan alike.
TEST_F(CliScan, PingWithoutAWayToPingSaysWhy) {
    std::vector<std::string> command = WithoutRawSockets;
    command.insert(command.end(), {Cli, "ping", "127.0.0.1", "127.0.0.2"});
    const CommandResult none = runCommand(command, {{"PATH", "/nonexistent"}});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "0 127.0.0.1 ---\n1 127.0.0.2 ---\n");
    EXPECT_NE(none.err.find("meterlane-cli: cannot ping: "), std::string::npos) << none.err;
    EXPECT_NE(none.err.find("CAP_NET_RAW"), std::string::npos) << none.err;

    // The system ping found but unable to run without the capability either.
    const CommandResult failing = runCommand(command);
    EXPECT_EQ(failing.status, 1);
    EXPECT_EQ(failing.out, "0 127.0.0.1 ---\n1 127.0.0.2 ---\n");
    EXPECT_NE(failing.err.find("meterlane-cli: system ping"), std::string::npos) << failing.err;

    // scan says why on standard error too; the results file keeps to its result lines.
    command.resize(WithoutRawSockets.size());
    command.insert(command.end(), {Cli, "scan", "127.0.0.1", "127.0.0.2", "--folder", folder_.path().toStdString()});
    const CommandResult scanned = runCommand(command);
    EXPECT_EQ(scanned.status, 1);
    EXPECT_EQ(scanned.out, "");
    EXPECT_NE(scanned.err.find("meterlane-cli: system ping"), std::string::npos) << scanned.err;
    EXPECT_EQ(resultsFile(), "");
}

TEST_F(CliScan, ScanPrintsTheLinesAndAppendsThemToTheResultsFile) {
    const std::string address = printer_->address();
    const CommandResult get = scan({address, address});
    EXPECT_EQ(get.status, 0) << get.err;
    const std::vector<std::string> lines{"> " + address, "- 1.3.6.1.2.1.1.1.0 : " + SysDescr,
                                         "- 1.3.6.1.2.1.25.3.2.1.3.1 : HP LaserJet 4250",
                                         "- 1.3.6.1.2.1.43.10.2.1.4.1.1 : 87654", Dashes};
    EXPECT_EQ(get.out, joined(lines, "\n"));
    EXPECT_EQ(get.err, "Complete ... file at: " + folder_.path().toStdString() + "/zovdata.txt\n");

    // Only the fourth part of LAST counts; a second scan appends its lines.
    const CommandResult set = scan({address, "198.18.0." + address.substr(address.rfind('.') + 1), "--op", "set",
                                    "--integer", "--value", "abc", "--oids", "1.3.6.1.2.1.1.5.0"});
    EXPECT_EQ(set.status, 0) << set.err;
    const std::vector<std::string> refused{"> " + address, "- 1.3.6.1.2.1.1.5.0 does not appear to be an integer",
                                           Dashes};
    EXPECT_EQ(set.out, joined(refused, "\n"));

    std::vector<std::string> all = lines;
    all.insert(all.end(), refused.begin(), refused.end());
    EXPECT_EQ(resultsFile(), joined(all, "\r\n"));
}

TEST_F(CliScan, FaultEndsTheScanWithItsDescription) {
    const CommandResult fault = scan({"127.0.0", printer_->address()});
    EXPECT_EQ(fault.status, 1);
    EXPECT_EQ(fault.out, "");
    EXPECT_EQ(fault.err, "meterlane-cli: Subscript out of range\n");
    EXPECT_EQ(resultsFile(), "Subscript out of range\r\n");
}

// Without both ends of the range, or with options that do not fit the operation, nothing is scanned.
TEST_F(CliScan, UsageErrorsScanNothing) {
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"127.0.0.1"},
        {"127.0.0.1", "127.0.0.2", "127.0.0.3"},
        {"127.0.0.1", "127.0.0.2", "--op", "fetch"},
        {"127.0.0.1", "127.0.0.2", "--integer"},
        {"127.0.0.1", "127.0.0.2", "--value", "5", "--op", "get"},
        {"127.0.0.1", "127.0.0.2", "--full-walk", "--op", "getnext"},
        {"127.0.0.1", "127.0.0.2", "--oids"},
        {"127.0.0.1", "127.0.0.2", "--unknown"},
    };
    for (const auto &args : wrong) {
        const CommandResult result = scan(args);
        std::string shown;
        for (const std::string &arg : args) shown += arg + " ";
        EXPECT_EQ(result.status, 2) << shown;
        EXPECT_EQ(result.out, "") << shown;
        EXPECT_NE(result.err, "") << shown;
    }
    EXPECT_EQ(resultsFile(), "<no file>");
}

} // namespace
