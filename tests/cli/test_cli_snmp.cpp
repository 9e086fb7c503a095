// meterlane-cli snmp as a process, against snmpsim with printer data and Net-SNMP's snmpd: what it prints, its exit
// status, and the console's walk lines and stop rules.
#include "support/realagents.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>

namespace {

using testsupport::CommandResult;
using testsupport::runCommand;
using testsupport::SnmpdAgent;
using testsupport::SnmpsimAgent;
using testsupport::splitLines;

const std::string NoSuchName = "[Vantobe.Mod.SnmpResponseProcess][AP02C1]=Error encountered during Agent Process";
const std::string BadValue = "[Vantobe.Mod.SnmpResponseProcess][AP03C1]=Error encountered during Agent Process";
constexpr char CounterTable[] = "1.3.6.1.4.1.367.3.2.1.2.19.5.1";

// More entries than a walk may take steps, served for the community "big".
std::string bigData() {
    std::string data;
    for (int n = 1; n <= 10020; ++n)
        data += "1.3.6.1.4.1.99999.1." + std::to_string(n) + "|2|" + std::to_string(n) + "\n";
    return data;
}

SnmpsimAgent &printer() {
    static SnmpsimAgent agent(METERLANE_AGENTS_DIR, {{"big.snmprec", bigData()}});
    return agent;
}

// "walk" sees snmpd's whole tree except the parts that change from one walk to the next (connections, sockets,
// processes: our own tools among them) and those that hold the word "error" in values (installed packages, build
// options, module names), which would end the walk early.
SnmpdAgent &snmpd() {
    static SnmpdAgent agent({
        "override -rw 1.3.6.1.4.1.99999.3.0 integer 7",
        "override -rw 1.3.6.1.4.1.99999.4.0 octet_str \"initial\"",
        "view stable included .1",
        "view stable excluded .1.3.6.1.2.1.6",
        "view stable excluded .1.3.6.1.2.1.7",
        "view stable excluded .1.3.6.1.2.1.25.4",
        "view stable excluded .1.3.6.1.2.1.25.5",
        "view stable excluded .1.3.6.1.2.1.25.6",
        "view stable excluded .1.3.6.1.4.1.2021.100",
        "view stable excluded .1.3.6.1.4.1.8072.1.2.1",
        "rocommunity walk 127.0.0.0/8 -V stable",
        // Version 2c alone with the community "site2c"; version 3 as "clerk" with authentication and privacy.
        "override 1.3.6.1.4.1.99999.5.0 octet_str \"profiled\"",
        "com2sec site 127.0.0.0/8 site2c",
        "group site v2c site",
        "view all included .1",
        "access site \"\" v2c noauth exact all none none",
        "createUser clerk SHA-256 \"authpass1\" AES \"privpass1\"",
        "rouser clerk authPriv",
    });
    return agent;
}

CommandResult cli(std::vector<std::string> args, const std::map<std::string, std::string> &environment = {}) {
    args.insert(args.begin(), {METERLANE_BIN_DIR "/meterlane-cli", "snmp"});
    return runCommand(args, environment);
}

std::string netSnmpHex(const std::string &address, const std::string &oid) {
    return runCommand({"snmpget", "-v1", "-c", "public", "-Ov", "-Ox", "-m", "", address, oid}).out;
}

TEST(CliSnmp, UsageErrorsExitWithTwoAndSendNothing) {
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"fetch", "127.0.0.1", "1.3.6.1.2.1.1.5.0"},
        {"get", "127.0.0.1"},
        {"get", "127.0.0.1", "1.3", "1.3"},
        {"set", "127.0.0.1", "1.3.6.1.2.1.1.5.0"},
        {"set", "127.0.0.1", "1.3.6.1.2.1.1.5.0", "x", "--type", "2"},
        {"set", "127.0.0.1", "1.3.6.1.2.1.1.5.0", "x", "--type", "text"},
        {"get", "127.0.0.1", "1.3.6.1.2.1.1.5.0", "--type", "1"},
        {"getnext", "127.0.0.1", "1.3.6.1.2.1.1.5.0", "--full-walk"},
        {"get", "127.0.0.1", "1.3.6.1.2.1.1.5.0", "--unknown"},
        {"get", "127.0.0.1", "1.3.6.1.2.1.1.5.0", "--community"},
        {"get", "127.0.0.1", "1.3.6.1.2.1.1.5.0", "-v4"},
        {"get", "127.0.0.1", "1.3.6.1.2.1.1.5.0", "-v3", "-u", "clerk", "-l", "authPriv", "-aMD5", "-A12345678"},
        {"get", "127.0.0.1", "1.3.6.1.2.1.1.5.0", "-v3", "-u", "clerk", "-l", "everything"},
        {"get", "127.0.0.1", "1.3.6.1.2.1.1.5.0", "--profile", "office", "-c", "site2c"},
        {"get", "127.0.0.1", "1.3.6.1.2.1.1.5.0", "--folder", "/tmp"},
    };
    for (const auto &args : wrong) {
        const CommandResult result = cli(args);
        std::string shown;
        for (const auto &arg : args) shown += arg + " ";
        EXPECT_EQ(result.status, 2) << shown;
        EXPECT_EQ(result.out, "") << shown;
        EXPECT_NE(result.err, "") << shown;
    }
}

TEST(CliSnmp, GetAndGetNextPrintValuesAndExitStatus) {
    ASSERT_AGENT(printer());
    const std::string host = printer().address();
    const auto check = [&](std::vector<std::string> args, const std::string &out, int status) {
        args.insert(args.begin() + 1, host);
        args.insert(args.end(), {"--community", "printer"});
        const CommandResult result = cli(args);
        EXPECT_EQ(result.out, out) << args[0] << " " << args[2];
        EXPECT_EQ(result.status, status) << args[0] << " " << args[2] << ": " << result.err;
    };
    check({"get", "1.3.6.1.2.1.1.5.0"}, "RNP-C3003-2F\n", 0);
    check({"get", "1.3.6.1.2.1.1.4.0"}, "\n", 0); // an empty value is a value
    check({"get", "1.3.6.1.2.1.2.2.1.6.1"}, "00005E001A\n", 0);
    check({"get", "1.3.6.1.2.1.1.6.0"}, "B\xC3\xBCro 2.OG\n", 0);
    check({"get", "1.3.6.1.2.1.43.10.2.1.4.1.1"}, "154321\n", 0);
    check({"get", "1.3.6.1.2.1.1.5"}, NoSuchName + "\n", 1);
    check({"getnext", "1.3.6.1.2.1.1.3.0"}, "1.3.6.1.2.1.1.4.0 : \n", 0);
    check({"getnext", "1.3.6.1.2.1.1.4.0"}, "1.3.6.1.2.1.1.5.0 : RNP-C3003-2F\n", 0);
    check({"getnext", "1.3.6.1.2.1.25"}, "1.3.6.1.2.1.25.3.2.1.3.1 : RICOH MP C3003 1.01\n", 0);
    const CommandResult pastTheEnd = cli({"getnext", host, "2.25.1.0", "--community", "printer"});
    EXPECT_EQ(pastTheEnd.status, 1);
    EXPECT_TRUE(pastTheEnd.out.ends_with(" : " + NoSuchName + "\n")) << pastTheEnd.out;
    const CommandResult notAnOid = cli({"get", host, "1.3.x", "--community", "printer"});
    EXPECT_EQ(notAnOid.status, 1);
    EXPECT_TRUE(notAnOid.out.starts_with("[Vantobe.Mod.SnmpAgentRequest][AP0")) << notAnOid.out;
}

TEST(CliSnmp, OpenFailuresAndSilentAgents) {
    ASSERT_AGENT(printer());
    CommandResult result = cli({"get", printer().address(), "1.3.6.1.2.1.1.5.0", "--community", ""});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "[Vantobe.SnmpV1.SnmpMgrOpen][MV]=You must set both the Agent and CommStr properties before "
                          "you can open a session.\n");

    // snmpsim ignores a community it has no data for.
    const std::map<std::string, std::string> quick = {{"QUORREL_TIMEOUT_MS", "200"}, {"QUORREL_RETRIES", "0"}};
    const std::regex timedOut(
        R"(\[Vantobe\.Mod\.SnmpAgentResponse\]\[AP19\]=Request ID \d+ has encountered an error\n)");
    result = cli({"get", printer().address(), "1.3.6.1.2.1.1.5.0", "--community", "nobody"}, quick);
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(std::regex_match(result.out, timedOut)) << result.out;

    // A walk that cannot take its first step fails; the two lines still show why.
    result = cli({"walk", printer().address(), "1.3.6.1.2.1.1", "--community", "nobody"}, quick);
    EXPECT_EQ(result.status, 1);
    const auto lines = splitLines(result.out);
    ASSERT_EQ(lines.size(), 2u) << result.out;
    EXPECT_TRUE(lines[0].starts_with("=S= 1.3.6.1.2.1.1 : [Vantobe.Mod.SnmpAgentResponse][AP19]=")) << lines[0];
    EXPECT_TRUE(lines[1].starts_with("=1=  : [Vantobe.Mod.SnmpAgentResponse][AP19]=")) << lines[1];
}

TEST(CliSnmp, SetWritesThroughSnmpd) {
    ASSERT_AGENT(snmpd());
    const std::string host = snmpd().address();
    const std::string integerOid = "1.3.6.1.4.1.99999.3.0", textOid = "1.3.6.1.4.1.99999.4.0";
    const auto set = [&](std::vector<std::string> extra) {
        std::vector<std::string> args{"set", host, "--community", "private", "--"}; // "--": values may start with "-"
        args.insert(args.end(), extra.begin(), extra.end());
        return cli(args);
    };

    CommandResult result = set({integerOid, "-12"});
    EXPECT_EQ(result.out, "-12\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(netSnmpHex(host, integerOid), "INTEGER: -12\n");

    result = cli({"set", host, integerOid, "2147483647.4", "--type", "1", "--community", "private"});
    EXPECT_EQ(result.out, "2147483647\n");
    EXPECT_EQ(result.status, 0);

    // Too large for 32 bits: refused before anything is sent.
    result = cli({"set", host, integerOid, "2147483648", "--type", "1", "--community", "private"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.out.starts_with("[Vantobe.SnmpV1.SnmpSet][6]=")) << result.out;
    EXPECT_EQ(netSnmpHex(host, integerOid), "INTEGER: 2147483647\n");

    result = set({textOid, "Gr\xC3\xBC\xC3\x9F" "e 1"});
    EXPECT_EQ(result.out, "Gr\xC3\xBC\xC3\x9F" "e 1\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(netSnmpHex(host, textOid), "Hex-STRING: 47 72 FC DF 65 20 31 \n");

    result = set({integerOid, "abc"}); // text to an INTEGER object: badValue
    EXPECT_EQ(result.out, BadValue + "\n");
    EXPECT_EQ(result.status, 1);

    result = cli({"set", host, integerOid, "5"}); // the default community is read-only
    EXPECT_EQ(result.out, NoSuchName + "\n");
    EXPECT_EQ(result.status, 1);
}

TEST(CliSnmp, WalkListsEveryStepUntilAValueWithError) {
    ASSERT_AGENT(printer());
    const CommandResult result = cli({"walk", printer().address(), "1.3.6.1.2.1.1", "--community", "printer"});
    EXPECT_EQ(result.status, 0) << result.err;
    const std::vector<std::string> expected = {
        "=S= 1.3.6.1.2.1.1 : " + NoSuchName,
        "=1= 1.3.6.1.2.1.1.1.0 : RICOH MP C3003 1.01 / RICOH Network Printer C model",
        "=2= 1.3.6.1.2.1.1.2.0 : 1.3.6.1.4.1.367.1.1",
        "=3= 1.3.6.1.2.1.1.3.0 : 8640000",
        "=4= 1.3.6.1.2.1.1.4.0 : ", // the empty sysContact: the walk goes on past it
        "=5= 1.3.6.1.2.1.1.5.0 : RNP-C3003-2F",
        "=6= 1.3.6.1.2.1.1.6.0 : B\xC3\xBCro 2.OG",
        "=7= 1.3.6.1.2.1.1.7.0 : 72",
        "=8= 1.3.6.1.2.1.2.2.1.1.1 : 1",
        "=9= 1.3.6.1.2.1.2.2.1.2.1 : ncmac0",
        "=10= 1.3.6.1.2.1.2.2.1.5.1 : -1294967296",
        "=11= 1.3.6.1.2.1.2.2.1.6.1 : 00005E001A",
        "=12= 1.3.6.1.2.1.2.2.1.10.1 : -1",
        "=13= 1.3.6.1.2.1.4.20.1.1.127.0.0.41 : 4",
        "=14= 1.3.6.1.2.1.25.3.2.1.3.1 : RICOH MP C3003 1.01",
        "=15= 1.3.6.1.2.1.25.3.2.1.5.1 : 2",
        "=16= 1.3.6.1.2.1.43.5.1.1.17.1 : E173M530012",
        "=17= 1.3.6.1.2.1.43.10.2.1.4.1.1 : 154321",
        "=18= 1.3.6.1.2.1.43.11.1.1.6.1.1 : Black Toner",
        "=19= 1.3.6.1.2.1.43.11.1.1.6.1.2 : Cyan Toner",
        "=20= 1.3.6.1.2.1.43.11.1.1.6.1.3 : Magenta Toner",
        "=21= 1.3.6.1.2.1.43.11.1.1.6.1.4 : Yellow Toner",
        "=22= 1.3.6.1.2.1.43.11.1.1.9.1.1 : 80",
        "=23= 1.3.6.1.2.1.43.11.1.1.9.1.2 : 45",
        "=24= 1.3.6.1.2.1.43.11.1.1.9.1.3 : -3",
        "=25= 1.3.6.1.2.1.43.11.1.1.9.1.4 : 10",
        "=26= 1.3.6.1.2.1.43.18.1.1.8.1.1 : Tray 2: paper misfeed error", // listed, then the walk ends
    };
    EXPECT_EQ(splitLines(result.out), expected);
}

TEST(CliSnmp, WalkEndsAtARootChangeUnlessFullWalk) {
    ASSERT_AGENT(printer());
    std::vector<std::string> expected = {
        "=S= " + std::string(CounterTable) + " : " + NoSuchName,
        "=1= 1.3.6.1.4.1.367.3.2.1.2.19.5.1.5.1 : Total",
        "=2= 1.3.6.1.4.1.367.3.2.1.2.19.5.1.5.2 : Printer: Black & White",
        "=3= 1.3.6.1.4.1.367.3.2.1.2.19.5.1.5.3 : Copier: Full Color",
        "=4= 1.3.6.1.4.1.367.3.2.1.2.19.5.1.5.4 : Fax: Black & White",
        "=5= 1.3.6.1.4.1.367.3.2.1.2.19.5.1.9.1 : 154321",
        "=6= 1.3.6.1.4.1.367.3.2.1.2.19.5.1.9.2 : 98765",
        "=7= 1.3.6.1.4.1.367.3.2.1.2.19.5.1.9.3 : 43210",
        "=8= 1.3.6.1.4.1.367.3.2.1.2.19.5.1.9.4 : 12346",
    };
    CommandResult result = cli({"walk", printer().address(), CounterTable, "--community", "printer"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(splitLines(result.out), expected); // 2.25.1.0 comes next: no line for it

    expected.push_back("=9= 2.25.1.0 : outside the Internet subtree");
    expected.push_back("=10= 2.25.1.0 : " + NoSuchName); // the end of the data, listed because of --full-walk
    result = cli({"walk", printer().address(), CounterTable, "--community", "printer", "--full-walk"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(splitLines(result.out), expected);

    result = cli({"walk", printer().address(), "2.25.1.0", "--community", "printer"});
    EXPECT_EQ(result.status, 1); // not even the first step was walked
    EXPECT_EQ(splitLines(result.out),
              (std::vector<std::string>{"=S= 2.25.1.0 : outside the Internet subtree",
                                        "=1= 2.25.1.0 : " + NoSuchName}));
}

TEST(CliSnmp, WalkStopsAfterStepTenThousand) {
    ASSERT_AGENT(printer());
    const CommandResult result =
        cli({"walk", printer().address(), "1.3.6.1.4.1.99999.1", "--community", "big", "--full-walk"});
    EXPECT_EQ(result.status, 0) << result.err;
    const auto lines = splitLines(result.out);
    ASSERT_EQ(lines.size(), 10001u);
    EXPECT_EQ(lines[0], "=S= 1.3.6.1.4.1.99999.1 : " + NoSuchName);
    for (std::size_t step = 1; step < lines.size(); ++step) {
        const std::string n = std::to_string(step);
        ASSERT_EQ(lines[step], "=" + n + "= 1.3.6.1.4.1.99999.1." + n + " : " + n);
    }
}

// Net-SNMP's options with their values apart or attached, and a profile of the credentials file, ask snmpd as they
// say: version 2c with a community that version 1 does not get, and version 3 with authentication and privacy.
TEST(CliSnmp, NetSnmpOptionsAndProfilesAskInVersion2cAnd3) {
    ASSERT_AGENT(snmpd());
    const std::string host = snmpd().address(), oid = "1.3.6.1.4.1.99999.5.0";
    const std::vector<std::string> v3{"-v3", "-u", "clerk", "-l", "authPriv", "-a", "SHA-256", "-Aauthpass1",
                                      "-xAES", "-X", "privpass1"};
    for (const auto &options : {std::vector<std::string>{"-v2c", "-c", "site2c"}, {"-v", "2c", "-csite2c"}, v3}) {
        std::vector<std::string> args{"get", host, oid};
        args.insert(args.end(), options.begin(), options.end());
        const CommandResult result = cli(args);
        EXPECT_EQ(result.out, "profiled\n") << options[0] << " " << options[1] << ": " << result.err;
        EXPECT_EQ(result.status, 0);
    }
    EXPECT_EQ(cli({"get", host, oid, "-v1", "-c", "site2c"}, {{"QUORREL_TIMEOUT_MS", "200"}}).status, 1);

    const std::string folder = testing::TempDir() + "cli-profiles";
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/snmp-credentials.ini")
        << "[office]\nversion=3\nuser=clerk\nauthprotocol=sha-256\nauthpassphrase=authpass1\nprivprotocol=aes\n"
           "privpassphrase=privpass1\n";
    const CommandResult profiled = cli({"get", host, oid, "--profile", "Office", "--folder", folder});
    EXPECT_EQ(profiled.out, "profiled\n") << profiled.err;
    const CommandResult unknown = cli({"get", host, oid, "--profile", "home", "--folder", folder});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("no profile home in "), std::string::npos) << unknown.err;
}

// Our walk of snmpd's tree from "1" visits the OIDs Net-SNMP's own snmpwalk visits, in the same order, and ends
// with the agent's noSuchName past the last one (or, should a value still hold "error", right after that value).
TEST(CliSnmp, WalkOfSnmpdMatchesNetSnmpWalk) {
    ASSERT_AGENT(snmpd());
    const CommandResult reference =
        runCommand({"snmpwalk", "-v1", "-c", "walk", "-On", "-m", "", snmpd().address(), "1"});
    ASSERT_EQ(reference.status, 0) << reference.err;
    std::vector<std::string> expectedOids;
    bool endsOnError = false;
    std::string lastLine;
    for (const std::string &line : splitLines(reference.out)) {
        lastLine = line;
        if (!line.starts_with(".")) continue; // continuation of a multi-line value
        const auto equals = line.find(" = ");
        expectedOids.push_back(line.substr(1, equals - 1));
        std::string value = line.substr(equals);
        std::transform(value.begin(), value.end(), value.begin(), [](unsigned char c) { return std::tolower(c); });
        if ((endsOnError = value.find("error") != std::string::npos)) break;
    }
    ASSERT_GT(expectedOids.size(), 500u) << lastLine;
    ASSERT_LT(expectedOids.size(), 9990u);

    const CommandResult result = cli({"walk", snmpd().address(), "1", "--community", "walk"});
    EXPECT_EQ(result.status, 0) << result.err;
    std::vector<std::string> lines;
    for (const std::string &line : splitLines(result.out))
        if (line.starts_with("=")) lines.push_back(line); // a value may span lines
    ASSERT_EQ(lines.size(), expectedOids.size() + (endsOnError ? 1 : 2)) << lines.back();
    EXPECT_EQ(lines.front(), "=S= 1 : " + NoSuchName);
    // Any bytes may follow: hrSystemDate is binary, and its minute or hour can be a carriage return.
    const std::regex walkLine(R"(=(\d+)= ([0-9.]+) : [\s\S]*)");
    for (std::size_t i = 0; i < expectedOids.size(); ++i) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(lines[i + 1], match, walkLine)) << lines[i + 1];
        ASSERT_EQ(match[1].str(), std::to_string(i + 1));
        ASSERT_EQ(match[2].str(), expectedOids[i]) << "step " << i + 1;
    }
    if (!endsOnError) {
        EXPECT_EQ(lines.back(),
                  "=" + std::to_string(expectedOids.size() + 1) + "= " + expectedOids.back() + " : " + NoSuchName);
    }
}

} // namespace
