// A scriptable SNMP v1 agent for tests, in process: one thread, a UDP socket on a loopback address and the agent
// port (161, or QUORREL_AGENT_PORT). It records every request it receives and answers each one as the test
// scripted it: a value of any syntax, an error status, silence, late or duplicate replies, wrong request ids,
// replies from another address or port, truncated or garbage datagrams, other versions or PDU types.
//
// It reads requests and writes replies with its own small BER code, independent of the library under test, so
// that a fault in the library's codec cannot hide itself on both ends.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace meterlane::test {

// One value as it travels: the tag and the content bytes. The factories encode in the shortest BER form.
struct WireValue {
    std::uint8_t tag = 0x05;
    std::string content;

    static WireValue integer(std::int64_t n);
    static WireValue octets(std::string bytes);
    static WireValue null();
    static WireValue oid(std::string_view dotted);
    static WireValue ipAddress(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d);
    static WireValue counter32(std::uint32_t n);
    static WireValue gauge32(std::uint32_t n);
    static WireValue timeTicks(std::uint32_t n);
    static WireValue opaque(std::string bytes);
    static WireValue counter64(std::uint64_t n);
    static WireValue raw(std::uint8_t tag, std::string content = {}); // any tag: exceptions, unknown syntaxes

    // The content read as a signed two's complement number (meaningful for INTEGER).
    std::int64_t asInteger() const;

    bool operator==(const WireValue &) const = default;
};

// One request as it arrived. When it could not be parsed only `datagram` is set.
struct Request {
    std::string datagram;
    bool wellFormed = false;
    std::int64_t version = -1;
    std::string community;
    std::uint8_t pduType = 0;
    std::int32_t requestId = 0;
    std::int32_t errorStatus = 0;
    std::int32_t errorIndex = 0;
    std::size_t bindingCount = 0;
    std::string oid; // of the first binding, dotted
    WireValue value; // of the first binding
};

// Where a reply leaves from: the agent's own socket, a socket on the other loopback address, or a socket on the
// agent's address with another port.
enum class Source { Agent, OtherAddress, OtherPort };

// One datagram sent in answer to a request. Defaults give a correct GetResponse that echoes the request's binding.
struct Reply {
    std::optional<WireValue> value = std::nullopt; // nullopt: the request's own value
    std::optional<std::string> oid = std::nullopt; // nullopt: the request's OID
    bool noBindings = false;            // an empty variable binding list
    std::int32_t errorStatus = 0;
    std::int32_t errorIndex = 0;
    std::optional<std::int32_t> version = std::nullopt; // nullopt: the request's version
    std::uint8_t pduType = 0xA2;
    std::int32_t idOffset = 0;          // added to the request's id
    std::optional<std::string> community = std::nullopt; // nullopt: the request's community
    std::optional<std::string> raw = std::nullopt; // these bytes instead of a message
    std::size_t truncateBy = 0;         // bytes cut off the end of the datagram
    Source from = Source::Agent;
    bool holdUntilNextRequest = false;  // sent when the next request arrives, before anything for that request
};

// What to do with one request: the replies, in order (none: stay silent), after an optional delay.
struct Step {
    std::vector<Reply> replies;
    std::chrono::milliseconds delay{0};
};

// Shorthands for the usual steps.
Step answer(WireValue value);
Step answer(std::string oid, WireValue value);
Step silence();

class FaultAgent {
public:
    // Binds `address` on the agent port and a second socket on `otherAddress`; throws std::runtime_error when a
    // socket cannot be made.
    explicit FaultAgent(std::string address, std::string otherAddress = "127.0.0.254");
    ~FaultAgent();
    FaultAgent(const FaultAgent &) = delete;
    FaultAgent &operator=(const FaultAgent &) = delete;

    // Steps are taken one per well-formed request received (retransmissions included), in the order given.
    void script(Step step);
    // What to do once the script is used up; the initial handler answers every request with an echo.
    void setHandler(std::function<Step(const Request &)> handler);
    void setDefault(Step step);

    std::vector<Request> requests() const;
    std::size_t requestCount() const;
    // Waits until at least `count` requests have arrived; false when the time ran out.
    bool waitForRequests(std::size_t count, std::chrono::milliseconds limit) const;
    void clearRequests();

    const std::string &address() const { return address_; }
    std::uint16_t port() const { return port_; }

private:
    struct Outgoing {
        std::chrono::steady_clock::time_point due;
        std::uint64_t order;
        int fd;
        sockaddr_in to;
        std::string bytes;
    };

    void run();
    void handle(std::string datagram, const sockaddr_in &from);
    static void transmit(const Outgoing &out);
    void stopThread();

    std::string address_;
    std::uint16_t port_ = 161;
    int fd_ = -1, otherAddressFd_ = -1, otherPortFd_ = -1, wakeFd_ = -1;

    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::deque<Step> script_;
    std::function<Step(const Request &)> handler_;
    std::vector<Request> requests_;
    bool stopping_ = false;

    // Touched by the agent thread only.
    std::vector<Outgoing> pending_;
    std::vector<Outgoing> held_;
    std::uint64_t order_ = 0;
    std::thread thread_;
};

// Sets the transport's time-out and retries (read when a session opens) and puts the previous environment back
// when it goes, so that later tests in the same process run with the settings they were started with.
class TransportSettings {
public:
    TransportSettings() : timeout_(saved("QUORREL_TIMEOUT_MS")), retries_(saved("QUORREL_RETRIES")) {}
    TransportSettings(int timeoutMs, int retries) : TransportSettings() { set(timeoutMs, retries); }
    ~TransportSettings() {
        restore("QUORREL_TIMEOUT_MS", timeout_);
        restore("QUORREL_RETRIES", retries_);
    }
    TransportSettings(const TransportSettings &) = delete;
    TransportSettings &operator=(const TransportSettings &) = delete;

    static void set(int timeoutMs, int retries) {
        setenv("QUORREL_TIMEOUT_MS", std::to_string(timeoutMs).c_str(), 1);
        setenv("QUORREL_RETRIES", std::to_string(retries).c_str(), 1);
    }

private:
    static std::optional<std::string> saved(const char *name) {
        const char *value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    }
    static void restore(const char *name, const std::optional<std::string> &value) {
        if (value) setenv(name, value->c_str(), 1);
        else unsetenv(name);
    }
    std::optional<std::string> timeout_, retries_;
};

} // namespace meterlane::test
