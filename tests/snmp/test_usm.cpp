// The user-based security model's keys, digests and ciphers: the published key examples, and requests that Net-SNMP's
// own snmpget encrypts and signs, checked and decrypted with our keys.
#include "usm.h"
#include "support/realagents.h"

#include <openssl/evp.h>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <future>

using namespace quorrel::usm;

namespace {

std::string hex(std::string_view bytes) {
    std::string out;
    for (unsigned char b : bytes) out += "0123456789abcdef"[b >> 4], out += "0123456789abcdef"[b & 15];
    return out;
}

const std::string RfcEngine("\0\0\0\0\0\0\0\0\0\0\0\2", 12);

// The bounds of one BER element of a message: where its content starts and where it ends.
struct Element {
    std::size_t content, end;
};
Element elementAt(std::string_view message, std::size_t at) {
    std::size_t length = static_cast<unsigned char>(message.at(at + 1)), content = at + 2;
    if (length & 0x80)
        for (std::size_t octets = length & 0x7F, i = length = 0; i < octets; ++i)
            length = length << 8 | static_cast<unsigned char>(message.at(content++));
    return {content, content + length};
}
std::uint32_t number(std::string_view message, Element e) {
    std::uint32_t n = 0;
    for (std::size_t i = e.content; i < e.end; ++i) n = n << 8 | static_cast<unsigned char>(message[i]);
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

TEST(Usm, ProtocolsByNetSnmpSpellingInAnyCase) {
    EXPECT_EQ(authByName("sha"), Auth::Sha1);
    EXPECT_EQ(authByName("Sha-512"), Auth::Sha512);
    EXPECT_EQ(authByName(""), Auth::None);
    EXPECT_EQ(privByName("aes"), Priv::Aes128);
    EXPECT_EQ(privByName("AES-192"), Priv::Aes192);
    EXPECT_FALSE(authByName("SHA1"));
    EXPECT_FALSE(privByName("3DES"));
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
    EXPECT_FALSE(decrypt(Priv::Des, privacyKey(Auth::Md5, Priv::Des, "privpassphrase", RfcEngine), 7, 1234,
                         "12345678", "1234567"));
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

// snmpget sends one authPriv request to a socket of the test; its digest must be ours and its scoped PDU must decrypt
// with our privacy key. Each authentication protocol once, each cipher at least once, and the AES-192/256 keys
// extended from MD5 and SHA-1 digests, where the key extensions in use differ.
TEST(Usm, NetSnmpRequestsVerifyAndDecryptWithOurKeys) {
    const struct {
        Auth auth;
        Priv priv;
        const char *a, *x;
    } pairs[] = {
        {Auth::Md5, Priv::Des, "MD5", "DES"},          {Auth::Md5, Priv::Aes256, "MD5", "AES-256"},
        {Auth::Sha1, Priv::Aes192, "SHA", "AES-192"},  {Auth::Sha224, Priv::Aes256, "SHA-224", "AES-256"},
        {Auth::Sha256, Priv::Aes128, "SHA-256", "AES"}, {Auth::Sha384, Priv::Aes192, "SHA-384", "AES-192"},
        {Auth::Sha512, Priv::Aes256, "SHA-512", "AES-256"},
    };
    const std::string engine("\x80\x00\x1f\x88\x80\xaa\xbb\xcc\xdd", 9);
    const int listener = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    const timeval wait{5, 0};
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr *>(&address), &size), 0);
    setsockopt(listener, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    for (const auto &pair : pairs) {
        SCOPED_TRACE(std::string(pair.a) + " " + pair.x);
        auto snmpget = std::async(std::launch::async, testsupport::runCommand, std::vector<std::string>{
            "snmpget", "-v3", "-l", "authPriv", "-u", "quorrel", "-a", pair.a, "-A", "authpassphrase", "-x", pair.x,
            "-X", "privpassphrase", "-e", "0x80001f8880aabbccdd", "-n", "ctxq", "-r0", "-t", "0.1", "-m", "",
            "udp:127.0.0.1:" + std::to_string(ntohs(address.sin_port)), "1.3.6.1.2.1.1.1.0"}, std::map<std::string, std::string>{});
        std::string message(65535, '\0');
        message.resize(std::max<ssize_t>(recv(listener, message.data(), message.size(), 0), 0));
        ASSERT_FALSE(message.empty()) << snmpget.get().err;
        // version, global data, security parameters: engine ID, boots, time, user, digest, salt; encrypted PDU
        const Element global = elementAt(message, elementAt(message, elementAt(message, 0).content).end);
        const Element security = elementAt(message, global.end), data = elementAt(message, security.end);
        const Element boots = elementAt(message, elementAt(message, elementAt(message, security.content).content).end);
        const Element time = elementAt(message, boots.end), user = elementAt(message, time.end);
        const Element sent = elementAt(message, user.end), salt = elementAt(message, sent.end);
        const std::string digestSent = message.substr(sent.content, sent.end - sent.content);
        message.replace(sent.content, digestSent.size(), digestSent.size(), '\0');
        EXPECT_EQ(digestSent.size(), digestLength(pair.auth));
        EXPECT_EQ(hex(digest(pair.auth, localizedKey(pair.auth, "authpassphrase", engine), message)), hex(digestSent));
        const auto plain = decrypt(pair.priv, privacyKey(pair.auth, pair.priv, "privpassphrase", engine),
                                   number(message, boots), number(message, time),
                                   message.substr(salt.content, salt.end - salt.content),
                                   message.substr(data.content, data.end - data.content));
        ASSERT_TRUE(plain);
        // The scoped PDU: a sequence of the context engine ID, the context name and the request.
        EXPECT_EQ(plain->substr(0, 1) + plain->substr(2, 17), "\x30\x04\x09" + engine + "\x04\x04" "ctxq");
    }
    close(listener);
}
