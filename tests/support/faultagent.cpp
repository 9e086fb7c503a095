#include "support/faultagent.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace meterlane::test {
namespace {

using Clock = std::chrono::steady_clock;

// ---- writing: BER in its plainest form, by hand ----

std::string lengthBytes(std::size_t length) {
    if (length < 0x80) return std::string(1, static_cast<char>(length));
    std::string bytes;
    for (; length > 0; length >>= 8) bytes.insert(bytes.begin(), static_cast<char>(length & 0xFF));
    return static_cast<char>(0x80 | bytes.size()) + bytes;
}

std::string tlv(std::uint8_t tag, std::string_view content) {
    return static_cast<char>(tag) + lengthBytes(content.size()) + std::string(content);
}

std::string signedBytes(std::int64_t n) {
    std::string bytes;
    // Emit big-endian bytes until the rest is pure sign extension of the byte already written.
    while (true) {
        const auto low = static_cast<std::uint8_t>(n & 0xFF);
        bytes.insert(bytes.begin(), static_cast<char>(low));
        n >>= 8; // arithmetic shift
        if ((n == 0 && !(low & 0x80)) || (n == -1 && (low & 0x80))) return bytes;
    }
}

std::string unsignedBytes(std::uint64_t n) {
    std::string bytes;
    do {
        bytes.insert(bytes.begin(), static_cast<char>(n & 0xFF));
        n >>= 8;
    } while (n != 0);
    if (static_cast<std::uint8_t>(bytes[0]) & 0x80) bytes.insert(bytes.begin(), '\0');
    return bytes;
}

void putBase128(std::string &out, std::uint64_t n) {
    std::string groups(1, static_cast<char>(n & 0x7F));
    for (n >>= 7; n != 0; n >>= 7) groups.insert(groups.begin(), static_cast<char>(0x80 | (n & 0x7F)));
    out += groups;
}

std::string oidBytes(std::string_view dotted) {
    std::vector<std::uint64_t> parts;
    while (!dotted.empty()) {
        std::uint64_t part = 0;
        const auto [end, error] = std::from_chars(dotted.data(), dotted.data() + dotted.size(), part);
        if (error != std::errc{}) throw std::invalid_argument("bad OID in a test script");
        parts.push_back(part);
        dotted.remove_prefix(static_cast<std::size_t>(end - dotted.data()));
        if (!dotted.empty()) dotted.remove_prefix(1); // the dot
    }
    std::string out;
    if (parts.empty()) return out;
    putBase128(out, parts[0] * 40 + (parts.size() > 1 ? parts[1] : 0));
    for (std::size_t i = 2; i < parts.size(); ++i) putBase128(out, parts[i]);
    return out;
}

// ---- reading: enough to take an SNMP v1 request apart ----

struct Cursor {
    std::string_view data;

    bool next(std::uint8_t &tag, std::string_view &content) {
        if (data.size() < 2) return false;
        tag = static_cast<std::uint8_t>(data[0]);
        std::size_t pos = 2, length = static_cast<std::uint8_t>(data[1]);
        if (length & 0x80) {
            const std::size_t count = length & 0x7F;
            if (count == 0 || count > 4 || data.size() < 2 + count) return false;
            length = 0;
            for (std::size_t i = 0; i < count; ++i) length = length << 8 | static_cast<std::uint8_t>(data[pos++]);
        }
        if (length > data.size() - pos) return false;
        content = data.substr(pos, length);
        data.remove_prefix(pos + length);
        return true;
    }
    bool expect(std::uint8_t wanted, std::string_view &content) {
        std::uint8_t tag = 0;
        return next(tag, content) && tag == wanted;
    }
};

std::int64_t signedValue(std::string_view content) {
    if (content.empty()) return 0;
    std::int64_t n = static_cast<std::int8_t>(content[0]);
    for (std::size_t i = 1; i < content.size(); ++i) n = static_cast<std::int64_t>(static_cast<std::uint64_t>(n) << 8 | static_cast<std::uint8_t>(content[i]));
    return n;
}

std::optional<std::string> dottedOid(std::string_view content) {
    if (content.empty()) return std::nullopt;
    std::vector<std::uint64_t> parts;
    std::uint64_t current = 0;
    for (std::size_t i = 0; i < content.size(); ++i) {
        const auto byte = static_cast<std::uint8_t>(content[i]);
        current = current << 7 | (byte & 0x7F);
        if (byte & 0x80) {
            if (i + 1 == content.size()) return std::nullopt;
            continue;
        }
        if (parts.empty()) {
            const std::uint64_t first = current < 40 ? 0 : current < 80 ? 1 : 2;
            parts.push_back(first);
            parts.push_back(current - first * 40);
        } else {
            parts.push_back(current);
        }
        current = 0;
    }
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) text += (i ? "." : "") + std::to_string(parts[i]);
    return text;
}

Request parse(std::string datagram) {
    Request request;
    request.datagram = std::move(datagram);
    Cursor outer{request.datagram};
    std::string_view body, version, community, pdu, id, status, index, list;
    std::uint8_t pduType = 0;
    if (!outer.expect(0x30, body) || !outer.data.empty()) return request;
    Cursor fields{body};
    if (!fields.expect(0x02, version) || !fields.expect(0x04, community) || !fields.next(pduType, pdu) ||
        !fields.data.empty())
        return request;
    Cursor pduFields{pdu};
    if (!pduFields.expect(0x02, id) || !pduFields.expect(0x02, status) || !pduFields.expect(0x02, index) ||
        !pduFields.expect(0x30, list) || !pduFields.data.empty())
        return request;
    Cursor bindings{list};
    std::string_view binding;
    while (!bindings.data.empty()) {
        if (!bindings.expect(0x30, binding)) return request;
        if (request.bindingCount++ > 0) continue;
        Cursor parts{binding};
        std::string_view oidContent, valueContent;
        std::uint8_t valueTag = 0;
        if (!parts.expect(0x06, oidContent) || !parts.next(valueTag, valueContent) || !parts.data.empty())
            return request;
        const auto oid = dottedOid(oidContent);
        if (!oid) return request;
        request.oid = *oid;
        request.value = WireValue::raw(valueTag, std::string(valueContent));
    }
    request.version = signedValue(version);
    request.community = std::string(community);
    request.pduType = pduType;
    request.requestId = static_cast<std::int32_t>(signedValue(id));
    request.errorStatus = static_cast<std::int32_t>(signedValue(status));
    request.errorIndex = static_cast<std::int32_t>(signedValue(index));
    request.wellFormed = true;
    return request;
}

std::string encodeReply(const Reply &reply, const Request &request) {
    if (reply.raw) return *reply.raw;
    std::string bindings;
    if (!reply.noBindings) {
        const WireValue value = reply.value.value_or(request.value);
        bindings = tlv(0x30, tlv(0x06, oidBytes(reply.oid.value_or(request.oid))) + tlv(value.tag, value.content));
    }
    const std::string pdu = tlv(0x02, signedBytes(static_cast<std::int64_t>(request.requestId) + reply.idOffset)) +
                            tlv(0x02, signedBytes(reply.errorStatus)) + tlv(0x02, signedBytes(reply.errorIndex)) +
                            tlv(0x30, bindings);
    std::string message = tlv(0x30, tlv(0x02, signedBytes(reply.version.value_or(request.version))) +
                                        tlv(0x04, reply.community.value_or(request.community)) +
                                        tlv(reply.pduType, pdu));
    message.resize(message.size() - std::min(reply.truncateBy, message.size()));
    return message;
}

int boundSocket(const std::string &address, std::uint16_t port) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1)
        throw std::runtime_error("fault agent: not an IPv4 address: " + address);
    if ((ntohl(local.sin_addr.s_addr) >> 24) != 127)
        throw std::runtime_error("fault agent: loopback addresses only: " + address);
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("fault agent: no socket");
    if (bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0) {
        const int error = errno;
        close(fd);
        throw std::runtime_error("fault agent: cannot bind " + address + ":" + std::to_string(port) + ": " +
                                 std::strerror(error));
    }
    return fd;
}

std::uint16_t agentPort() {
    const char *text = std::getenv("QUORREL_AGENT_PORT");
    int port = 0;
    if (text && *text) {
        const auto end = text + std::strlen(text);
        const auto [stop, error] = std::from_chars(text, end, port);
        if (error == std::errc{} && stop == end && port > 0 && port < 65536) return static_cast<std::uint16_t>(port);
    }
    return 161;
}

} // namespace

WireValue WireValue::integer(std::int64_t n) { return {0x02, signedBytes(n)}; }
WireValue WireValue::octets(std::string bytes) { return {0x04, std::move(bytes)}; }
WireValue WireValue::null() { return {0x05, {}}; }
WireValue WireValue::oid(std::string_view dotted) { return {0x06, oidBytes(dotted)}; }
WireValue WireValue::ipAddress(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    return {0x40, {static_cast<char>(a), static_cast<char>(b), static_cast<char>(c), static_cast<char>(d)}};
}
WireValue WireValue::counter32(std::uint32_t n) { return {0x41, unsignedBytes(n)}; }
WireValue WireValue::gauge32(std::uint32_t n) { return {0x42, unsignedBytes(n)}; }
WireValue WireValue::timeTicks(std::uint32_t n) { return {0x43, unsignedBytes(n)}; }
WireValue WireValue::opaque(std::string bytes) { return {0x44, std::move(bytes)}; }
WireValue WireValue::counter64(std::uint64_t n) { return {0x46, unsignedBytes(n)}; }
WireValue WireValue::raw(std::uint8_t tag, std::string content) { return {tag, std::move(content)}; }
std::int64_t WireValue::asInteger() const { return signedValue(content); }

Step answer(WireValue value) { return Step{{Reply{.value = std::move(value)}}}; }
Step answer(std::string oid, WireValue value) { return Step{{Reply{.value = std::move(value), .oid = std::move(oid)}}}; }
Step silence() { return Step{}; }

FaultAgent::FaultAgent(std::string address, std::string otherAddress)
    : address_(std::move(address)), port_(agentPort()) {
    try {
        fd_ = boundSocket(address_, port_);
        otherAddressFd_ = boundSocket(otherAddress, 0);
        otherPortFd_ = boundSocket(address_, 0);
        wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (wakeFd_ < 0) throw std::runtime_error("fault agent: no eventfd");
    } catch (...) {
        for (int fd : {fd_, otherAddressFd_, otherPortFd_})
            if (fd >= 0) close(fd);
        throw;
    }
    handler_ = [](const Request &) { return Step{{Reply{}}}; };
    thread_ = std::thread([this] { run(); });
}

FaultAgent::~FaultAgent() {
    stopThread();
    for (int fd : {fd_, otherAddressFd_, otherPortFd_, wakeFd_}) close(fd);
}

void FaultAgent::stopThread() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    const std::uint64_t one = 1;
    if (write(wakeFd_, &one, sizeof one) < 0) {
        // the counter is already set: the thread wakes anyway
    }
    if (thread_.joinable()) thread_.join();
}

void FaultAgent::script(Step step) {
    std::lock_guard lock(mutex_);
    script_.push_back(std::move(step));
}

void FaultAgent::setHandler(std::function<Step(const Request &)> handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

void FaultAgent::setDefault(Step step) {
    setHandler([step](const Request &) { return step; });
}

std::vector<Request> FaultAgent::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::size_t FaultAgent::requestCount() const {
    std::lock_guard lock(mutex_);
    return requests_.size();
}

bool FaultAgent::waitForRequests(std::size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, limit, [&] { return requests_.size() >= count; });
}

void FaultAgent::clearRequests() {
    std::lock_guard lock(mutex_);
    requests_.clear();
}

void FaultAgent::transmit(const Outgoing &out) {
    sendto(out.fd, out.bytes.data(), out.bytes.size(), 0, reinterpret_cast<const sockaddr *>(&out.to), sizeof out.to);
}

void FaultAgent::run() {
    std::string buffer(65536, '\0');
    while (true) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) return;
        }
        // Send what is due, in the order it was scheduled.
        const auto now = Clock::now();
        std::stable_sort(pending_.begin(), pending_.end(),
                         [](const Outgoing &a, const Outgoing &b) { return a.due < b.due || (a.due == b.due && a.order < b.order); });
        while (!pending_.empty() && pending_.front().due <= now) {
            transmit(pending_.front());
            pending_.erase(pending_.begin());
        }
        int timeoutMs = -1;
        if (!pending_.empty())
            timeoutMs = static_cast<int>(std::max<long long>(
                0, std::chrono::ceil<std::chrono::milliseconds>(pending_.front().due - Clock::now()).count()));
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        poll(fds, 2, timeoutMs);
        if (fds[1].revents & POLLIN) {
            std::uint64_t count = 0;
            if (read(wakeFd_, &count, sizeof count) < 0) {
                // nothing to reset
            }
        }
        if (!(fds[0].revents & POLLIN)) continue;
        while (true) {
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const auto got =
                recvfrom(fd_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr *>(&from), &fromLength);
            if (got < 0) break;
            try {
                handle(buffer.substr(0, static_cast<std::size_t>(got)), from);
            } catch (const std::exception &) {
                // a broken script (an OID that is no OID): that request goes unanswered
            }
        }
    }
}

void FaultAgent::handle(std::string datagram, const sockaddr_in &from) {
    Request request = parse(std::move(datagram));
    // Replies held back for an earlier request go out first, whatever this datagram is.
    for (const auto &out : held_) transmit(out);
    held_.clear();

    std::optional<Step> step;
    std::function<Step(const Request &)> handler;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
        if (request.wellFormed) {
            if (!script_.empty()) {
                step = std::move(script_.front());
                script_.pop_front();
            } else {
                handler = handler_;
            }
        }
    }
    arrived_.notify_all();
    if (!request.wellFormed) return;
    if (!step) step = handler(request);

    const auto due = Clock::now() + step->delay;
    for (const Reply &reply : step->replies) {
        const int fd = reply.from == Source::Agent          ? fd_
                       : reply.from == Source::OtherAddress ? otherAddressFd_
                                                            : otherPortFd_;
        Outgoing out{due, order_++, fd, from, encodeReply(reply, request)};
        if (reply.holdUntilNextRequest) held_.push_back(std::move(out));
        else if (step->delay.count() == 0) transmit(out);
        else pending_.push_back(std::move(out));
    }
}

} // namespace meterlane::test
