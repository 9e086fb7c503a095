// The request engine: opens and closes transport sessions, turns one request (type, OID text, value) into a
// one-binding SNMP message, waits for its completion and renders the first binding of the reply as text. Every
// operation answers with text: "Successful", the value read, or a "[Vantobe.Mod." message.
//
// Version 2c and 3 requests answer as version 1 ones do: an exception in place of a value (noSuchObject,
// noSuchInstance, endOfMibView) gives the text of version 1's noSuchName. A get-next that goes on from the OID the
// session's previous get-next returned (a walk) goes out as GetBulk; the bindings of its reply after the first are
// handed out by the get-nexts that follow, without a request. A version 3 request first learns the agent's engine
// (discovery) unless it is known; a report that the agent's time moved on (it restarted) is answered by one resend,
// other reports end the request with a text that names their cause.
#pragma once

#include "security.h"
#include "transport.h"
#include "variant.h"

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace quorrel::engine {

using SessionHandle = transport::SessionId;

enum class Version { V1, V2c, V3 };

// What an object sets for its own requests; a fresh object sends today's version 1 messages.
struct Options {
    Version version = Version::V1;
    security::User user;    // version 3
    bool retransmit = true; // false: one try, without the transport's retries
    bool octetsAsHex = false; // an OCTET STRING read as "0x" and its bytes, two hex digits each
    int bulkRepetitions = 10; // what a walk's GetBulk asks for first, halved after each time-out down to 1
};

constexpr int MostRepetitions = 100;

// A walk's state: where the previous get-next ended, and the bindings of its GetBulk reply not handed out yet.
struct Walk {
    std::string lastOid; // the OID the previous get-next returned; empty after a failure
    std::string source;  // the agent and community that get-next went to
    std::deque<ber::VarBind> ahead;
    transport::RequestId request = 0; // the GetBulk that brought them
    int repetitions = 0; // 0: the session's bulkRepetitions, until a time-out halves it
};

// One object's session: the transport's handle, the object's options and its walk.
struct Session {
    SessionHandle handle = 0;
    Options options;
    Walk walk;
};

// Values shared by every session object of the process.
struct LibraryValues {
    std::string agent;
    std::string commStr;
    std::int16_t timeout = 2000;
    std::int16_t retry = 3;
    std::string localAddress = "127.0.0.1";
    std::string lastReplyOid; // OID of the last reply decoded, or a failure text
};
LibraryValues &library();

std::string openSession(SessionHandle &handle);
std::string closeSession(SessionHandle &handle);

// One request and its reply: the value text, or a message.
std::string exchange(Session &session, std::uint8_t pduType, std::string_view oidText, const Variant &value);

// The steps of a version 3 request, shared by single requests and the batch probe.
// A failure text: "[Vantobe.Mod.<operation>][<code>]=<explanation>".
std::string message(std::string_view operation, const std::string &code, std::string_view explanation);

// Whether a binding's syntax is one of version 2c's exceptions (noSuchObject, noSuchInstance, endOfMibView).
bool isException(std::uint8_t syntax);

namespace v3 {

// Engine discovery's request.
transport::Request discovery();
// Learns the agent's engine from the reply to a discovery: the empty text, else why it could not.
std::string learnEngine(const sockaddr_in &agent, const std::optional<transport::Reply> &reply);
// The user's get or set of pdu to the agent's engine as known.
transport::Request userRequest(const security::User &user, const security::Engine &engine, const sockaddr_in &agent,
                               ber::Pdu pdu);
// After a report to a user's request: true when the request is to go again, once with the agent's newer time
// (resent marks that) or once after discovering its engine again unless it was just discovered; false, with the
// report's text in failure, ends it.
bool retryAfterReport(const sockaddr_in &agent, const transport::Reply &reply, bool discovered, bool &resent,
                      std::string &failure);

} // namespace v3

// The host's hook that keeps it responsive during a wait; called at least every 100 ms while a reply is awaited.
void setEventPump(void (*pump)(void *context), void *context);

// How a reply value reads as text (exposed for tests): a Counter64 in full from version 2c on, its high 32 bits in
// version 1; an OCTET STRING as its exact bytes where the options ask for them.
std::string renderValue(const ber::Value &value, const Options &options = {});

} // namespace quorrel::engine
