#include "transport.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <random>

namespace quorrel::transport {
namespace {

using Clock = std::chrono::steady_clock;

int environmentNumber(const char *name, int fallback, int lowest, int highest) {
    const char *text = std::getenv(name);
    if (!text || !*text) return fallback;
    int n = 0;
    const auto end = text + std::char_traits<char>::length(text);
    const auto [stop, error] = std::from_chars(text, end, n);
    return error == std::errc{} && stop == end && n >= lowest && n <= highest ? n : fallback;
}

bool sameEndpoint(const sockaddr_in &a, const sockaddr_in &b) {
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

// A literal dotted IPv4 address, else a name looked up for IPv4. Texts that cannot be names are not looked up.
std::optional<in_addr> resolve(std::string_view text) {
    const std::string host(text);
    in_addr address{};
    if (inet_pton(AF_INET, host.c_str(), &address) == 1) return address;
    const bool plausible = !host.empty() && host.size() < 254 &&
                           std::all_of(host.begin(), host.end(), [](unsigned char c) { return c > ' ' && c < 0x7F; });
    if (!plausible) return std::nullopt;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo *found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return std::nullopt;
    address = reinterpret_cast<const sockaddr_in *>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return address;
}

} // namespace

Settings Settings::fromEnvironment() {
    Settings settings;
    settings.timeoutMs = environmentNumber("QUORREL_TIMEOUT_MS", settings.timeoutMs, 1, 600000);
    settings.retries = environmentNumber("QUORREL_RETRIES", settings.retries, 0, 100);
    settings.agentPort = static_cast<std::uint16_t>(environmentNumber("QUORREL_AGENT_PORT", settings.agentPort, 1, 65535));
    return settings;
}

Transport &Transport::instance() {
    static Transport transport;
    return transport;
}

Transport::Transport() : lastRequestId_(static_cast<RequestId>(std::random_device{}() & 0x3FFFFFFF)) {}

Transport::~Transport() {
    for (auto &[id, session] : sessions_) close(session.fd);
    for (int fd : idleSockets_) close(fd);
}

// A socket of a closed session (emptied of whatever arrived for it since), else a new one.
int Transport::takeSocket() {
    if (idleSockets_.empty()) return socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int fd = idleSockets_.back();
    idleSockets_.pop_back();
    char byte;
    while (recv(fd, &byte, sizeof byte, 0) >= 0 || errno == EINTR) {
    }
    return fd;
}

SessionId Transport::createSession() {
    std::lock_guard lock(mutex_);
    const int fd = takeSocket();
    if (fd < 0) {
        taskError_ = OutOfResources;
        return 0;
    }
    const SessionId id = nextSession_++;
    if (nextSession_ == 0) nextSession_ = 1;
    Session &session = sessions_[id];
    session.fd = fd;
    session.settings = Settings::fromEnvironment();
    return id;
}

void Transport::closeSession(SessionId id) {
    constexpr std::size_t KeptSockets = 4;
    std::lock_guard lock(mutex_);
    const auto it = sessions_.find(id);
    if (it == sessions_.end()) return;
    if (idleSockets_.size() < KeptSockets) idleSockets_.push_back(it->second.fd);
    else close(it->second.fd);
    sessions_.erase(it);
}

Transport::Session *Transport::find(SessionId id) {
    const auto it = sessions_.find(id);
    return it == sessions_.end() ? nullptr : &it->second;
}

void Transport::fail(SessionId id, std::uint32_t code) {
    if (Session *session = find(id)) session->lastError = code;
    else taskError_ = code;
}

std::optional<Entity> Transport::entity(SessionId id, std::string_view address) {
    std::uint16_t port = 0;
    {
        std::lock_guard lock(mutex_);
        Session *session = find(id);
        if (!session) {
            taskError_ = InvalidSession;
            return std::nullopt;
        }
        port = session->settings.agentPort;
    }
    const auto resolved = resolve(address); // may take a while: outside the lock
    std::lock_guard lock(mutex_);
    if (!resolved) {
        fail(id, InvalidEntity);
        return std::nullopt;
    }
    Entity entity;
    entity.address.sin_family = AF_INET;
    entity.address.sin_port = htons(port);
    entity.address.sin_addr = *resolved;
    return entity;
}

std::optional<Context> Transport::context(SessionId id, std::int32_t version, std::string_view communityOctets) {
    std::lock_guard lock(mutex_);
    if (!find(id)) {
        taskError_ = InvalidSession;
        return std::nullopt;
    }
    if (communityOctets.empty() || communityOctets.size() > MaxCommunity) {
        fail(id, InvalidContext);
        return std::nullopt;
    }
    return Context{version, std::string(communityOctets)};
}

std::optional<ber::Oid> Transport::oid(SessionId id, std::string_view text) {
    auto oid = ber::parseOid(text);
    std::lock_guard lock(mutex_);
    if (!oid) fail(id, InvalidOid);
    return oid;
}

std::optional<ber::VarBind> Transport::binding(SessionId id, ber::Oid oid, ber::Value value) {
    if (value.octets.size() > MaxValueOctets) {
        std::lock_guard lock(mutex_);
        fail(id, InvalidBinding);
        return std::nullopt;
    }
    return ber::VarBind{std::move(oid), std::move(value)};
}

RequestId Transport::nextRequestId() {
    lastRequestId_ = lastRequestId_ == 0x7FFFFFFF ? 1 : lastRequestId_ + 1;
    return lastRequestId_;
}

Request communityRequest(std::int32_t version, std::string community, ber::Pdu pdu) {
    Request request;
    request.encode = [message = ber::Message{version, std::move(community), std::move(pdu)}](
                         std::int32_t requestId) mutable -> std::optional<std::string> {
        message.pdu.requestId = requestId;
        return ber::encode(message);
    };
    request.accept = [version](std::int32_t requestId, std::string_view datagram) -> std::optional<Reply> {
        auto message = ber::decode(datagram);
        if (!message || message->version != version || message->pdu.type != ber::GetResponse ||
            message->pdu.requestId != requestId)
            return std::nullopt;
        return Reply{std::move(message->pdu), 0, {}};
    };
    return request;
}

std::optional<RequestId> Transport::send(SessionId id, const Entity &target, const Context &context, ber::Pdu pdu,
                                        bool retransmit) {
    if (pdu.bindings.size() != 1) {
        std::lock_guard lock(mutex_);
        fail(id, InvalidPdu);
        return std::nullopt;
    }
    Request request = communityRequest(context.version, context.community, std::move(pdu));
    request.retransmit = retransmit;
    return send(id, target, std::move(request));
}

std::optional<RequestId> Transport::send(SessionId id, const Entity &target, Request request) {
    std::lock_guard lock(mutex_);
    Session *session = find(id);
    if (!session) {
        taskError_ = InvalidSession;
        return std::nullopt;
    }
    const RequestId requestId = nextRequestId();
    auto datagram = request.encode(requestId);
    if (!datagram || datagram->size() > MaxDatagram) {
        session->lastError = InvalidPdu;
        return std::nullopt;
    }
    const auto sent = sendto(session->fd, datagram->data(), datagram->size(), 0,
                             reinterpret_cast<const sockaddr *>(&target.address), sizeof target.address);
    if (sent < 0) {
        session->lastError = SendFailed;
        return std::nullopt;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(session->settings.timeoutMs);
    session->outstanding.push_back({requestId, target.address, std::move(*datagram), std::move(request.accept),
                                    deadline, request.retransmit ? session->settings.retries : 0});
    return requestId;
}

std::optional<Reply> Transport::receive(SessionId id, RequestId request) {
    std::lock_guard lock(mutex_);
    Session *session = find(id);
    if (!session) {
        taskError_ = InvalidSession;
        return std::nullopt;
    }
    auto &replies = session->replies;
    const auto it = std::find_if(replies.begin(), replies.end(), [&](const auto &r) { return r.first == request; });
    if (it == replies.end()) {
        session->lastError = NoMessage;
        return std::nullopt;
    }
    Reply reply = std::move(it->second);
    replies.erase(it);
    return reply;
}

std::uint32_t Transport::lastError(SessionId id) {
    std::lock_guard lock(mutex_);
    const Session *session = find(id);
    return session ? session->lastError : taskError_;
}

std::uint32_t Transport::await(SessionId id, RequestId request, const std::function<void()> &idle) {
    constexpr auto IdleInterval = std::chrono::milliseconds(100);
    auto nextIdle = Clock::now() + IdleInterval;
    while (true) {
        const Progress progress = advance(id, request);
        if (progress.completion) return *progress.completion;
        const auto until = std::min(progress.deadline, nextIdle);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
        pollfd socket{progress.fd, POLLIN, 0};
        poll(&socket, 1, static_cast<int>(std::max<long long>(left, 0)));
        if (Clock::now() >= nextIdle) {
            if (idle) idle();
            nextIdle = Clock::now() + IdleInterval;
        }
    }
}

std::vector<Transport::Completion> Transport::awaitAny(const std::vector<std::pair<SessionId, RequestId>> &requests,
                                                      Clock::time_point until, const std::function<void()> &idle) {
    constexpr auto IdleInterval = std::chrono::milliseconds(100);
    auto nextIdle = Clock::now() + IdleInterval;
    std::vector<pollfd> sockets;
    while (true) {
        std::vector<Completion> done;
        sockets.clear();
        auto wake = std::min(until, nextIdle);
        for (const auto &[session, request] : requests) {
            const Progress progress = advance(session, request);
            if (progress.completion) {
                done.push_back({session, request, *progress.completion});
            } else {
                wake = std::min(wake, progress.deadline);
                if (sockets.empty() || sockets.back().fd != progress.fd) sockets.push_back({progress.fd, POLLIN, 0});
            }
        }
        if (!done.empty() || Clock::now() >= until) return done;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now()).count();
        poll(sockets.data(), sockets.size(), static_cast<int>(std::max<long long>(left, 0)));
        if (Clock::now() >= nextIdle) {
            if (idle) idle();
            nextIdle = Clock::now() + IdleInterval;
        }
    }
}

// Takes in what the socket holds, then completes the request, resends it at its deadline, or says how long to wait.
// The socket comes first because the host's event pump may have run past the deadline (a modal box) while the reply
// waited there. (The reply may also have been queued by a wait nested in `idle`.)
Transport::Progress Transport::advance(SessionId id, RequestId request) {
    std::lock_guard lock(mutex_);
    Session *session = find(id);
    if (!session) return {InvalidSession, -1, {}};
    receiveWaiting(*session);
    const auto matches = [&](const auto &entry) { return entry.first == request; };
    if (std::any_of(session->replies.begin(), session->replies.end(), matches)) return {Success, -1, {}};
    auto &outstanding = session->outstanding;
    const auto it = std::find_if(outstanding.begin(), outstanding.end(),
                                 [&](const Outstanding &pending) { return pending.id == request; });
    if (it == outstanding.end()) return {NoMessage, -1, {}};
    const auto now = Clock::now();
    if (now >= it->deadline) {
        if (it->triesLeft == 0) {
            outstanding.erase(it);
            return {TimedOut, -1, {}};
        }
        --it->triesLeft;
        it->deadline = now + std::chrono::milliseconds(session->settings.timeoutMs);
        sendto(session->fd, it->datagram.data(), it->datagram.size(), 0,
               reinterpret_cast<const sockaddr *>(&it->target), sizeof it->target);
    }
    return {std::nullopt, session->fd, it->deadline};
}

// Takes in the datagrams already waiting in the socket, without blocking; a bounded number, so that a flood cannot
// hold the wait. An ICMP error report is read as one of them and leaves the request to its time-out.
void Transport::receiveWaiting(Session &session) {
    constexpr int MostAtOnce = 64;
    static thread_local std::string buffer(65536, '\0');
    for (int taken = 0; taken < MostAtOnce; ++taken) {
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const auto got =
            recvfrom(session.fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr *>(&from), &fromLength);
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        if (got >= 0 && fromLength == sizeof from && from.sin_family == AF_INET)
            accept(session, std::string_view(buffer.data(), static_cast<std::size_t>(got)), from);
    }
}

void Transport::accept(Session &session, std::string_view datagram, const sockaddr_in &from) {
    auto &outstanding = session.outstanding;
    for (auto it = outstanding.begin(); it != outstanding.end(); ++it) {
        if (!sameEndpoint(it->target, from)) continue;
        auto reply = it->accept(it->id, datagram);
        if (!reply) continue;
        session.replies.emplace_back(it->id, std::move(*reply));
        outstanding.erase(it);
        return;
    }
}

} // namespace quorrel::transport
