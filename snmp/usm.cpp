// Algorithms are fetched once, from a library context of our own, so that loading the legacy provider for DES changes
// nothing for other users of libcrypto in the same process. Turning a passphrase into a key hashes a megabyte, so
// keys are kept for the life of the process.
#include "usm.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/provider.h>
#include <openssl/rand.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>

namespace quorrel::usm {
namespace {

struct AuthAlgorithm {
    std::string_view name;
    const char *digest;
    std::size_t truncatedTo;
};
// In the order of Auth.
constexpr std::array<AuthAlgorithm, 7> AuthAlgorithms = {{
    {"", nullptr, 0},
    {"MD5", "MD5", 12},
    {"SHA", "SHA1", 12},
    {"SHA-224", "SHA2-224", 16},
    {"SHA-256", "SHA2-256", 24},
    {"SHA-384", "SHA2-384", 32},
    {"SHA-512", "SHA2-512", 48},
}};

struct PrivAlgorithm {
    std::string_view name;
    const char *cipher;
    std::size_t keyLength; // DES: the key and the pre-IV
};
// In the order of Priv.
constexpr std::array<PrivAlgorithm, 5> PrivAlgorithms = {{
    {"", nullptr, 0},
    {"DES", "DES-CBC", 16},
    {"AES", "AES-128-CFB", 16},
    {"AES-192", "AES-192-CFB", 24},
    {"AES-256", "AES-256-CFB", 32},
}};

const AuthAlgorithm &algorithm(Auth auth) { return AuthAlgorithms[static_cast<std::size_t>(auth)]; }
const PrivAlgorithm &algorithm(Priv priv) { return PrivAlgorithms[static_cast<std::size_t>(priv)]; }

template <auto Free>
struct Freeing {
    template <typename T>
    void operator()(T *object) const { Free(object); }
};
template <typename T, auto Free>
using Owned = std::unique_ptr<T, Freeing<Free>>;

// The library context, its providers and the algorithms fetched from it, for the life of the process. Members are
// released in reverse order, the context last.
struct Library {
    Owned<OSSL_LIB_CTX, OSSL_LIB_CTX_free> context{OSSL_LIB_CTX_new()};
    Owned<OSSL_PROVIDER, OSSL_PROVIDER_unload> defaultProvider;
    Owned<OSSL_PROVIDER, OSSL_PROVIDER_unload> legacyProvider;
    Owned<EVP_MAC, EVP_MAC_free> hmac;
    std::array<Owned<EVP_MD, EVP_MD_free>, AuthAlgorithms.size()> digests;
    std::array<Owned<EVP_CIPHER, EVP_CIPHER_free>, PrivAlgorithms.size()> ciphers;
    // The local part of the next salt, from a random start; empty when libcrypto gave no random bytes.
    std::optional<std::atomic<std::uint64_t>> nextSalt;

    Library() {
        // Every call below falls back to the process's default context when given none.
        if (!context) return;
        defaultProvider.reset(OSSL_PROVIDER_load(context.get(), "default"));
        legacyProvider.reset(OSSL_PROVIDER_load(context.get(), "legacy"));
        hmac.reset(EVP_MAC_fetch(context.get(), "HMAC", nullptr));
        for (std::size_t i = 1; i < digests.size(); ++i)
            digests[i].reset(EVP_MD_fetch(context.get(), AuthAlgorithms[i].digest, nullptr));
        for (std::size_t i = 1; i < ciphers.size(); ++i)
            ciphers[i].reset(EVP_CIPHER_fetch(context.get(), PrivAlgorithms[i].cipher, nullptr));
        std::uint64_t start = 0;
        if (RAND_bytes_ex(context.get(), reinterpret_cast<unsigned char *>(&start), sizeof start, 0) == 1)
            nextSalt.emplace(start);
    }

    const EVP_MD *digest(Auth auth) const { return digests[static_cast<std::size_t>(auth)].get(); }
    const EVP_CIPHER *cipher(Priv priv) const { return ciphers[static_cast<std::size_t>(priv)].get(); }
};

Library &library() {
    static Library instance;
    return instance;
}

const unsigned char *bytes(std::string_view text) { return reinterpret_cast<const unsigned char *>(text.data()); }
unsigned char *bytes(std::string &text) { return reinterpret_cast<unsigned char *>(text.data()); }

class Hasher {
public:
    explicit Hasher(const EVP_MD *md) : ok_(md && context_ && EVP_DigestInit_ex2(context_.get(), md, nullptr)) {}
    void add(std::string_view part) { ok_ = ok_ && EVP_DigestUpdate(context_.get(), part.data(), part.size()); }
    // The digest; empty when libcrypto failed.
    std::string finish() {
        std::string out(EVP_MAX_MD_SIZE, '\0');
        unsigned int length = 0;
        ok_ = ok_ && EVP_DigestFinal_ex(context_.get(), bytes(out), &length);
        out.resize(ok_ ? length : 0);
        return out;
    }

private:
    Owned<EVP_MD_CTX, EVP_MD_CTX_free> context_{EVP_MD_CTX_new()};
    bool ok_;
};

std::string hash(const EVP_MD *md, std::initializer_list<std::string_view> parts) {
    Hasher hasher(md);
    for (std::string_view part : parts) hasher.add(part);
    return hasher.finish();
}

// RFC 3414 A.2: the passphrase repeated to one megabyte, hashed. It is fed a whole number of repetitions at a time,
// so each piece starts where the passphrase starts.
std::string passwordToKey(const EVP_MD *md, std::string_view passphrase) {
    constexpr std::size_t Megabyte = 1 << 20;
    std::string piece;
    while (piece.size() < 4096) piece += passphrase;
    Hasher hasher(md);
    for (std::size_t fed = 0; fed < Megabyte; fed += piece.size())
        hasher.add(std::string_view(piece).substr(0, Megabyte - fed));
    return hasher.finish();
}

struct KeyCache {
    std::mutex mutex;
    std::map<std::tuple<Auth, std::string>, std::string> keys;                       // Ku
    std::map<std::tuple<Auth, std::string, std::string>, std::string> localizedKeys; // Kul
};

KeyCache &keyCache() {
    static KeyCache cache;
    return cache;
}

// Engine IDs come from the network: an agent that changes its engine ID at every reply must not grow the cache
// without end.
constexpr std::size_t MaxLocalizedKeys = 1024;

// The passphrase's key, computed at most once; empty when libcrypto failed. The cache is locked by the caller.
const std::string &passphraseKeyLocked(KeyCache &cache, Auth auth, std::string_view passphrase) {
    std::string &key = cache.keys[{auth, std::string(passphrase)}];
    if (key.empty()) key = passwordToKey(library().digest(auth), passphrase);
    return key;
}

std::string bigEndian(std::uint64_t value, std::size_t length) {
    std::string out(length, '\0');
    for (std::size_t i = length; i-- > 0; value >>= 8) out[i] = static_cast<char>(value & 0xFF);
    return out;
}

// RFC 3414 8.1.1.1 (DES: the pre-IV XOR the salt) and RFC 3826 3.1.2.1 (AES: boots, time and salt); nothing when the
// key or the salt has the wrong size.
std::optional<std::string> initialVector(Priv priv, std::string_view key, std::uint32_t engineBoots,
                                         std::uint32_t engineTime, std::string_view salt) {
    if (key.size() < algorithm(priv).keyLength || salt.size() != 8) return std::nullopt;
    if (priv != Priv::Des) return bigEndian(engineBoots, 4) + bigEndian(engineTime, 4) + std::string(salt);
    std::string iv(key.substr(8, 8));
    for (std::size_t i = 0; i < iv.size(); ++i) iv[i] = static_cast<char>(iv[i] ^ salt[i]);
    return iv;
}

// Nothing without a cipher (Priv::None, or DES without the legacy provider), and for a DES text that is no whole
// number of blocks.
std::optional<std::string> crypt(Priv priv, std::string_view key, std::uint32_t engineBoots, std::uint32_t engineTime,
                                 std::string_view salt, std::string_view input, bool encrypting) {
    const EVP_CIPHER *cipher = library().cipher(priv);
    const std::optional<std::string> iv = initialVector(priv, key, engineBoots, engineTime, salt);
    Owned<EVP_CIPHER_CTX, EVP_CIPHER_CTX_free> context(EVP_CIPHER_CTX_new());
    std::string out(input.size() + EVP_MAX_BLOCK_LENGTH, '\0');
    int written = 0;
    int last = 0;
    if (!cipher || !iv || !context ||
        !EVP_CipherInit_ex2(context.get(), cipher, bytes(key), bytes(*iv), encrypting ? 1 : 0, nullptr) ||
        !EVP_CIPHER_CTX_set_padding(context.get(), 0) ||
        !EVP_CipherUpdate(context.get(), bytes(out), &written, bytes(input), static_cast<int>(input.size())) ||
        !EVP_CipherFinal_ex(context.get(), bytes(out) + written, &last))
        return std::nullopt;
    out.resize(static_cast<std::size_t>(written + last));
    return out;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) { return std::toupper(static_cast<unsigned char>(x)) ==
                                                                std::toupper(static_cast<unsigned char>(y)); });
}

template <typename Protocol, std::size_t N, typename Algorithm>
std::optional<Protocol> byName(const std::array<Algorithm, N> &algorithms, std::string_view name) {
    for (std::size_t i = 0; i < N; ++i)
        if (equalsIgnoringCase(algorithms[i].name, name)) return static_cast<Protocol>(i);
    return std::nullopt;
}

} // namespace

std::optional<Auth> authByName(std::string_view name) { return byName<Auth>(AuthAlgorithms, name); }
std::optional<Priv> privByName(std::string_view name) { return byName<Priv>(PrivAlgorithms, name); }

std::size_t digestLength(Auth auth) { return algorithm(auth).truncatedTo; }

std::string passphraseKey(Auth auth, std::string_view passphrase) {
    if (auth == Auth::None || passphrase.empty()) return {};
    KeyCache &cache = keyCache();
    const std::lock_guard lock(cache.mutex);
    return passphraseKeyLocked(cache, auth, passphrase);
}

std::string localizedKey(Auth auth, std::string_view passphrase, std::string_view engineId) {
    if (auth == Auth::None || passphrase.empty()) return {};
    KeyCache &cache = keyCache();
    const std::lock_guard lock(cache.mutex);
    std::tuple<Auth, std::string, std::string> entry{auth, passphrase, engineId};
    if (const auto found = cache.localizedKeys.find(entry); found != cache.localizedKeys.end()) return found->second;
    const std::string &key = passphraseKeyLocked(cache, auth, passphrase);
    if (key.empty()) return {};
    std::string localized = hash(library().digest(auth), {key, engineId, key});
    if (localized.empty()) return {};
    if (cache.localizedKeys.size() >= MaxLocalizedKeys) cache.localizedKeys.clear();
    return cache.localizedKeys.emplace(std::move(entry), std::move(localized)).first->second;
}

std::string privacyKey(Auth auth, Priv priv, std::string_view passphrase, std::string_view engineId) {
    const std::size_t length = algorithm(priv).keyLength;
    std::string key = length ? localizedKey(auth, passphrase, engineId) : std::string();
    // Each extension is the hash of the previous one, the first that of the localised key.
    for (std::string extension = key; !key.empty() && key.size() < length; key += extension) {
        extension = hash(library().digest(auth), {extension});
        if (extension.empty()) return {};
    }
    key.resize(std::min(key.size(), length));
    return key;
}

std::string digest(Auth auth, std::string_view key, std::string_view wholeMessage) {
    const AuthAlgorithm &chosen = algorithm(auth);
    EVP_MAC *hmac = library().hmac.get();
    if (!chosen.digest || !hmac) return {};
    Owned<EVP_MAC_CTX, EVP_MAC_CTX_free> context(EVP_MAC_CTX_new(hmac));
    const OSSL_PARAM parameters[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, const_cast<char *>(chosen.digest), 0),
        OSSL_PARAM_construct_end()};
    std::string out(EVP_MAX_MD_SIZE, '\0');
    std::size_t length = 0;
    if (!context || !EVP_MAC_init(context.get(), bytes(key), key.size(), parameters) ||
        !EVP_MAC_update(context.get(), bytes(wholeMessage), wholeMessage.size()) ||
        !EVP_MAC_final(context.get(), bytes(out), &length, out.size()) || length < chosen.truncatedTo)
        return {};
    out.resize(chosen.truncatedTo);
    return out;
}

std::optional<std::string> encrypt(Priv priv, std::string_view key, std::uint32_t engineBoots,
                                   std::uint32_t engineTime, std::string_view plain, std::string &salt) {
    auto &nextSalt = library().nextSalt;
    if (!nextSalt) return std::nullopt;
    const std::uint64_t local = (*nextSalt)++;
    std::string padded(plain);
    if (priv == Priv::Des) {
        salt = bigEndian(engineBoots, 4) + bigEndian(local & 0xFFFFFFFF, 4);
        padded.resize((plain.size() + 7) / 8 * 8, '\0');
    } else {
        salt = bigEndian(local, 8);
    }
    return crypt(priv, key, engineBoots, engineTime, salt, padded, true);
}

std::optional<std::string> decrypt(Priv priv, std::string_view key, std::uint32_t engineBoots,
                                   std::uint32_t engineTime, std::string_view salt, std::string_view cipher) {
    return crypt(priv, key, engineBoots, engineTime, salt, cipher, false);
}

} // namespace quorrel::usm
