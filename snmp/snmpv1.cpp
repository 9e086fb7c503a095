#include "snmpv1.h"

#include <algorithm>
#include <cctype>

namespace quorrel {
namespace {

Fault invalidArgument() { return {5, "Invalid procedure call or argument"}; }

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// The protocols' names as Net-SNMP's tools spell them, for the getters.
constexpr const char *ProtocolNames[] = {"MD5", "SHA", "SHA-224", "SHA-256", "SHA-384", "SHA-512",
                                         "DES", "AES", "AES-192", "AES-256"};

template <typename Protocol, typename ByName> std::string nameOf(Protocol protocol, ByName byName) {
    for (const char *name : ProtocolNames)
        if (byName(name) == protocol) return name;
    return {};
}

} // namespace

SnmpV1::SnmpV1() {
    engine::LibraryValues &values = engine::library();
    values.timeout = 2000;
    values.retry = 3;
    values.localAddress = "127.0.0.1";
}

std::string SnmpV1::SnmpMgrOpen() {
    const engine::LibraryValues &values = engine::library();
    // Version 3 names a user instead of a community.
    const bool needsCommunity = session_.options.version != engine::Version::V3;
    if ((needsCommunity && values.commStr.empty()) || values.agent.empty())
        return "[Vantobe.SnmpV1.SnmpMgrOpen][MV]=You must set both the Agent and CommStr properties before you can "
               "open a session.";
    if (session_.handle != 0)
        return "[Vantobe.SnmpV1.SnmpMgrOpen][OS]=You must close your existing session before opening another one.";
    return engine::openSession(session_.handle);
}

std::string SnmpV1::SnmpMgrClose() {
    if (session_.handle == 0) return "[Vantobe.SnmpV1.SnmpMgrClose][CS]=No session currently initialized to close.";
    session_.walk = {};
    return engine::closeSession(session_.handle);
}

std::string SnmpV1::SnmpGet(const std::string &strOID) {
    return engine::exchange(session_, ber::GetRequest, strOID, std::string());
}

std::string SnmpV1::SnmpGetNext(std::string &strOID) {
    std::string text = engine::exchange(session_, ber::GetNextRequest, strOID, std::string());
    strOID = engine::library().lastReplyOid;
    return text;
}

std::string SnmpV1::SnmpSet(const std::string &strOID, const Variant &varOIDValue, std::int16_t intSetTypeOverride) {
    Variant value;
    try {
        switch (intSetTypeOverride) {
        case 0: value = toText(varOIDValue); break;
        case 1: value = static_cast<double>(toInt32(varOIDValue)); break;
        case DefaultSetType: value = varOIDValue; break;
        default:
            return "[Vantobe.SnmpV1.SnmpSet][IST]=An invalid Set Type Override value has been encountered.  Valid "
                   "Values are 0 for String Override and 1 for Numeric Override.";
        }
    } catch (const Fault &fault) {
        return "[Vantobe.SnmpV1.SnmpSet][" + std::to_string(fault.number) + "]=" + fault.what();
    }
    return engine::exchange(session_, ber::SetRequest, strOID, value);
}

void SnmpV1::setVersion(const Variant &value) {
    const std::string text = lowered(toText(value));
    if (text == "1") session_.options.version = engine::Version::V1;
    else if (text == "2c" || text == "2") session_.options.version = engine::Version::V2c;
    else if (text == "3") session_.options.version = engine::Version::V3;
    else throw invalidArgument();
    session_.walk = {};
}

Variant SnmpV1::version() const {
    switch (session_.options.version) {
    case engine::Version::V1: return std::string("1");
    case engine::Version::V2c: return std::string("2c");
    case engine::Version::V3: return std::string("3");
    }
    return {};
}

void SnmpV1::setRetransmit(const Variant &value) {
    const std::int16_t n = toInt16(value);
    if (n != 0 && n != 1) throw invalidArgument();
    session_.options.retransmit = n == 1;
}

Variant SnmpV1::retransmit() const { return session_.options.retransmit ? 1.0 : 0.0; }

void SnmpV1::setOctetsAsHex(const Variant &value) {
    const std::int16_t n = toInt16(value);
    if (n != 0 && n != 1) throw invalidArgument();
    session_.options.octetsAsHex = n == 1;
}

Variant SnmpV1::octetsAsHex() const { return session_.options.octetsAsHex ? 1.0 : 0.0; }

void SnmpV1::setBulkRepetitions(const Variant &value) {
    const std::int16_t n = toInt16(value);
    if (n < 1 || n > engine::MostRepetitions) throw invalidArgument();
    session_.options.bulkRepetitions = n;
    session_.walk = {};
}

Variant SnmpV1::bulkRepetitions() const { return double(session_.options.bulkRepetitions); }

void SnmpV1::setSecurityName(const Variant &value) {
    session_.options.user.name = toText(value);
    session_.walk = {};
}

Variant SnmpV1::securityName() const { return session_.options.user.name; }

void SnmpV1::setAuthProtocol(const Variant &value) {
    const auto auth = usm::authByName(toText(value));
    if (!auth) throw invalidArgument();
    session_.options.user.auth = *auth;
    session_.walk = {};
}

Variant SnmpV1::authProtocol() const { return nameOf(session_.options.user.auth, usm::authByName); }

void SnmpV1::setAuthPassphrase(const Variant &value) { session_.options.user.authPassphrase = toText(value); }

void SnmpV1::setPrivProtocol(const Variant &value) {
    const auto priv = usm::privByName(toText(value));
    if (!priv) throw invalidArgument();
    session_.options.user.priv = *priv;
    session_.walk = {};
}

Variant SnmpV1::privProtocol() const { return nameOf(session_.options.user.priv, usm::privByName); }

void SnmpV1::setPrivPassphrase(const Variant &value) { session_.options.user.privPassphrase = toText(value); }

Variant SnmpV1::passphrase() const { return std::string(); }

void SnmpV1::setContextName(const Variant &value) {
    session_.options.user.context = toText(value);
    session_.walk = {};
}

Variant SnmpV1::contextName() const { return session_.options.user.context; }

} // namespace quorrel
