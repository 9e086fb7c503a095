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

} // namespace

SnmpV1::SnmpV1() {
    engine::LibraryValues &values = engine::library();
    values.timeout = 2000;
    values.retry = 3;
    values.localAddress = "127.0.0.1";
}

std::string SnmpV1::SnmpMgrOpen() {
    const engine::LibraryValues &values = engine::library();
    if (values.commStr.empty() || values.agent.empty())
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

} // namespace quorrel
