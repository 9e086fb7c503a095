// SnmpV1 against real, independent agents (snmpsim with printer data, Net-SNMP's snmpd with override lines), with
// Net-SNMP's own snmpget as the reference for what is on the wire.
#include "snmpv1.h"
#include "support/realagents.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <regex>
#include <sstream>

namespace {

using testsupport::runCommand;
using testsupport::SnmpdAgent;
using testsupport::SnmpsimAgent;

constexpr char Enterprise[] = "1.3.6.1.4.1.99999";
const std::string NoSuchName = "[Vantobe.Mod.SnmpResponseProcess][AP02C1]=Error encountered during Agent Process";
const std::string BadValue = "[Vantobe.Mod.SnmpResponseProcess][AP03C1]=Error encountered during Agent Process";

// The printer's data for the community "printer", and a Counter64 for the community "counters".
SnmpsimAgent &printer() {
    static SnmpsimAgent agent(METERLANE_AGENTS_DIR,
                              {{"counters.snmprec", "1.3.6.1.2.1.31.1.1.1.6.1|70|1099511627781\n"}});
    return agent;
}

SnmpdAgent &snmpd() {
    static SnmpdAgent agent({
                                              "override 1.3.6.1.4.1.99999.1.0 integer -5",
                                              "override 1.3.6.1.4.1.99999.2.0 octet_str \"Drucker 2\"",
                                              "override -rw 1.3.6.1.4.1.99999.3.0 integer 7",
                                              "override -rw 1.3.6.1.4.1.99999.4.0 octet_str \"initial\"",
                                              "override 1.3.6.1.4.1.99999.5.0 object_id .1.3.6.1.4.1.367.1.1",
                                              "override 1.3.6.1.4.1.99999.6.0 timeticks 4000000000",
                                              "override 1.3.6.1.4.1.99999.7.0 counter 4294967295",
                                              "override 1.3.6.1.4.1.99999.8.0 unsigned 3000000000",
                                              "override 1.3.6.1.4.1.99999.9.0 octet_str \"\"",
                                          });
    return agent;
}

// A version 3 user of v3Lines(), named after its protocols: one without any, one per authentication protocol
// without privacy, and one for each pair of authentication and privacy protocols.
struct V3User {
    std::string auth, priv; // "" for none
    std::string name() const { return auth.empty() ? "plain" : priv.empty() ? auth : auth + "." + priv; }
    std::string level() const { return auth.empty() ? "noauth" : priv.empty() ? "auth" : "priv"; }
};
constexpr char AuthPassphrase[] = "authentic passphrase";
constexpr char PrivPassphrase[] = "private passphrase";

const std::vector<V3User> &v3Users() {
    static const std::vector<V3User> users = [] {
        std::vector<V3User> list{{"", ""}};
        for (const char *auth : {"MD5", "SHA", "SHA-224", "SHA-256", "SHA-384", "SHA-512"})
            for (const char *priv : {"", "DES", "AES", "AES-192", "AES-256"}) list.push_back({auth, priv});
        return list;
    }();
    return users;
}

// snmpd's configuration lines for the users, each allowed its own level and no lower, reading the view given.
std::vector<std::string> v3Lines(const std::vector<V3User> &users, const std::string &view) {
    std::vector<std::string> lines;
    for (const V3User &user : users) {
        std::string create = "createUser " + user.name();
        if (!user.auth.empty()) create += " " + user.auth + " \"" + AuthPassphrase + "\"";
        if (!user.priv.empty()) create += " " + user.priv + " \"" + PrivPassphrase + "\"";
        lines.push_back(create);
        lines.push_back("rouser -s usm " + user.name() + " " + user.level() + " -V " + view);
    }
    return lines;
}

// snmpd's whole tree less what changes while a test runs (processes, sockets, ICMP message types seen, the agent's
// own caches and transactions), for the community "sesame".
const std::vector<std::string> WalkableView = {
    "view walkable included .1",
    "view walkable excluded .1.3.6.1.2.1.25.4",
    "view walkable excluded .1.3.6.1.2.1.25.5",
    "view walkable excluded .1.3.6.1.2.1.5.30",
    "view walkable excluded .1.3.6.1.2.1.6",
    "view walkable excluded .1.3.6.1.2.1.7",
    "view walkable excluded .1.3.6.1.4.1.8072.1.5",
    "view walkable excluded .1.3.6.1.4.1.8072.1.8",
};

// snmpd for the community "sesame" and the version 3 users, all with the walkable view, and the overrides of snmpd().
SnmpdAgent &secureSnmpd() {
    static SnmpdAgent agent([] {
        std::vector<std::string> lines = WalkableView;
        lines.push_back("rocommunity sesame 127.0.0.0/8 -V walkable");
        for (const std::string &line : v3Lines(v3Users(), "walkable")) lines.push_back(line);
        lines.push_back("override 1.3.6.1.4.1.99999.1.0 integer -5");
        return lines;
    }());
    return agent;
}

// One open session to an agent with a community, closed at the end of the scope.
struct Session {
    Session(const std::string &agent, const std::string &community, const std::string &version = "1") {
        quorrel::engine::library().agent = agent;
        quorrel::engine::library().commStr = community;
        snmp.setVersion(version);
        opened = snmp.SnmpMgrOpen();
    }
    ~Session() { snmp.SnmpMgrClose(); }

    // A version 3 session as the user, with the passphrases given.
    Session(const std::string &agent, const V3User &user, const std::string &authPassphrase = AuthPassphrase,
            const std::string &privPassphrase = PrivPassphrase)
        : Session(agent, "", "3") {
        snmp.setSecurityName(user.name());
        snmp.setAuthProtocol(user.auth);
        snmp.setAuthPassphrase(authPassphrase);
        snmp.setPrivProtocol(user.priv);
        snmp.setPrivPassphrase(privPassphrase);
    }

    quorrel::SnmpV1 snmp; // constructed first: it resets the library's time-out values, not Agent and CommStr
    std::string opened;
};

// An environment variable for the length of a scope.
struct ScopedEnvironment {
    ScopedEnvironment(const char *name, const char *value) : name(name) { setenv(name, value, 1); }
    ~ScopedEnvironment() { unsetenv(name); }
    const char *name;
};

// One binding as Net-SNMP shows it, turned into our rendering: the OID without its leading dot, the type name, and
// the value as our library must read it.
struct Reference {
    int status = -1;
    std::string oid, type, text;
};

std::string signed32(const std::string &digits) {
    return std::to_string(static_cast<std::int32_t>(static_cast<std::uint32_t>(std::stoll(digits))));
}

// Strings: a first byte of zero reads as hexadecimal (no leading zero per byte, "00" for a zero byte), anything
// else as Windows-1252. The test data keep to its Latin-1 part, which maps byte for byte onto Unicode.
std::string renderOctets(const std::vector<unsigned> &bytes) {
    std::string text;
    if (!bytes.empty() && bytes[0] == 0) {
        for (unsigned byte : bytes) {
            std::ostringstream hex;
            hex << std::uppercase << std::hex << byte;
            text += byte == 0 ? "00" : hex.str();
        }
        return text;
    }
    for (unsigned byte : bytes) {
        if (byte >= 0x80 && byte < 0xA0) ADD_FAILURE() << "test data outside Latin-1";
        if (byte < 0x80) {
            text.push_back(static_cast<char>(byte));
        } else {
            text.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return text;
}

Reference netSnmp(const std::string &tool, const std::string &address, const std::string &community,
                  const std::string &oid) {
    const auto result =
        runCommand({tool, "-v1", "-c", community, "-On", "-Ox", "-m", "", "-r1", "-t", "1", address, oid});
    Reference reference;
    reference.status = result.status;
    std::string out = result.out;
    for (char &c : out)
        if (c == '\n') c = ' ';
    const auto equals = out.find(" = ");
    if (result.status != 0 || equals == std::string::npos) return reference;
    reference.oid = out.substr(out[0] == '.' ? 1 : 0, equals - (out[0] == '.' ? 1 : 0));
    std::string value = out.substr(equals + 3);
    while (!value.empty() && value.back() == ' ') value.pop_back();
    if (value == "\"\"") {
        reference.type = "STRING";
        return reference;
    }
    const auto colon = value.find(": ");
    reference.type = value.substr(0, colon);
    value = colon == std::string::npos ? std::string() : value.substr(colon + 2);
    std::vector<unsigned> bytes;
    if (reference.type == "Hex-STRING" || reference.type == "OPAQUE") {
        std::istringstream hex(value);
        for (std::string token; hex >> token;) bytes.push_back(static_cast<unsigned>(std::stoul(token, nullptr, 16)));
    }

    if (reference.type == "INTEGER" || reference.type == "Counter32" || reference.type == "Gauge32")
        reference.text = signed32(value);
    else if (reference.type == "Timeticks") reference.text = signed32(value.substr(1, value.find(')') - 1));
    else if (reference.type == "OID") reference.text = value.substr(1);
    else if (reference.type == "IpAddress") reference.text = "4";
    else if (reference.type == "OPAQUE") reference.text = std::to_string(bytes.size());
    else if (reference.type == "Hex-STRING") reference.text = renderOctets(bytes);
    else ADD_FAILURE() << "unexpected type in: " << result.out;
    return reference;
}

const std::vector<std::string> PrinterOids = {
    "1.3.6.1.2.1.1.1.0",           "1.3.6.1.2.1.1.2.0",           "1.3.6.1.2.1.1.3.0",
    "1.3.6.1.2.1.1.4.0",           "1.3.6.1.2.1.1.6.0",           "1.3.6.1.2.1.2.2.1.5.1",
    "1.3.6.1.2.1.2.2.1.6.1",       "1.3.6.1.2.1.2.2.1.10.1",      "1.3.6.1.2.1.4.20.1.1.127.0.0.41",
    "1.3.6.1.2.1.25.3.2.1.3.1",    "1.3.6.1.2.1.43.10.2.1.4.1.1", "1.3.6.1.2.1.43.11.1.1.9.1.3",
    "1.3.6.1.4.1.367.3.2.1.1.1.1.0", "1.3.6.1.4.1.367.3.2.1.2.19.5.1.5.2",
};

TEST(RealAgents, GetReadsEveryTypeAsNetSnmpSeesIt) {
    ASSERT_AGENT(printer());
    ASSERT_AGENT(snmpd());
    {
        Session session(printer().address(), "printer");
        ASSERT_EQ(session.opened, "Successful");
        for (const std::string &oid : PrinterOids) {
            const Reference reference = netSnmp("snmpget", printer().address(), "printer", oid);
            ASSERT_EQ(reference.status, 0) << oid;
            EXPECT_EQ(session.snmp.SnmpGet(oid), reference.text) << oid << " (" << reference.type << ")";
        }
    }
    Session session(snmpd().address(), "public");
    ASSERT_EQ(session.opened, "Successful");
    for (int item = 1; item <= 9; ++item) {
        const std::string oid = std::string(Enterprise) + "." + std::to_string(item) + ".0";
        const Reference reference = netSnmp("snmpget", snmpd().address(), "public", oid);
        ASSERT_EQ(reference.status, 0) << oid;
        EXPECT_EQ(session.snmp.SnmpGet(oid), reference.text) << oid << " (" << reference.type << ")";
    }
}

// The same values spelled out, so that a shared mistake of the reference and the library cannot hide.
TEST(RealAgents, GetRendersWireValuesByOurRules) {
    ASSERT_AGENT(printer());
    Session session(printer().address(), "printer");
    ASSERT_EQ(session.opened, "Successful");
    const std::pair<const char *, const char *> expected[] = {
        {"1.3.6.1.2.1.1.2.0", "1.3.6.1.4.1.367.1.1"},
        {"1.3.6.1.2.1.1.4.0", ""},
        {"1.3.6.1.2.1.1.6.0", "B\xC3\xBCro 2.OG"},           // Windows-1252 0xFC
        {"1.3.6.1.2.1.2.2.1.5.1", "-1294967296"},              // Gauge32 3000000000
        {"1.3.6.1.2.1.2.2.1.6.1", "00005E001A"},               // 00 00 5E 00 01 0A
        {"1.3.6.1.2.1.2.2.1.10.1", "-1"},                      // Counter32 4294967295
        {"1.3.6.1.2.1.4.20.1.1.127.0.0.41", "4"},              // IpAddress: its length
        {"1.3.6.1.2.1.43.11.1.1.9.1.3", "-3"},
        {"1.3.6.1.4.1.367.3.2.1.1.1.1.0", "5"},                // Opaque: its length
        {"1.3.6.1.4.1.367.3.2.1.2.19.5.1.5.2", "Printer: Black & White"},
    };
    for (const auto &[oid, text] : expected) EXPECT_EQ(session.snmp.SnmpGet(oid), text) << oid;
}

TEST(RealAgents, GetNextFollowsTheAgentsOrderToTheEnd) {
    ASSERT_AGENT(printer());
    Session session(printer().address(), "printer");
    ASSERT_EQ(session.opened, "Successful");
    std::string oid = "1";
    int steps = 0;
    for (;; ++steps) {
        ASSERT_LT(steps, 100);
        const Reference reference = netSnmp("snmpgetnext", printer().address(), "printer", oid);
        const std::string asked = oid;
        const std::string text = session.snmp.SnmpGetNext(oid);
        if (reference.status != 0) {
            // Past the last OID: noSuchName, and the OID stays the one asked for.
            EXPECT_EQ(text, NoSuchName);
            EXPECT_EQ(oid, asked);
            break;
        }
        EXPECT_EQ(oid, reference.oid) << "after " << asked;
        EXPECT_EQ(text, reference.text) << "after " << asked;
        if (oid != reference.oid) break;
    }
    EXPECT_EQ(steps, 37); // every entry of the data, the empty sysContact included
}

TEST(RealAgents, SetWritesIntegerAndTextAndReadsBack) {
    ASSERT_AGENT(snmpd());
    Session session(snmpd().address(), "private");
    ASSERT_EQ(session.opened, "Successful");
    const std::string integerOid = std::string(Enterprise) + ".3.0", textOid = std::string(Enterprise) + ".4.0";
    const auto readBack = [&](const std::string &oid) { return netSnmp("snmpget", snmpd().address(), "public", oid); };

    EXPECT_EQ(session.snmp.SnmpSet(integerOid, 42.0), "42");
    EXPECT_EQ(readBack(integerOid).text, "42");
    EXPECT_EQ(session.snmp.SnmpSet(integerOid, std::string("-2147483648")), "-2147483648"); // numeric text
    EXPECT_EQ(readBack(integerOid).text, "-2147483648");
    EXPECT_EQ(session.snmp.SnmpSet(integerOid, std::string("12"), 1), "12");
    EXPECT_EQ(readBack(integerOid).type, "INTEGER");
    // Type 0 makes text of the value first; a text that reads as a number still goes out as an INTEGER.
    EXPECT_EQ(session.snmp.SnmpSet(integerOid, 2.5, 0), "2");
    EXPECT_EQ(readBack(integerOid).text, "2");

    EXPECT_EQ(session.snmp.SnmpSet(textOid, std::string("Gr\xC3\xBC\xC3\x9F" "e")), "Gr\xC3\xBC\xC3\x9F" "e");
    EXPECT_EQ(runCommand({"snmpget", "-v1", "-c", "public", "-Ov", "-Ox", "-m", "", snmpd().address(), textOid}).out,
              "Hex-STRING: 47 72 FC DF 65 \n"); // Windows-1252 on the wire
    EXPECT_EQ(session.snmp.SnmpSet(textOid, std::string()), "");
    EXPECT_EQ(readBack(textOid).type, "STRING");
}

TEST(RealAgents, AgentErrorsComeBackAsMessages) {
    ASSERT_AGENT(printer());
    ASSERT_AGENT(snmpd());
    {
        Session session(printer().address(), "printer");
        EXPECT_EQ(session.snmp.SnmpGet("1.3.6.1.2.1.1.1.9"), NoSuchName);
        EXPECT_EQ(session.snmp.SnmpGet("1.3.6.1.2.1.1"), NoSuchName);
        EXPECT_EQ(session.snmp.SnmpSet("1.3.6.1.2.1.1.5.0", std::string("x")), NoSuchName); // read-only data
    }
    {
        Session session(snmpd().address(), "private");
        const std::string integerOid = std::string(Enterprise) + ".3.0";
        EXPECT_EQ(session.snmp.SnmpSet(std::string(Enterprise) + ".1.0", 1.0), NoSuchName); // not writable
        EXPECT_EQ(session.snmp.SnmpSet(integerOid, std::string("seven")), BadValue);       // text to an integer
        EXPECT_EQ(session.snmp.SnmpSet(std::string(Enterprise) + ".4.0", 12.0), BadValue);  // integer to a text
    }
    Session readOnly(snmpd().address(), "public");
    EXPECT_EQ(readOnly.snmp.SnmpSet(std::string(Enterprise) + ".3.0", 5.0), NoSuchName);
}

TEST(RealAgents, Version2cAnswersAsVersion1DoesWithItsOwnErrorStatusesAndWholeCounter64) {
    ASSERT_AGENT(printer());
    ASSERT_AGENT(snmpd());
    {
        Session session(printer().address(), "counters", "2c");
        EXPECT_EQ(session.snmp.SnmpGet("1.3.6.1.2.1.31.1.1.1.6.1"), "1099511627781");
    }
    Session session(snmpd().address(), "private", "2c");
    const std::string integerOid = std::string(Enterprise) + ".3.0";
    EXPECT_EQ(session.snmp.SnmpGet(std::string(Enterprise) + ".1.0"), "-5");
    EXPECT_EQ(session.snmp.SnmpGet(std::string(Enterprise) + ".1.1"), NoSuchName); // noSuchObject
    EXPECT_EQ(session.snmp.SnmpGet("1.3.6.1.2.1.1.1.7"), NoSuchName);              // noSuchInstance
    std::string oid = "2.0";
    EXPECT_EQ(session.snmp.SnmpGetNext(oid), NoSuchName); // endOfMibView
    EXPECT_EQ(oid, std::string(Enterprise) + ".1.0");     // the last OID read, as after version 1's noSuchName
    const auto failed = [](int status) {
        return "[Vantobe.Mod.SnmpResponseProcess][AP0" + std::to_string(status) +
               "C1]=Error encountered during Agent Process";
    };
    EXPECT_EQ(session.snmp.SnmpSet(std::string(Enterprise) + ".1.0", 1.0), failed(17)); // notWritable
    EXPECT_EQ(session.snmp.SnmpSet(integerOid, std::string("seven")), failed(7));       // wrongType
    Session readOnly(snmpd().address(), "public", "2c");
    EXPECT_EQ(readOnly.snmp.SnmpSet(integerOid, 5.0), failed(6)); // noAccess
}

// The OIDs of a walk from "1" by get-next to the end of the agent's tree.
std::vector<std::string> walkedOids(quorrel::SnmpV1 &snmp) {
    std::vector<std::string> oids;
    for (std::string oid = "1";;) {
        const std::string text = snmp.SnmpGetNext(oid);
        if (text == NoSuchName) return oids;
        if (text.rfind("[Vantobe.", 0) == 0 || oids.size() > 100000) {
            ADD_FAILURE() << "after " << oids.size() << " OIDs: " << text;
            return oids;
        }
        oids.push_back(oid);
    }
}

// The OIDs of a walk that Net-SNMP's tool printed, without its line for the end of the agent's tree.
std::vector<std::string> netSnmpWalkedOids(std::vector<std::string> command) {
    const auto result = runCommand(command);
    EXPECT_EQ(result.status, 0) << result.err;
    std::vector<std::string> oids;
    for (const std::string &line : testsupport::splitLines(result.out)) {
        const auto blank = line.find(' ');
        if (line.size() > 1 && line[0] == '.' && std::isdigit(static_cast<unsigned char>(line[1])) &&
            blank != std::string::npos && line.find("No more variables left") == std::string::npos)
            oids.push_back(line.substr(1, blank - 1));
    }
    return oids;
}

void expectSameOids(const std::vector<std::string> &ours, const std::vector<std::string> &theirs) {
    EXPECT_EQ(ours.size(), theirs.size());
    const auto [our, their] = std::mismatch(ours.begin(), ours.end(), theirs.begin(), theirs.end());
    if (our != ours.end() || their != theirs.end())
        ADD_FAILURE() << "first difference after " << (our - ours.begin()) << " OIDs: ours "
                      << (our != ours.end() ? *our : "(end)") << ", theirs " << (their != theirs.end() ? *their : "(end)");
}

TEST(RealAgents, WalkThroughGetBulkGivesSnmpbulkwalksOids) {
    ASSERT_AGENT(secureSnmpd());
    const std::string address = secureSnmpd().address();
    const std::vector<std::string> common = {"snmpbulkwalk", "-On", "-Oq", "-Cr10", "-m", ""};
    {
        Session session(address, "sesame", "2c");
        auto command = common;
        command.insert(command.end(), {"-v2c", "-c", "sesame", address, ".1"});
        const auto theirs = netSnmpWalkedOids(command);
        EXPECT_GT(theirs.size(), 1000u);
        expectSameOids(walkedOids(session.snmp), theirs);
    }
    const V3User user{"SHA-512", "AES-256"};
    Session session(address, user);
    auto command = common;
    command.insert(command.end(), {"-v3", "-l", "authPriv", "-u", user.name(), "-a", user.auth, "-A", AuthPassphrase,
                                   "-x", user.priv, "-X", PrivPassphrase, address, ".1"});
    expectSameOids(walkedOids(session.snmp), netSnmpWalkedOids(command));
}

TEST(RealAgents, Version3ReadsAtEachSecurityLevelWithEveryProtocolPair) {
    ASSERT_AGENT(secureSnmpd());
    for (const V3User &user : v3Users()) {
        Session session(secureSnmpd().address(), user);
        EXPECT_EQ(session.snmp.SnmpGet(std::string(Enterprise) + ".1.0"), "-5") << user.name();
    }
}

// Reports end a request at once with their cause; a wrong privacy passphrase makes the agent drop the request,
// which costs one time-out when the object asks for no retransmission.
TEST(RealAgents, Version3RefusalsNameTheirCauseOrCostOneTimeOut) {
    ASSERT_AGENT(secureSnmpd());
    const ScopedEnvironment timeout("QUORREL_TIMEOUT_MS", "300"), retries("QUORREL_RETRIES", "2");
    const std::string oid = std::string(Enterprise) + ".1.0";
    const auto usm = [](const std::string &code, const std::string &cause) {
        return "[Vantobe.Mod.SnmpResponseProcess][USM" + code + "]=" + cause;
    };
    struct Case {
        V3User user;
        std::string name, authPassphrase, expected;
    } cases[] = {
        {{"SHA-256", ""}, "", "wrong passphrase", usm("5", "Wrong digest (authentication passphrase or protocol)")},
        {{"MD5", ""}, "SHA", AuthPassphrase, usm("5", "Wrong digest (authentication passphrase or protocol)")},
        {{"SHA", "AES"}, "nobody", AuthPassphrase, usm("3", "Unknown user name")},
        {{"SHA", ""}, "plain", AuthPassphrase, usm("1", "Unsupported security level")},
    };
    for (const Case &c : cases) {
        Session session(secureSnmpd().address(), c.user, c.authPassphrase);
        if (!c.name.empty()) session.snmp.setSecurityName(c.name);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(session.snmp.SnmpGet(oid), c.expected);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300)); // nothing retried
    }

    Session session(secureSnmpd().address(), V3User{"SHA", "AES"}, AuthPassphrase, "wrong passphrase");
    session.snmp.setRetransmit(0.0);
    const auto start = std::chrono::steady_clock::now();
    const std::string text = session.snmp.SnmpGet(oid);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(std::regex_match(text, std::regex(R"(\[Vantobe\.Mod\.SnmpAgentResponse\]\[AP19\]=.*)")) ||
                text == usm("6", "Decryption error (privacy passphrase or protocol)"))
        << text;
    EXPECT_LT(elapsed, std::chrono::milliseconds(550));
}

// A restarted agent counts one more boot and starts its clock anew: the request with the old boots gets a report of
// the agent's new time, and the one resend with it is answered. An agent with a new engine ID is discovered again.
TEST(RealAgents, Version3GoesOnAfterTheAgentRestarts) {
    const V3User user{"SHA", "AES"};
    auto lines = v3Lines({user}, "all");
    lines.insert(lines.end(), {"view all included .1", "oldEngineID 0x80001f8880aabbccdd"});
    const auto booted = [&](int boots) {
        auto booted = lines;
        booted.push_back("engineBoots " + std::to_string(boots - 1));
        return booted;
    };
    SnmpdAgent agent(booted(4));
    ASSERT_AGENT(agent);
    const std::string engineBoots = "1.3.6.1.6.3.10.2.1.2.0";
    Session session(agent.address(), user);
    EXPECT_EQ(session.snmp.SnmpGet(engineBoots), "4");
    agent.restart(booted(9));
    ASSERT_AGENT(agent);
    EXPECT_EQ(session.snmp.SnmpGet(engineBoots), "9");
    lines.pop_back(); // a new engine ID of the agent's own choosing
    agent.restart(lines);
    ASSERT_AGENT(agent);
    EXPECT_EQ(session.snmp.SnmpGet(engineBoots), "1");
}

TEST(RealAgents, WrongCommunityTimesOut) {
    ASSERT_AGENT(snmpd());
    const ScopedEnvironment timeout("QUORREL_TIMEOUT_MS", "200"), retries("QUORREL_RETRIES", "1");
    Session session(snmpd().address(), "not-the-community");
    ASSERT_EQ(session.opened, "Successful");
    const std::regex timedOut(R"(\[Vantobe\.Mod\.SnmpAgentResponse\]\[AP19\]=Request ID \d+ has encountered an error)");

    const auto start = std::chrono::steady_clock::now();
    const std::string text = session.snmp.SnmpGet(std::string(Enterprise) + ".1.0");
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(std::regex_match(text, timedOut)) << text;
    EXPECT_GE(elapsed, std::chrono::milliseconds(380)); // two tries of 200 ms
    EXPECT_LT(elapsed, std::chrono::milliseconds(3000));

    std::string oid = std::string(Enterprise) + ".1.0";
    EXPECT_TRUE(std::regex_match(session.snmp.SnmpGetNext(oid), timedOut));
    EXPECT_EQ(oid, ""); // nothing returned, so no OID to go on from
}

} // namespace
