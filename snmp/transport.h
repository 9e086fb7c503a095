// The SNMP version 1 manager transport: sessions with a UDP socket each, entities (agent addresses), contexts
// (communities), sending with retransmission, a queue of replies per session, and one completion per request sent,
// delivered on the transport's own worker thread. A reply is queued only when it comes from the agent the request
// went to and carries the request's id; late, duplicate, forged and malformed datagrams are dropped.
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
#include <thread>
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
    std::string community; // octets as they go on the wire
};

// Time-out per try, retransmissions after the first try, and the agents' UDP port. Defaults make a silent agent
// cost about 3 s; QUORREL_TIMEOUT_MS, QUORREL_RETRIES and QUORREL_AGENT_PORT override them.
struct Settings {
    int timeoutMs = 1000;
    int retries = 2;
    std::uint16_t agentPort = 161;

    static Settings fromEnvironment();
};

// Called once for every request sent: status Success when the reply is queued, TimedOut when every try went
// unanswered. Runs on the worker thread.
using CompletionCallback = std::function<void(SessionId, std::uint32_t status, RequestId)>;

class Transport {
public:
    static Transport &instance();
    ~Transport();

    // Counts the users of the transport; the worker thread starts with the first and runs until the library is
    // unloaded, so that a series of short sessions does not pay for a thread each.
    void startup();
    void cleanup();

    // A new session with its own socket; 0 when none can be made (the error is then kept as the task's last error).
    SessionId createSession(CompletionCallback callback);
    void closeSession(SessionId session);

    // A dotted IPv4 address or a host name, with the agent port of the session's settings.
    std::optional<Entity> entity(SessionId session, std::string_view address);
    std::optional<Context> context(SessionId session, std::string_view communityOctets);
    std::optional<ber::Oid> oid(SessionId session, std::string_view text);
    std::optional<ber::VarBind> binding(SessionId session, ber::Oid oid, ber::Value value);

    // Sends a one-binding PDU; the transport chooses its request id, which is returned. The last error tells a
    // PDU too large for a datagram (InvalidPdu) from a send the system refused (SendFailed).
    std::optional<RequestId> send(SessionId session, const Entity &target, const Context &context, ber::Pdu pdu);

    // Takes the reply queued for the request, if any.
    std::optional<ber::Message> receive(SessionId session, RequestId request);

    // The code of the session's last failure (of the task for the null or an unknown session).
    std::uint32_t lastError(SessionId session);

private:
    struct Outstanding {
        RequestId id;
        sockaddr_in target;
        std::string datagram;
        std::chrono::steady_clock::time_point deadline;
        int triesLeft;
    };
    struct Session {
        int fd = -1;
        Settings settings;
        CompletionCallback callback;
        std::vector<Outstanding> outstanding;
        std::deque<std::pair<RequestId, ber::Message>> replies;
        std::uint32_t lastError = Success;
    };
    struct Completion {
        CompletionCallback callback;
        SessionId session;
        std::uint32_t status;
        RequestId request;
    };

    Transport();
    void run();
    void wake();
    void receiveAll(SessionId session, std::vector<Completion> &completions);
    void accept(SessionId id, Session &session, std::string_view datagram, const sockaddr_in &from,
                std::vector<Completion> &completions);
    void expire(std::vector<Completion> &completions);
    Session *find(SessionId session);
    void fail(SessionId session, std::uint32_t code);
    RequestId nextRequestId();

    std::mutex mutex_;
    std::map<SessionId, Session> sessions_;
    SessionId nextSession_ = 1;
    RequestId lastRequestId_;
    std::uint32_t taskError_ = Success;
    int users_ = 0;
    int wakeFd_ = -1;
    bool stopping_ = false;
    std::thread worker_;
};

} // namespace quorrel::transport
