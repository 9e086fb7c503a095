// The SNMP manager transport: sessions with a UDP socket each, entities (agent addresses), contexts (a version and
// a community), sending with retransmission, and a queue of replies per session. The caller that waits for a
// request drives it: the wait reads the session's socket, resends at each deadline and ends with the request's
// completion, so a reply costs no hand-over between threads. A reply is queued only when it comes from the agent
// the request went to and the request's own check accepts it: for a community message the version, the response
// PDU and the request id; for a version 3 message its sender's check of the msgID, the digest over the raw datagram,
// the time window and the decrypted request id. Late, duplicate, forged and malformed datagrams are dropped.
#pragma once

#include "ber.h"

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorrel::transport {

using SessionId = std::uint32_t; // 0 is the null session
using RequestId = std::int32_t;

// Completion statuses and last-error codes.
enum Code : std::uint32_t {
    Success = 0,
    InvalidSession = 1,
    InvalidEntity = 2,
    InvalidContext = 3,
    InvalidOid = 4,
    InvalidBinding = 5,
    InvalidPdu = 6,
    SendFailed = 7,
    NoMessage = 8,
    TimedOut = 9,
    OutOfResources = 10,
};

// Largest octet string a binding may carry and largest datagram a request may take.
constexpr std::size_t MaxValueOctets = 65535;
constexpr std::size_t MaxDatagram = 65507;
// Longest community a context accepts.
constexpr std::size_t MaxCommunity = 255;

struct Entity {
    sockaddr_in address{};
};

struct Context {
    std::int32_t version = 0; // as the message carries it: 0 is version 1, 1 is version 2c
    std::string community;    // octets as they go on the wire
};

// A reply as its request's check accepted it.
struct Reply {
    ber::Pdu pdu;
    std::uint8_t securityFlags = 0; // version 3: the security level it came with
    ber::UsmParameters security;    // version 3: the agent's engine ID, boots and time as it stated them
};

// A request on its own terms: its datagram for the id the transport chose (nothing when it cannot be made), and the
// check that tells its reply among the datagrams from its target (nothing: not its reply). `retransmit` false sends
// it once, without the session's retries.
struct Request {
    std::function<std::optional<std::string>(std::int32_t id)> encode;
    std::function<std::optional<Reply>(std::int32_t id, std::string_view datagram)> accept;
    bool retransmit = true;
};

// A community message of version (0: v1, 1: v2c) carrying pdu, and the check that tells its reply: a response of
// that version with the request's id.
Request communityRequest(std::int32_t version, std::string community, ber::Pdu pdu);

// Time-out per try, retransmissions after the first try, and the agents' UDP port. Defaults make a silent agent
// cost about 3 s; QUORREL_TIMEOUT_MS, QUORREL_RETRIES and QUORREL_AGENT_PORT override them.
struct Settings {
    int timeoutMs = 1000;
    int retries = 2;
    std::uint16_t agentPort = 161;

    static Settings fromEnvironment();
};

class Transport {
public:
    static Transport &instance();
    ~Transport();

    // A new session with its own socket; 0 when none can be made (the error is then kept as the task's last error).
    SessionId createSession();
    void closeSession(SessionId session);

    // A dotted IPv4 address or a host name, with the agent port of the session's settings.
    std::optional<Entity> entity(SessionId session, std::string_view address);
    std::optional<Context> context(SessionId session, std::int32_t version, std::string_view communityOctets);
    std::optional<ber::Oid> oid(SessionId session, std::string_view text);
    std::optional<ber::VarBind> binding(SessionId session, ber::Oid oid, ber::Value value);

    // Sends a one-binding PDU in a community message; the transport chooses its request id, which is returned. The
    // last error tells a PDU too large for a datagram (InvalidPdu) from a send the system refused (SendFailed).
    std::optional<RequestId> send(SessionId session, const Entity &target, const Context &context, ber::Pdu pdu,
                                  bool retransmit = true);
    // Sends a request that makes its own datagram, as the other send does.
    std::optional<RequestId> send(SessionId session, const Entity &target, Request request);

    // Waits for the request's completion: Success once its reply is queued, TimedOut when every try went unanswered
    // (InvalidSession when the session was closed meanwhile). Calls `idle` at least every 100 ms while it waits.
    std::uint32_t await(SessionId session, RequestId request, const std::function<void()> &idle);

    // Waits until some of the requests (session, request) complete or `until` passes: their completions as await
    // gives them, none when nothing completed in time. Calls `idle` at least every 100 ms while it waits.
    struct Completion {
        SessionId session;
        RequestId request;
        std::uint32_t status;
    };
    std::vector<Completion> awaitAny(const std::vector<std::pair<SessionId, RequestId>> &requests,
                                     std::chrono::steady_clock::time_point until, const std::function<void()> &idle);

    // Takes the reply queued for the request, if any.
    std::optional<Reply> receive(SessionId session, RequestId request);

    // The code of the session's last failure (of the task for the null or an unknown session).
    std::uint32_t lastError(SessionId session);

private:
    struct Outstanding {
        RequestId id;
        sockaddr_in target;
        std::string datagram;
        std::function<std::optional<Reply>(std::int32_t, std::string_view)> accept;
        std::chrono::steady_clock::time_point deadline;
        int triesLeft;
    };
    struct Session {
        int fd = -1;
        Settings settings;
        std::vector<Outstanding> outstanding;
        std::deque<std::pair<RequestId, Reply>> replies;
        std::uint32_t lastError = Success;
    };
    // What one look at a waited-for request found.
    struct Progress {
        std::optional<std::uint32_t> completion;
        int fd = -1;
        std::chrono::steady_clock::time_point deadline{};
    };

    Transport();
    Progress advance(SessionId id, RequestId request);
    void receiveWaiting(Session &session);
    void accept(Session &session, std::string_view datagram, const sockaddr_in &from);
    Session *find(SessionId session);
    void fail(SessionId session, std::uint32_t code);
    RequestId nextRequestId();
    int takeSocket();

    std::mutex mutex_;
    std::map<SessionId, Session> sessions_;
    std::vector<int> idleSockets_; // sockets of closed sessions, kept for the next ones
    SessionId nextSession_ = 1;
    RequestId lastRequestId_;
    std::uint32_t taskError_ = Success;
};

} // namespace quorrel::transport
