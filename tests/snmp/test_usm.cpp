// The user-based security model's keys, digests and ciphers: the published key examples, one request written out
// byte for byte, and requests that Net-SNMP's own snmpget encrypts and signs, checked and decrypted with our keys.
#include "security.h"
#include "usm.h"
#include "support/faultagent.h"
#include "support/realagents.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdlib>

using namespace quorrel::usm;

namespace {

std::string hex(std::string_view bytes) {
    std::string out;
    for (unsigned char b : bytes) out += "0123456789abcdef"[b >> 4], out += "0123456789abcdef"[b & 15];
    return out;
}

const std::string RfcEngine("\0\0\0\0\0\0\0\0\0\0\0\2", 12);

// The contents of the BER elements that follow each other in an encoding, at most `most` of them.
std::vector<std::string_view> contents(std::string_view encoding, std::size_t most = SIZE_MAX) {
    std::vector<std::string_view> out;
    for (std::size_t at = 0, length, content; at < encoding.size() && out.size() < most; at = content + length) {
        length = static_cast<unsigned char>(encoding.at(at + 1)), content = at + 2;
        if (length & 0x80)
            for (std::size_t octets = length & 0x7F, i = length = 0; i < octets; ++i)
                length = length << 8 | static_cast<unsigned char>(encoding.at(content++));
        out.push_back(encoding.substr(content, length));
    }
    return out;
}
std::uint32_t number(std::string_view content) {
    std::uint32_t n = 0;
    for (unsigned char b : content) n = n << 8 | b;
    return n;
}

} // namespace

TEST(Usm, KeysOfThePublishedExamples) {
    // MD5 and SHA-1 from RFC 3414 A.3.1 and A.3.2. SHA-256 computed with Python's hashlib:
    // ku = sha256((b"maplesyrup" * 104858)[:1 << 20]).digest(); kul = sha256(ku + engine + ku).digest()
    const struct {
        Auth auth;
        const char *key, *localized;
    } examples[] = {
        {Auth::Md5, "9faf3283884e92834ebc9847d8edd963", "526f5eed9fcce26f8964c2930787d82b"},
        {Auth::Sha1, "9fb5cc0381497b3793528939ff788d5d79145211", "6695febc9288e36282235fc7151f128497b38f3f"},
        {Auth::Sha256, "ab51014d1e077f6017df2b12bee5f5aa72993177e9bb569c4dff5a4ca0b4afac",
         "8982e0e549e866db361a6b625d84cccc11162d453ee8ce3a6445c2d6776f0f8b"},
    };
    for (const auto &example : examples) {
        EXPECT_EQ(hex(passphraseKey(example.auth, "maplesyrup")), example.key);
        EXPECT_EQ(hex(localizedKey(example.auth, "maplesyrup", RfcEngine)), example.localized);
    }
    EXPECT_EQ(localizedKey(Auth::Sha1, "", RfcEngine), ""); // an empty passphrase has no key
}

TEST(Usm, NoProtocolByAnEmptyNameAndNoneByAnUnknownOne) {
    EXPECT_EQ(authByName(""), Auth::None);
    EXPECT_FALSE(authByName("SHA1") || privByName("3DES"));
}

TEST(Usm, EachCipherRoundTripsWithANewSaltPerMessage) {
    const std::string plain = "\x30\x0b scoped PDU"; // 13 bytes: DES pads it to 16
    for (Priv priv : {Priv::Des, Priv::Aes128, Priv::Aes192, Priv::Aes256}) {
        SCOPED_TRACE(static_cast<int>(priv));
        const std::string key = privacyKey(Auth::Md5, priv, "privpassphrase", RfcEngine);
        std::string salt1, salt2;
        const auto first = encrypt(priv, key, 7, 1234, plain, salt1);
        const auto second = encrypt(priv, key, 7, 1234, plain, salt2);
        ASSERT_TRUE(first && second);
        EXPECT_NE(salt1, salt2);
        EXPECT_NE(*first, *second);
        EXPECT_EQ(decrypt(priv, key, 7, 1234, salt2, *second)->substr(0, plain.size()), plain);
        EXPECT_FALSE(decrypt(priv, key, 7, 1234, salt2.substr(1), *second)); // a salt of the wrong size
    }
    const std::string desKey = privacyKey(Auth::Md5, Priv::Des, "privpassphrase", RfcEngine);
    EXPECT_FALSE(decrypt(Priv::Des, desKey, 7, 1234, "12345678", "1234567")); // no whole number of blocks
    // The legacy provider went into our own library context, not the process's.
    EXPECT_EQ(EVP_CIPHER_fetch(nullptr, "DES-CBC", nullptr), nullptr);
}

TEST(Usm, DesAloneFailsWithoutTheLegacyProvider) {
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // a fresh process, whose library context is not made yet
    EXPECT_EXIT(
        {
            setenv("OPENSSL_MODULES", "/nonexistent", 1);
            std::string salt;
            const std::string key(32, 'k');
            std::exit(!encrypt(Priv::Des, key, 1, 1, "x", salt) && encrypt(Priv::Aes256, key, 1, 1, "x", salt) ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

// snmpget sends one authPriv request to an agent of the test; its digest must be ours and its scoped PDU must
// decrypt with our privacy key. Each authentication protocol once, each cipher at least once, and the AES-192/256
// keys extended from MD5 and SHA-1 digests, where the key extensions in use differ. The names are spelled in any
// letter case, as both we and Net-SNMP's tools take them.
TEST(Usm, NetSnmpRequestsVerifyAndDecryptWithOurKeys) {
    const std::pair<const char *, const char *> pairs[] = {{"MD5", "DES"},         {"md5", "AES-256"},
                                                           {"Sha", "aes-192"},     {"SHA-224", "AES-256"},
                                                           {"sha-256", "aes"},     {"SHA-384", "AES-192"},
                                                           {"SHA-512", "Aes-256"}};
    const std::string engine("\x80\x00\x1f\x88\x80\xaa\xbb\xcc\xdd", 9);
    meterlane::test::FaultAgent agent("127.0.0.38", "127.0.0.39"); // records the requests it cannot read
    for (const auto &[a, x] : pairs) {
        SCOPED_TRACE(std::string(a) + " " + x);
        const Auth auth = *authByName(a);
        const Priv priv = *privByName(x);
        agent.clearRequests();
        testsupport::runCommand({"snmpget", "-v3", "-l", "authPriv", "-u", "quorrel", "-a", a, "-A", "authpassphrase",
                                 "-x", x, "-X", "privpassphrase", "-e", "0x80001f8880aabbccdd", "-n", "ctxq", "-r0",
                                 "-t", "0.1", "-m", "", "udp:127.0.0.38:" + std::to_string(agent.port()), "1.3.6.1"});
        ASSERT_TRUE(agent.waitForRequests(1, std::chrono::seconds(5)));
        const std::string datagram = agent.requests().at(0).datagram;
        // version, global data, security parameters, encrypted scoped PDU
        const auto message = contents(contents(datagram).at(0));
        // engine ID, boots, time, user, digest, salt
        const auto security = contents(contents(message.at(2)).at(0));
        const std::string_view sent = security.at(4);
        std::string zeroed = datagram;
        zeroed.replace(sent.data() - datagram.data(), sent.size(), sent.size(), '\0');
        EXPECT_EQ(sent.size(), digestLength(auth));
        EXPECT_EQ(hex(digest(auth, localizedKey(auth, "authpassphrase", engine), zeroed)), hex(sent));
        const auto plain = decrypt(priv, privacyKey(auth, priv, "privpassphrase", engine), number(security.at(1)),
                                   number(security.at(2)), security.at(5), message.at(3));
        ASSERT_TRUE(plain);
        // context engine ID and context name, before the padding of DES
        EXPECT_EQ(contents(contents(*plain, 1).at(0)).at(1), "ctxq");
    }
}

// An authNoPriv get for the published example's engine with the user "quorrel" in the context "ctx", msgID and
// request id 1234; its HMAC-MD5-96 was computed apart with the published localised key 526f5eed....
TEST(Usm, AuthenticatedRequestGoesOutByteForByte) {
    const quorrel::security::User user{"quorrel", Auth::Md5, "maplesyrup", Priv::None, "", "ctx"};
    quorrel::ber::Pdu get;
    get.bindings.push_back({{1, 3, 6, 1, 2, 1, 1, 1, 0}, quorrel::ber::Value::null()});
    const auto datagram = quorrel::security::request(user, {RfcEngine, 1, 2}, 1234, get);
    ASSERT_TRUE(datagram);
    EXPECT_EQ(hex(*datagram), "3076020103"                                           // version 3
                              "300f020204d2020300ffe3040105020103"                   // msgID, size, flags, USM
                              "042f302d040c000000000000000000000002020101020102"     // engine, boots 1, time 2
                              "040771756f7272656c040c12b391ac0ff8ba52396cc4170400"   // user, digest, no salt
                              "302f040c0000000000000000000000020403637478"           // context engine and name
                              "a01a020204d2020100020100300e300c06082b060102010101000500");
}
