// snmp-credentials.ini as people write it: Net-SNMP's spellings in any letter case, keys that must go together,
// and the hosts a profile is tried on, as addresses, ranges or CIDR blocks.
#include "store/snmpprofiles.h"

#include <gtest/gtest.h>

namespace {

// A profile as "name version community user auth/passphrase priv/passphrase context", a problem as itself.
QStringList shown(const store::SnmpProfiles &parsed) {
    QStringList out;
    for (const store::SnmpProfile &p : parsed.profiles)
        out << QStringList{p.name, p.version, p.community, p.user, p.authProtocol + u'/' + p.authPassphrase,
                           p.privProtocol + u'/' + p.privPassphrase, p.context}
                   .join(u' ');
    return out + parsed.problems;
}

TEST(SnmpProfiles, EachSectionIsAProfileInFileOrderOrALeftOutOneWithWhy) {
    struct Case {
        const char *file;
        QStringList expected;
    };
    const QString NoBlock = QStringLiteral(" is not an address, a range or a CIDR block");
    const Case cases[] = {
        {"[plain]\n", {"plain 1 public  / / "}},
        {"[b]\nversion=2C\ncommunity=site\n[a]\nVERSION=1\n", {"b 2c site  / / ", "a 1 public  / / "}},
        {"[v3]\nVersion=3\nUser=u\nAuthProtocol=sha-512\nAuthPassphrase=authpass\nPrivProtocol=aes\n"
         "PrivPassphrase=privpass\nContext=Jetdirect\n",
         {"v3 3 public u SHA-512/authpass AES/privpass Jetdirect"}},
        // A value that is not one of the names is never quoted: it may be a passphrase under the wrong key.
        {"[x]\nVersion=4\n", {"profile [x] left out: Version is not one of 1, 2c, 3"}},
        {"[x]\nVersion=3\nUser=u\nAuthProtocol=my authpass\nAuthPassphrase=authpass\n",
         {"profile [x] left out: AuthProtocol is not one of MD5, SHA, SHA-224, SHA-256, SHA-384, SHA-512"}},
        {"[x]\nVersion=3\nUser=u\nPrivProtocol=privpass1\n",
         {"profile [x] left out: PrivProtocol is not one of DES, AES, AES-192, AES-256"}},
        // Only the first of a repeated section would be read, which may not be the one meant.
        {"[a]\nCommunity=one\n[b]\n[A]\nCommunity=two\n",
         {"b 1 public  / / ", "profile [a] left out: more than one section has this name, and each is left out"}},
        {"[x]\nColour=blue\n", {"profile [x] left out: unknown key Colour"}},
        {"[x]\nCommunity=\n", {"profile [x] left out: Community is empty"}},
        {"[x]\nUser=u\n", {"profile [x] left out: User, the protocols, the passphrases and Context go with Version 3"}},
        {"[x]\nVersion=3\n", {"profile [x] left out: Version 3 needs a User"}},
        {"[x]\nVersion=3\nUser=u\nAuthProtocol=MD5\n",
         {"profile [x] left out: AuthProtocol and AuthPassphrase go together"}},
        {"[x]\nVersion=3\nUser=u\nPrivProtocol=DES\nPrivPassphrase=privpass\n",
         {"profile [x] left out: PrivProtocol needs an AuthProtocol"}},
        {"[x]\nVersion=3\nUser=u\nAuthProtocol=MD5\nAuthPassphrase=secret7\n[ok]\n",
         {"ok 1 public  / / ", "profile [x] left out: a passphrase has fewer than 8 characters"}},
        {"[x]\nHosts=127.0.0.1 127.0.0.9-3\n", {"profile [x] left out: Hosts: 127.0.0.9-3" + NoBlock}},
        {"[x]\nHosts=127.0.0.256\n", {"profile [x] left out: Hosts: 127.0.0.256" + NoBlock}},
        {"[x]\nHosts=127.0.0.0/33\n", {"profile [x] left out: Hosts: 127.0.0.0/33" + NoBlock}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(shown(store::parseSnmpProfiles(c.file)), c.expected);
    }
}

TEST(SnmpProfiles, HostsNameAddressesRangesAndCidrBlocks) {
    const auto parsed = store::parseSnmpProfiles(
        "[some]\nHosts=127.0.0.5, 127.0.1.10-20 127.0.2.0/30,127.0.3.250-127.0.4.5\n[every]\n");
    ASSERT_EQ(parsed.profiles.size(), 2);
    const std::pair<const char *, bool> hosts[] = {
        {"127.0.0.5", true},   {"127.0.0.6", false},  {"127.0.1.9", false},  {"127.0.1.10", true}, {"127.0.1.20", true},
        {"127.0.1.21", false}, {"127.0.2.3", true},   {"127.0.2.4", false},  {"127.0.3.255", true}, {"127.0.4.5", true},
        {"127.0.4.6", false},  {"printer7", false},
    };
    for (const auto &[host, applies] : hosts) {
        EXPECT_EQ(parsed.profiles[0].appliesTo(host), applies) << host;
        EXPECT_TRUE(parsed.profiles[1].appliesTo(host)) << host;
    }
}

} // namespace
