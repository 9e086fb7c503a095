// The user-based security model's cryptography (RFC 3414, RFC 3826, RFC 7860, and the AES-192/256 key extension of
// draft-blumenthal-aes-usm-04): keys from passphrases, localised to an engine, message digests and privacy. Every
// primitive comes from OpenSSL's libcrypto through EVP, in a library context of Quorrel's own that holds the default
// and the legacy provider (DES-CBC lives in the latter), never the process's default context. Without the legacy
// provider DES gives nothing and everything else works. All functions may be called from several threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorrel::usm {

enum class Auth { None, Md5, Sha1, Sha224, Sha256, Sha384, Sha512 };
enum class Priv { None, Des, Aes128, Aes192, Aes256 };

// Net-SNMP's spellings, letter case ignored: MD5, SHA (SHA-1), SHA-224, SHA-256, SHA-384, SHA-512; DES, AES (AES-128),
// AES-192, AES-256. The empty text is None. Nothing for an unknown name.
std::optional<Auth> authByName(std::string_view name);
std::optional<Priv> privByName(std::string_view name);

// Bytes of the truncated digest a message carries (12 for MD5 and SHA-1, 16/24/32/48 for SHA-224/256/384/512; 0 for
// None).
std::size_t digestLength(Auth auth);

// The key (Ku) of a passphrase: password-to-key, 1 MB of the passphrase repeated, hashed. It is computed once per
// process for each (protocol, passphrase). Empty for Auth::None and for an empty passphrase, which has no key.
std::string passphraseKey(Auth auth, std::string_view passphrase);

// The localised key (Kul) of a passphrase for an engine: the passphrase's key localised with the engine ID, kept per
// (protocol, passphrase, engine). Empty where passphraseKey is (the caller reports that it cannot authenticate).
std::string localizedKey(Auth auth, std::string_view passphrase, std::string_view engineId);

// The privacy key for priv: the localised key of the privacy passphrase made with the authentication protocol's hash,
// extended after draft-blumenthal-aes-usm-04 where AES-192/256 need more bytes than the digest gives, and cut to what
// the cipher takes (DES: 8 bytes of key and 8 of pre-IV; AES: 16, 24 or 32). Empty when either protocol is None or
// the passphrase is empty.
std::string privacyKey(Auth auth, Priv priv, std::string_view passphrase, std::string_view engineId);

// The truncated HMAC of a whole message whose authentication parameters are zeroed, keyed with the localised key.
// Empty for Auth::None.
std::string digest(Auth auth, std::string_view key, std::string_view wholeMessage);

// Encrypts a scoped PDU: the cipher text, with the privacy parameters (the salt) to send in salt. engineBoots and
// engineTime are the authoritative engine's as the message carries them. Each call takes a new salt. Nothing when the
// key is shorter than privacyKey gives or the cipher is not available.
std::optional<std::string> encrypt(Priv priv, std::string_view key, std::uint32_t engineBoots,
                                   std::uint32_t engineTime, std::string_view plain, std::string &salt);
// Decrypts an encrypted scoped PDU; nothing when the lengths do not fit the cipher (the caller reports a decryption
// error). Padding (DES) is not removed: the BER reader ignores it by length.
std::optional<std::string> decrypt(Priv priv, std::string_view key, std::uint32_t engineBoots,
                                   std::uint32_t engineTime, std::string_view salt, std::string_view cipher);

} // namespace quorrel::usm
