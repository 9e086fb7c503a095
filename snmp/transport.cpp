#include "transport.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
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
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    if (worker_.joinable()) {
        wake();
        worker_.join();
    }
    for (auto &[id, session] : sessions_) close(session.fd);
    if (wakeFd_ >= 0) close(wakeFd_);
}

void Transport::startup() {
    std::lock_guard lock(mutex_);
    ++users_;
    if (worker_.joinable()) return;
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    worker_ = std::thread([this] { run(); });
}

void Transport::cleanup() {
    std::lock_guard lock(mutex_);
    if (users_ > 0) --users_;
}

SessionId Transport::createSession(CompletionCallback callback) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    std::lock_guard lock(mutex_);
    if (fd < 0 || !worker_.joinable()) {
        if (fd >= 0) close(fd);
        taskError_ = OutOfResources;
        return 0;
    }
    const SessionId id = nextSession_++;
    if (nextSession_ == 0) nextSession_ = 1;
    Session &session = sessions_[id];
    session.fd = fd;
    session.settings = Settings::fromEnvironment();
    session.callback = std::move(callback);
    wake();
    return id;
}

void Transport::closeSession(SessionId id) {
    std::lock_guard lock(mutex_);
    const auto it = sessions_.find(id);
    if (it == sessions_.end()) return;
    close(it->second.fd);
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

std::optional<Context> Transport::context(SessionId id, std::string_view communityOctets) {
    std::lock_guard lock(mutex_);
    if (!find(id)) {
        taskError_ = InvalidSession;
        return std::nullopt;
    }
    if (communityOctets.empty() || communityOctets.size() > MaxCommunity) {
        fail(id, InvalidContext);
        return std::nullopt;
    }
    return Context{std::string(communityOctets)};
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

std::optional<RequestId> Transport::send(SessionId id, const Entity &target, const Context &context, ber::Pdu pdu) {
    std::lock_guard lock(mutex_);
    Session *session = find(id);
    if (!session) {
        taskError_ = InvalidSession;
        return std::nullopt;
    }
    pdu.requestId = nextRequestId();
    ber::Message message;
    message.community = context.community;
    message.pdu = std::move(pdu);
    std::string datagram = ber::encode(message);
    if (message.pdu.bindings.size() != 1 || datagram.size() > MaxDatagram) {
        session->lastError = InvalidPdu;
        return std::nullopt;
    }
    const auto sent = sendto(session->fd, datagram.data(), datagram.size(), 0,
                             reinterpret_cast<const sockaddr *>(&target.address), sizeof target.address);
    if (sent < 0) {
        session->lastError = SendFailed;
        return std::nullopt;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(session->settings.timeoutMs);
    session->outstanding.push_back(
        {message.pdu.requestId, target.address, std::move(datagram), deadline, session->settings.retries});
    wake();
    return message.pdu.requestId;
}

std::optional<ber::Message> Transport::receive(SessionId id, RequestId request) {
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
    ber::Message message = std::move(it->second);
    replies.erase(it);
    return message;
}

std::uint32_t Transport::lastError(SessionId id) {
    std::lock_guard lock(mutex_);
    const Session *session = find(id);
    return session ? session->lastError : taskError_;
}

void Transport::wake() {
    const std::uint64_t one = 1;
    if (wakeFd_ >= 0 && write(wakeFd_, &one, sizeof one) < 0) {
        // the counter is already non-zero: the worker wakes anyway
    }
}

void Transport::run() {
    std::vector<pollfd> fds;
    std::vector<SessionId> owners;
    std::vector<Completion> completions;
    while (true) {
        int timeoutMs = -1;
        {
            std::lock_guard lock(mutex_);
            if (stopping_) return;
            fds.assign(1, pollfd{wakeFd_, POLLIN, 0});
            owners.assign(1, 0);
            auto nearest = Clock::time_point::max();
            for (const auto &[id, session] : sessions_) {
                fds.push_back(pollfd{session.fd, POLLIN, 0});
                owners.push_back(id);
                for (const auto &request : session.outstanding) nearest = std::min(nearest, request.deadline);
            }
            if (nearest != Clock::time_point::max()) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(nearest - Clock::now()).count();
                timeoutMs = static_cast<int>(std::clamp<long long>(left, 0, 60000));
            }
        }
        poll(fds.data(), fds.size(), timeoutMs);
        if (fds[0].revents & POLLIN) {
            std::uint64_t count = 0;
            if (read(wakeFd_, &count, sizeof count) < 0) {
                // nothing to reset
            }
        }
        for (std::size_t i = 1; i < fds.size(); ++i)
            if (fds[i].revents & POLLIN) receiveAll(owners[i], completions);
        expire(completions);
        for (auto &completion : completions)
            if (completion.callback) completion.callback(completion.session, completion.status, completion.request);
        completions.clear();
    }
}

void Transport::receiveAll(SessionId id, std::vector<Completion> &completions) {
    std::lock_guard lock(mutex_);
    Session *session = find(id);
    if (!session) return;
    static thread_local std::string buffer(65536, '\0');
    while (true) {
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const auto got = recvfrom(session->fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr *>(&from),
                                  &fromLength);
        if (got < 0) {
            if (errno == EINTR) continue;
            return; // EAGAIN: drained; anything else (an ICMP error report) leaves the request to its time-out
        }
        if (fromLength == sizeof from && from.sin_family == AF_INET)
            accept(id, *session, std::string_view(buffer.data(), static_cast<std::size_t>(got)), from, completions);
    }
}

void Transport::accept(SessionId id, Session &session, std::string_view datagram, const sockaddr_in &from,
                       std::vector<Completion> &completions) {
    auto message = ber::decode(datagram);
    if (!message || message->version != 0 || message->pdu.type != ber::GetResponse) return;
    auto &outstanding = session.outstanding;
    const auto it = std::find_if(outstanding.begin(), outstanding.end(), [&](const Outstanding &request) {
        return request.id == message->pdu.requestId && sameEndpoint(request.target, from);
    });
    if (it == outstanding.end()) return;
    const RequestId request = it->id;
    outstanding.erase(it);
    session.replies.emplace_back(request, std::move(*message));
    completions.push_back({session.callback, id, Success, request});
}

void Transport::expire(std::vector<Completion> &completions) {
    std::lock_guard lock(mutex_);
    const auto now = Clock::now();
    for (auto &[id, session] : sessions_) {
        auto &outstanding = session.outstanding;
        for (auto it = outstanding.begin(); it != outstanding.end();) {
            if (it->deadline > now) {
                ++it;
            } else if (it->triesLeft > 0) {
                --it->triesLeft;
                it->deadline = now + std::chrono::milliseconds(session.settings.timeoutMs);
                sendto(session.fd, it->datagram.data(), it->datagram.size(), 0,
                       reinterpret_cast<const sockaddr *>(&it->target), sizeof it->target);
                ++it;
            } else {
                completions.push_back({session.callback, id, TimedOut, it->id});
                it = outstanding.erase(it);
            }
        }
    }
}

} // namespace quorrel::transport
