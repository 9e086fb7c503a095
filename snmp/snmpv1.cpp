#include "snmpv1.h"

namespace quorrel {

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
    if (sessionHandle_ != 0)
        return "[Vantobe.SnmpV1.SnmpMgrOpen][OS]=You must close your existing session before opening another one.";
    return engine::openSession(sessionHandle_);
}

std::string SnmpV1::SnmpMgrClose() {
    if (sessionHandle_ == 0) return "[Vantobe.SnmpV1.SnmpMgrClose][CS]=No session currently initialized to close.";
    return engine::closeSession(sessionHandle_);
}

std::string SnmpV1::SnmpGet(const std::string &strOID) {
    return engine::exchange(sessionHandle_, ber::GetRequest, strOID, std::string());
}

std::string SnmpV1::SnmpGetNext(std::string &strOID) {
    std::string text = engine::exchange(sessionHandle_, ber::GetNextRequest, strOID, std::string());
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
    return engine::exchange(sessionHandle_, ber::SetRequest, strOID, value);
}

} // namespace quorrel
