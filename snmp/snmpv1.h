// SnmpV1: an SNMP manager session pointed at one agent, for single get, get-next and set requests. Every
// operation answers with text ("Successful", the value read, or a "[Vantobe." message); none raises a fault.
//
// Beside the library-wide Agent and CommStr, each object has members of its own that choose how its requests go
// (version 2c or 3, the version 3 user); an object that sets none of them sends version 1 messages.
#pragma once

#include "engine.h"

#include <cstdint>
#include <string>

namespace quorrel {

class SnmpV1 {
public:
    static constexpr std::int16_t DefaultSetType = 99;

    // Creating any object resets the library-wide Timeout, Retry and LocalAddress; Agent and CommStr stay.
    SnmpV1();

    std::string SnmpMgrOpen();
    std::string SnmpMgrClose();
    std::string SnmpGet(const std::string &strOID);
    // strOID receives the OID of the binding the agent returned (the library's last reply OID).
    std::string SnmpGetNext(std::string &strOID);
    // intSetTypeOverride: 0 sends the value as text, 1 as a 32-bit integer, 99 as it is.
    std::string SnmpSet(const std::string &strOID, const Variant &varOIDValue,
                        std::int16_t intSetTypeOverride = DefaultSetType);

    // The object's own members, values spelled as Net-SNMP's tools spell them, letter case ignored. An unknown
    // value raises fault 5.
    // Version: "1", "2c" or "3" (or the number 1, 2 or 3).
    void setVersion(const Variant &value);
    Variant version() const;
    // Retransmit: 1 (the transport's retries) or 0 (one try).
    void setRetransmit(const Variant &value);
    Variant retransmit() const;
    // OctetsAsHex: 0 (an OCTET STRING reads as text, as it always has) or 1 (as "0x" and every byte as two hex
    // digits: its exact bytes, which the text loses where the first byte is 0).
    void setOctetsAsHex(const Variant &value);
    Variant octetsAsHex() const;
    // BulkRepetitions: how many bindings a walk's GetBulk asks for, 1 to 100 (10 unless set); a whole table then comes
    // in a few replies. Versions 2c and 3 only; a time-out still halves it.
    void setBulkRepetitions(const Variant &value);
    Variant bulkRepetitions() const;
    // The version 3 user. AuthProtocol: none (""), MD5, SHA, SHA-224, SHA-256, SHA-384 or SHA-512; PrivProtocol: none,
    // DES, AES, AES-192 or AES-256. The passphrases never come back out: their getters give the empty text.
    void setSecurityName(const Variant &value);
    Variant securityName() const;
    void setAuthProtocol(const Variant &value);
    Variant authProtocol() const;
    void setAuthPassphrase(const Variant &value);
    void setPrivProtocol(const Variant &value);
    Variant privProtocol() const;
    void setPrivPassphrase(const Variant &value);
    Variant passphrase() const;
    void setContextName(const Variant &value);
    Variant contextName() const;

    // What the object's members set, for the requests a batch makes for it.
    const engine::Options &options() const { return session_.options; }

private:
    engine::Session session_;
};

} // namespace quorrel
