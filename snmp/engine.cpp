#include "engine.h"

#include "codepage.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <new>

namespace quorrel::engine {

std::string message(std::string_view operation, const std::string &code, std::string_view explanation) {
    return "[Vantobe.Mod." + std::string(operation) + "][" + code + "]=" + std::string(explanation);
}

bool isException(std::uint8_t syntax) {
    return syntax == ber::NoSuchObject || syntax == ber::NoSuchInstance || syntax == ber::EndOfMibView;
}

namespace {

using transport::RequestId;
using transport::Transport;

std::mutex pumpMutex;
void (*eventPump)(void *) = nullptr;
void *eventPumpContext = nullptr;

Fault faultOf(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const Fault &fault) {
        return fault;
    } catch (const std::bad_alloc &) {
        return {7, "Out of memory"};
    } catch (const std::exception &e) {
        return {51, std::string("Internal error: ") + e.what()};
    } catch (...) {
        return {51, "Internal error"};
    }
}

bool containsWithoutCase(std::string_view text, std::string_view part) {
    return std::search(text.begin(), text.end(), part.begin(), part.end(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           }) != text.end();
}

// Each byte as upper-case hexadecimal without a leading zero; a zero byte as two zero digits.
std::string hexRendering(std::string_view octets) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (char c : octets) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0) text += "00";
        else if (byte < 0x10) text.push_back(digits[byte]);
        else text += {digits[byte >> 4], digits[byte & 0xF]};
    }
    return text;
}

// Every byte as two hex digits after "0x": a text no other value reads as, whatever the bytes.
std::string exactHex(std::string_view octets) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (char c : octets) {
        const auto byte = static_cast<unsigned char>(c);
        text += {digits[byte >> 4], digits[byte & 0xF]};
    }
    return text;
}

// A number (or a text that reads as one) goes out as INTEGER, anything else as an OCTET STRING in the code page.
ber::Value setValue(const Variant &value) {
    if (isNumeric(value)) return ber::Value::integer(toInt32(value));
    return ber::Value::octetString(codepage::fromUtf8Lossy(toText(value)));
}

std::int32_t messageVersion(Version version) { return version == Version::V1 ? 0 : 1; }

// The agent and community a request goes to: bindings kept from a walk's GetBulk serve only the same ones.
std::string sourceOf(const LibraryValues &values) { return values.agent + '\n' + values.commStr; }

constexpr std::string_view RequestOperation = "SnmpAgentRequest";
constexpr std::string_view ResponseOperation = "SnmpResponseProcess";

// What a request goes out with once its steps before sending have passed.
struct Prepared {
    transport::Entity target;
    std::optional<transport::Context> context; // versions 1 and 2c
    ber::Pdu pdu;
};

// The steps before sending: source, target, the community (versions 1 and 2c) or the user (version 3), the OID and
// its binding. The empty text when they pass.
std::string prepare(Session &session, std::uint8_t pduType, std::string_view oidText, const Variant &value,
                    Prepared &prepared) {
    const SessionHandle handle = session.handle;
    Transport &transport = Transport::instance();
    const LibraryValues &values = library();
    // The source only names the manager; replies come back to the session's own socket whatever it says.
    if (!transport.entity(handle, values.localAddress)) return message(RequestOperation, "US", "Unknown Source");
    const auto target = transport.entity(handle, values.agent);
    if (!target) return message(RequestOperation, "UT", "Unknown Target");
    prepared.target = *target;
    if (session.options.version == Version::V3) {
        if (!security::usable(session.options.user))
            return message(RequestOperation, "USM", "Invalid user name, context name or passphrase");
    } else {
        const auto community = codepage::fromUtf8(values.commStr);
        prepared.context =
            community ? transport.context(handle, messageVersion(session.options.version), *community) : std::nullopt;
        if (!prepared.context) return message(RequestOperation, "CSTR", "Invalid community string");
    }
    auto oid = transport.oid(handle, oidText);
    if (!oid)
        return message(RequestOperation, "AP0" + std::to_string(transport.lastError(handle)),
                       "Error during String to OID conversion");
    auto binding =
        transport.binding(handle, std::move(*oid), pduType == ber::SetRequest ? setValue(value) : ber::Value::null());
    if (!binding)
        return message(RequestOperation, "AP0" + std::to_string(transport.lastError(handle)),
                       "Error during VariableBind object creation");
    prepared.pdu.type = pduType;
    if (pduType == ber::GetBulkRequest) prepared.pdu.errorIndex = session.walk.repetitions; // non-repeaters stay 0
    prepared.pdu.bindings.push_back(std::move(*binding));
    return {};
}

std::string sendFailure(SessionHandle handle) {
    const auto error = Transport::instance().lastError(handle);
    if (error == transport::InvalidPdu)
        return message(RequestOperation, "AP0" + std::to_string(error), "Error during PDU creation");
    return message(RequestOperation, "WAPI", std::to_string(error));
}

std::string requestFault() {
    const Fault fault = faultOf(std::current_exception());
    return message(RequestOperation, "WA0" + std::to_string(fault.number), fault.what());
}

std::string agentRequest(Session &session, std::uint8_t pduType, std::string_view oidText, const Variant &value,
                         RequestId &request) {
    try {
        Prepared prepared;
        if (std::string text = prepare(session, pduType, oidText, value, prepared); !text.empty()) return text;
        const auto sent = Transport::instance().send(session.handle, prepared.target, *prepared.context,
                                                     std::move(prepared.pdu), session.options.retransmit);
        if (!sent) return sendFailure(session.handle);
        request = *sent;
        return {};
    } catch (...) {
        return requestFault();
    }
}

void pumpEvents() {
    void (*pump)(void *) = nullptr;
    void *context = nullptr;
    {
        std::lock_guard lock(pumpMutex);
        pump = eventPump;
        context = eventPumpContext;
    }
    if (pump) pump(context);
}

// The text of one binding of a reply; a get-next that reads one marks where a walk goes on.
std::string bindingText(Session &session, std::uint8_t pduType, const ber::VarBind &binding, RequestId request) {
    static constexpr std::string_view Operation = "SnmpResponseProcess";
    if (!binding.value.readable)
        return message(Operation, "AP0" + std::to_string(transport::InvalidBinding), "Error during VariableBind parsing");
    // The exceptions stand where version 1 answers noSuchName for the first binding.
    if (session.options.version != Version::V1 && isException(binding.value.syntax))
        return message(Operation, "AP02C1", "Error encountered during Agent Process");
    // An empty OCTET STRING reads as the empty text and, like every other value, leaves its OID in the last
    // reply OID, so that a walk goes on past it.
    LibraryValues &values = library();
    std::string text = renderValue(binding.value, session.options);
    values.lastReplyOid = binding.oid.empty() ? message(Operation, "AP2" + std::to_string(request),
                                                        "Unable to retrieve OID from VariableBinding List")
                                              : ber::formatOid(binding.oid);
    if (pduType != ber::SetRequest && pduType != ber::GetRequest && !binding.oid.empty()) {
        session.walk.lastOid = values.lastReplyOid;
        session.walk.source = sourceOf(values);
    }
    return text;
}

std::string timedOut(RequestId request, std::uint32_t status) {
    library().lastReplyOid.clear();
    return message("SnmpAgentResponse", "AP1" + std::to_string(status),
                   "Request ID " + std::to_string(request) + " has encountered an error");
}

// The text of a reply's PDU; a GetBulk's bindings after the first are kept for the walk.
std::string replyText(Session &session, std::uint8_t pduType, RequestId request, ber::Pdu &pdu) {
    if (pdu.errorStatus > 0)
        return message(ResponseOperation, "AP0" + std::to_string(pdu.errorStatus) + "C" + std::to_string(pdu.errorIndex),
                       "Error encountered during Agent Process");
    if (pdu.bindings.empty())
        return message(ResponseOperation, "AP0" + std::to_string(transport::InvalidBinding),
                       "Error during VariableBind parsing");
    if (pduType == ber::GetBulkRequest) {
        session.walk.ahead.assign(std::make_move_iterator(pdu.bindings.begin() + 1),
                                  std::make_move_iterator(pdu.bindings.end()));
        session.walk.request = request;
    }
    return bindingText(session, pduType, pdu.bindings[0], request);
}

std::string retrievalFailure(SessionHandle handle) {
    return message(ResponseOperation, "AP0" + std::to_string(Transport::instance().lastError(handle)),
                   "Error during message retrieval");
}

// A run-time fault while decoding ends the operation with the empty text, and nothing to go on from.
std::string decodingFault(Session &session) {
    library().lastReplyOid.clear();
    session.walk.ahead.clear();
    return {};
}

std::string responseProcess(Session &session, std::uint8_t pduType, RequestId request, std::uint32_t status) {
    if (status != 0) return timedOut(request, status);
    try {
        auto reply = Transport::instance().receive(session.handle, request);
        if (!reply) return retrievalFailure(session.handle);
        return replyText(session, pduType, request, reply->pdu);
    } catch (...) {
        return decodingFault(session);
    }
}

// One request sent and its reply processed; status receives the completion (TimedOut for a silent agent).
std::string communityRequestAndReply(Session &session, std::uint8_t pduType, std::string_view oidText,
                                     const Variant &value, std::uint32_t &status) {
    RequestId request = 0;
    std::string text = agentRequest(session, pduType, oidText, value, request);
    if (containsWithoutCase(text, "[Vantobe.Mod.")) return text;
    status = Transport::instance().await(session.handle, request, pumpEvents);
    return responseProcess(session, pduType, request, status);
}

// ---- version 3 ----

// The usmStats counters a report names (RFC 3414 5), by their last sub-identifier but one.
enum UsmReport { UnsupportedSecLevels = 1, NotInTimeWindows, UnknownUserNames, UnknownEngineIds, WrongDigests,
                 DecryptionErrors };

int usmReportOf(const ber::Pdu &pdu) {
    static const ber::Oid UsmStats = {1, 3, 6, 1, 6, 3, 15, 1, 1};
    if (pdu.bindings.empty()) return 0;
    const ber::Oid &oid = pdu.bindings[0].oid;
    if (oid.size() != UsmStats.size() + 2 || !std::equal(UsmStats.begin(), UsmStats.end(), oid.begin())) return 0;
    const std::uint32_t counter = oid[UsmStats.size()];
    return counter >= UnsupportedSecLevels && counter <= DecryptionErrors ? static_cast<int>(counter) : 0;
}

std::string usmFailure(int report) {
    static const char *const Causes[] = {"",
                                         "Unsupported security level",
                                         "Not in time window",
                                         "Unknown user name",
                                         "Unknown engine ID",
                                         "Wrong digest (authentication passphrase or protocol)",
                                         "Decryption error (privacy passphrase or protocol)"};
    return message(ResponseOperation, "USM" + std::to_string(report), Causes[report]);
}

std::string reportFailure(const ber::Pdu &pdu) {
    if (const int report = usmReportOf(pdu)) return usmFailure(report);
    return message(ResponseOperation, "RPT",
                   "Report " + (pdu.bindings.empty() ? std::string() : ber::formatOid(pdu.bindings[0].oid)));
}

// One version 3 message out and its completion; the empty text once the reply is queued for `request`.
std::string sendAndAwait(Session &session, const transport::Entity &target, transport::Request outgoing,
                         RequestId &request, std::uint32_t &status) {
    Transport &transport = Transport::instance();
    outgoing.retransmit = session.options.retransmit;
    const auto sent = transport.send(session.handle, target, std::move(outgoing));
    if (!sent) return sendFailure(session.handle);
    request = *sent;
    status = transport.await(session.handle, request, pumpEvents);
    return status == 0 ? std::string() : timedOut(request, status);
}

// Learns the agent's engine from the report to a discovery request.
std::string discover(Session &session, const transport::Entity &target, std::uint32_t &status) {
    RequestId request = 0;
    if (std::string text = sendAndAwait(session, target, v3::discovery(), request, status); !text.empty())
        return text;
    return v3::learnEngine(target.address, Transport::instance().receive(session.handle, request));
}

// A version 3 request: the agent's engine discovered unless known, then the request, again after the reports
// v3::retryAfterReport allows.
std::string userRequestAndReply(Session &session, std::uint8_t pduType, std::string_view oidText,
                                const Variant &value, std::uint32_t &status) {
    Prepared prepared;
    try {
        if (std::string text = prepare(session, pduType, oidText, value, prepared); !text.empty()) return text;
    } catch (...) {
        return requestFault();
    }
    const sockaddr_in agent = prepared.target.address;
    bool discovered = false, resent = false;
    while (true) {
        const auto engine = security::knownEngine(agent);
        if (!engine) {
            if (std::string text = discover(session, prepared.target, status); !text.empty()) return text;
            discovered = true;
            continue;
        }
        RequestId request = 0;
        if (std::string text = sendAndAwait(session, prepared.target,
                                            v3::userRequest(session.options.user, *engine, agent, prepared.pdu),
                                            request, status);
            !text.empty())
            return text;
        try {
            auto reply = Transport::instance().receive(session.handle, request);
            if (!reply) return retrievalFailure(session.handle);
            if (reply->pdu.type != ber::Report) return replyText(session, pduType, request, reply->pdu);
            std::string failure;
            if (!v3::retryAfterReport(agent, *reply, discovered, resent, failure)) return failure;
        } catch (...) {
            return decodingFault(session);
        }
    }
}

std::string requestAndReply(Session &session, std::uint8_t pduType, std::string_view oidText, const Variant &value,
                            std::uint32_t &status) {
    if (session.options.version == Version::V3)
        return userRequestAndReply(session, pduType, oidText, value, status);
    return communityRequestAndReply(session, pduType, oidText, value, status);
}

// A walk's next step: the next binding kept from its GetBulk, else a new GetBulk, asking for fewer repetitions
// after each time-out (a reply too large for the path or the agent is lost on the way) until one is left.
std::string walkStep(Session &session, std::string_view oidText) {
    Walk &walk = session.walk;
    if (!walk.ahead.empty()) {
        const ber::VarBind binding = std::move(walk.ahead.front());
        walk.ahead.pop_front();
        try {
            return bindingText(session, ber::GetNextRequest, binding, walk.request);
        } catch (...) {
            library().lastReplyOid.clear();
            walk.ahead.clear();
            return {};
        }
    }
    if (walk.repetitions == 0) walk.repetitions = session.options.bulkRepetitions;
    while (true) {
        std::uint32_t status = transport::Success;
        std::string text = requestAndReply(session, ber::GetBulkRequest, oidText, std::string(), status);
        if (status != transport::TimedOut || walk.repetitions == 1) return text;
        walk.repetitions /= 2;
    }
}

} // namespace

LibraryValues &library() {
    static LibraryValues values;
    return values;
}

std::string openSession(SessionHandle &handle) {
    try {
        handle = Transport::instance().createSession();
        return "Successful";
    } catch (...) {
        const Fault fault = faultOf(std::current_exception());
        return message("SnmpOpenSession", "WAO" + std::to_string(fault.number), fault.what());
    }
}

std::string closeSession(SessionHandle &handle) {
    try {
        Transport::instance().closeSession(handle);
        handle = 0;
        return "Successful";
    } catch (...) {
        const Fault fault = faultOf(std::current_exception());
        return message("SnmpCloseSession", "WA0" + std::to_string(fault.number), fault.what());
    }
}

std::string exchange(Session &session, std::uint8_t pduType, std::string_view oidText, const Variant &value) {
    Walk &walk = session.walk;
    const bool walking = pduType == ber::GetNextRequest && session.options.version != Version::V1 &&
                         !walk.lastOid.empty() && oidText == walk.lastOid && walk.source == sourceOf(library());
    if (!walking) walk.ahead.clear();
    if (pduType == ber::GetNextRequest) walk.lastOid.clear();
    if (walking) return walkStep(session, oidText);
    std::uint32_t status = transport::Success;
    return requestAndReply(session, pduType, oidText, value, status);
}

void setEventPump(void (*pump)(void *context), void *context) {
    std::lock_guard lock(pumpMutex);
    eventPump = pump;
    eventPumpContext = context;
}

std::string renderValue(const ber::Value &value, const Options &options) {
    const Version version = options.version;
    switch (value.syntax) {
    case ber::OctetString:
        if (options.octetsAsHex) return exactHex(value.octets);
        if (!value.octets.empty() && value.octets[0] == '\0') return hexRendering(value.octets);
        return codepage::toUtf8(value.octets);
    case ber::ObjectId: return ber::formatOid(value.oid);
    case ber::IpAddress:
    case ber::Opaque: return std::to_string(static_cast<std::int32_t>(value.octets.size()));
    case ber::Counter64:
        if (version != Version::V1) return std::to_string(value.counter64);
        return std::to_string(static_cast<std::int32_t>(value.counter64 >> 32));
    default: return std::to_string(static_cast<std::int32_t>(value.number)); // the first 32-bit word, signed
    }
}

namespace v3 {

transport::Request discovery() {
    return {[](std::int32_t id) { return std::optional(security::discoveryRequest(id)); }, security::acceptDiscovery};
}

std::string learnEngine(const sockaddr_in &agent, const std::optional<transport::Reply> &reply) {
    if (!reply || reply->security.engineId.empty()) return usmFailure(UnknownEngineIds);
    const ber::UsmParameters &engine = reply->security;
    security::learnEngine(agent, {engine.engineId, static_cast<std::uint32_t>(engine.boots),
                                  static_cast<std::uint32_t>(engine.time)});
    return {};
}

transport::Request userRequest(const security::User &user, const security::Engine &engine, const sockaddr_in &agent,
                               ber::Pdu pdu) {
    return {[user, engine, pdu = std::move(pdu)](std::int32_t id) { return security::request(user, engine, id, pdu); },
            [user, agent](std::int32_t id, std::string_view datagram) {
                return security::acceptReply(user, agent, id, datagram);
            }};
}

bool retryAfterReport(const sockaddr_in &agent, const transport::Reply &reply, bool discovered, bool &resent,
                      std::string &failure) {
    const int report = usmReportOf(reply.pdu);
    if (report == NotInTimeWindows && !resent && (reply.securityFlags & ber::Authenticated)) {
        resent = true;
        if (learnEngine(agent, reply).empty()) return true;
    } else if (report == UnknownEngineIds && !discovered) {
        security::forgetEngine(agent);
        return true;
    }
    failure = reportFailure(reply.pdu);
    return false;
}

} // namespace v3

} // namespace quorrel::engine
