// BER codec for SNMP messages: version 1 and 2c (community messages) and version 3 with the user-based security
// model (header, security parameters, scoped PDU; the cryptography is the caller's).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorrel::ber {

enum Tag : std::uint8_t {
    Integer = 0x02,
    OctetString = 0x04,
    Null = 0x05,
    ObjectId = 0x06,
    Sequence = 0x30,
    IpAddress = 0x40,
    Counter32 = 0x41,
    Gauge32 = 0x42,
    TimeTicks = 0x43,
    Opaque = 0x44,
    Counter64 = 0x46,
    NoSuchObject = 0x80,
    NoSuchInstance = 0x81,
    EndOfMibView = 0x82,
    GetRequest = 0xA0,
    GetNextRequest = 0xA1,
    GetResponse = 0xA2,
    SetRequest = 0xA3,
    GetBulkRequest = 0xA5,
    Report = 0xA8,
};

using Oid = std::vector<std::uint32_t>;

// Longest OID a message may carry (the SNMP limit of 128 sub-identifiers).
constexpr std::size_t MaxOidLength = 128;

// A value of a variable binding. `readable` is false when the syntax is unknown or its content does not fit the
// syntax (an INTEGER that does not fit 32 bits, a broken OID): the message is still well-formed, the binding is not.
struct Value {
    std::uint8_t syntax = Null;
    bool readable = true;
    std::int64_t number = 0;   // INTEGER (signed), Counter32, Gauge32, TimeTicks (unsigned 32 bits)
    std::uint64_t counter64 = 0;
    std::string octets;        // OCTET STRING, IpAddress, Opaque, unknown syntaxes: the raw content
    Oid oid;                   // OBJECT IDENTIFIER

    static Value null() { return {}; }
    static Value integer(std::int32_t n) { Value v; v.syntax = Integer; v.number = n; return v; }
    static Value octetString(std::string bytes) { Value v; v.syntax = OctetString; v.octets = std::move(bytes); return v; }
};

struct VarBind {
    Oid oid;
    Value value;
};

// In a GetBulk PDU the two error fields carry non-repeaters and max-repetitions.
struct Pdu {
    std::uint8_t type = GetRequest;
    std::int32_t requestId = 0;
    std::int32_t errorStatus = 0;
    std::int32_t errorIndex = 0;
    std::vector<VarBind> bindings;
};

// A community message.
struct Message {
    std::int32_t version = 0; // 0 is SNMP version 1, 1 is version 2c
    std::string community;
    Pdu pdu;
};

// Encodes a whole message. Every value syntax that decode reads is written back the same way.
std::string encode(const Message &message);

// Decodes a whole message; nullopt when it is malformed, truncated, carries trailing bytes or claims lengths it
// does not have. Nothing is read outside `datagram`.
std::optional<Message> decode(std::string_view datagram);

// ---- version 3 ----

enum MessageFlags : std::uint8_t { Authenticated = 0x01, Private = 0x02, Reportable = 0x04 };

// The user-based security model's parameters of a message.
struct UsmParameters {
    std::string engineId; // the authoritative engine's (the agent's)
    std::int32_t boots = 0;
    std::int32_t time = 0;
    std::string userName;
    std::string authParameters; // the truncated digest
    std::string privParameters; // the salt
};

struct ScopedPdu {
    std::string contextEngineId;
    std::string contextName;
    Pdu pdu;
};

struct MessageV3 {
    std::int32_t msgId = 0;
    std::int32_t maxSize = 65507;
    std::uint8_t flags = 0;
    UsmParameters security;
    ScopedPdu scoped;      // without Private
    std::string encrypted; // with Private: the encrypted scoped PDU
};

// Encodes a version 3 message; authOffset receives where the content of the authentication parameters starts, for
// the digest to be written there.
std::string encode(const MessageV3 &message, std::size_t *authOffset = nullptr);

// Decodes a version 3 message of the user-based security model, as decode does; authOffset receives where the
// content of its authentication parameters starts in `datagram`. An encrypted scoped PDU is left encrypted.
std::optional<MessageV3> decodeV3(std::string_view datagram, std::size_t *authOffset = nullptr);

std::string encode(const ScopedPdu &scoped);
// Bytes after the scoped PDU are ignored: a block cipher's padding.
std::optional<ScopedPdu> decodeScopedPdu(std::string_view bytes);

// Dotted numeric text ("1.3.6.1.2.1.1.1.0") to OID: digits and single dots only, each part within 32 bits, at
// most MaxOidLength parts, a first part of 0 to 2. nullopt otherwise.
std::optional<Oid> parseOid(std::string_view text);

std::string formatOid(const Oid &oid);

} // namespace quorrel::ber
