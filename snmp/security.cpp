#include "security.h"

#include <openssl/crypto.h>

#include <chrono>
#include <map>
#include <mutex>

namespace quorrel::security {
namespace {

using Clock = std::chrono::steady_clock;

// RFC 3414 3.2 step 7: a reply older than this, by the agent's clock as we know it, is a replay.
constexpr std::uint32_t TimeWindowSeconds = 150;
constexpr std::uint32_t LargestBoots = 2147483647;

struct KnownEngine {
    Engine engine;                   // as learnt
    std::uint32_t latestReceivedTime; // the largest time of an authenticated reply at these boots
    Clock::time_point learnt;
};

std::mutex enginesMutex;
std::map<std::uint64_t, KnownEngine> engines;

std::uint64_t keyOf(const sockaddr_in &agent) {
    return std::uint64_t{agent.sin_addr.s_addr} << 16 | agent.sin_port;
}

// The engine's time now: as learnt, plus the seconds since (the agent's clock runs as ours does).
std::uint32_t timeNow(const KnownEngine &known) {
    const auto passed = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - known.learnt).count();
    return static_cast<std::uint32_t>(std::min<std::int64_t>(known.engine.time + passed, LargestBoots));
}

std::uint8_t levelOf(const User &user) {
    return (user.auth != usm::Auth::None ? ber::Authenticated : 0) | (user.priv != usm::Priv::None ? ber::Private : 0);
}

bool authentic(const User &user, const ber::MessageV3 &message, std::string_view datagram, std::size_t authOffset) {
    const ber::UsmParameters &security = message.security;
    const std::string &received = security.authParameters;
    if (user.auth == usm::Auth::None || security.userName != user.name ||
        received.size() != usm::digestLength(user.auth))
        return false;
    const std::string key = usm::localizedKey(user.auth, user.authPassphrase, security.engineId);
    if (key.empty()) return false;
    std::string zeroed(datagram);
    zeroed.replace(authOffset, received.size(), received.size(), '\0');
    const std::string expected = usm::digest(user.auth, key, zeroed);
    return expected.size() == received.size() && CRYPTO_memcmp(expected.data(), received.data(), received.size()) == 0;
}

std::optional<ber::ScopedPdu> plainScoped(const User &user, ber::MessageV3 &message) {
    if (!(message.flags & ber::Private)) return std::move(message.scoped);
    const ber::UsmParameters &security = message.security;
    const std::string key = usm::privacyKey(user.auth, user.priv, user.privPassphrase, security.engineId);
    if (key.empty()) return std::nullopt;
    const auto plain = usm::decrypt(user.priv, key, static_cast<std::uint32_t>(security.boots),
                                    static_cast<std::uint32_t>(security.time), security.privParameters,
                                    message.encrypted);
    if (!plain) return std::nullopt;
    return ber::decodeScopedPdu(*plain);
}

// A report that the agent's time is not what the request said: it carries the agent's own boots and time, which the
// time window cannot judge.
bool isNotInTimeWindowReport(const ber::Pdu &pdu) {
    static const ber::Oid NotInTimeWindows = {1, 3, 6, 1, 6, 3, 15, 1, 1, 2, 0};
    return pdu.type == ber::Report && !pdu.bindings.empty() && pdu.bindings[0].oid == NotInTimeWindows;
}

// RFC 3414 3.2 step 7b: a later time moves our notion of the agent's clock on; one outside the window is refused.
bool inTimeWindow(const sockaddr_in &agent, const ber::UsmParameters &security) {
    const auto boots = static_cast<std::uint32_t>(security.boots), time = static_cast<std::uint32_t>(security.time);
    std::lock_guard lock(enginesMutex);
    const auto it = engines.find(keyOf(agent));
    if (it == engines.end() || it->second.engine.id != security.engineId) return false;
    KnownEngine &known = it->second;
    const std::uint32_t knownBoots = known.engine.boots, knownTime = timeNow(known);
    if (boots > knownBoots || (boots == knownBoots && time > known.latestReceivedTime))
        known = {{security.engineId, boots, time}, time, Clock::now()};
    return boots != LargestBoots && boots >= knownBoots && !(boots == knownBoots && time + TimeWindowSeconds < knownTime);
}

} // namespace

bool usable(const User &user) {
    const bool authenticates = user.auth != usm::Auth::None, encrypts = user.priv != usm::Priv::None;
    return user.name.size() <= MaxAdminString && user.context.size() <= MaxAdminString &&
           (!encrypts || authenticates) && (!authenticates || !user.authPassphrase.empty()) &&
           (!encrypts || !user.privPassphrase.empty());
}

std::optional<Engine> knownEngine(const sockaddr_in &agent) {
    std::lock_guard lock(enginesMutex);
    const auto it = engines.find(keyOf(agent));
    if (it == engines.end()) return std::nullopt;
    return Engine{it->second.engine.id, it->second.engine.boots, timeNow(it->second)};
}

void learnEngine(const sockaddr_in &agent, const Engine &engine) {
    std::lock_guard lock(enginesMutex);
    engines[keyOf(agent)] = {engine, engine.time, Clock::now()};
}

void forgetEngine(const sockaddr_in &agent) {
    std::lock_guard lock(enginesMutex);
    engines.erase(keyOf(agent));
}

std::string discoveryRequest(std::int32_t id) {
    ber::MessageV3 message;
    message.msgId = id;
    message.flags = ber::Reportable;
    message.scoped.pdu.type = ber::GetRequest;
    message.scoped.pdu.requestId = id;
    return ber::encode(message);
}

std::optional<transport::Reply> acceptDiscovery(std::int32_t id, std::string_view datagram) {
    auto message = ber::decodeV3(datagram);
    if (!message || message->msgId != id || (message->flags & (ber::Authenticated | ber::Private))) return std::nullopt;
    ber::Pdu &pdu = message->scoped.pdu;
    if (pdu.type != ber::Report && pdu.type != ber::GetResponse) return std::nullopt;
    return transport::Reply{std::move(pdu), message->flags, std::move(message->security)};
}

std::optional<std::string> request(const User &user, const Engine &engine, std::int32_t id, ber::Pdu pdu) {
    pdu.requestId = id;
    ber::MessageV3 message;
    message.msgId = id;
    message.flags = ber::Reportable | levelOf(user);
    message.security = {engine.id, static_cast<std::int32_t>(engine.boots), static_cast<std::int32_t>(engine.time),
                        user.name, std::string(usm::digestLength(user.auth), '\0'), {}};
    ber::ScopedPdu scoped{engine.id, user.context, std::move(pdu)};
    if (user.priv != usm::Priv::None) {
        const std::string key = usm::privacyKey(user.auth, user.priv, user.privPassphrase, engine.id);
        const auto cipher = key.empty() ? std::nullopt
                                        : usm::encrypt(user.priv, key, engine.boots, engine.time, ber::encode(scoped),
                                                       message.security.privParameters);
        if (!cipher) return std::nullopt;
        message.encrypted = *cipher;
    } else {
        message.scoped = std::move(scoped);
    }
    std::size_t authOffset = 0;
    std::string datagram = ber::encode(message, &authOffset);
    if (user.auth == usm::Auth::None) return datagram;
    const std::string key = usm::localizedKey(user.auth, user.authPassphrase, engine.id);
    if (key.empty()) return std::nullopt;
    const std::string digest = usm::digest(user.auth, key, datagram);
    datagram.replace(authOffset, digest.size(), digest);
    return datagram;
}

std::optional<transport::Reply> acceptReply(const User &user, const sockaddr_in &agent, std::int32_t id,
                                            std::string_view datagram) {
    std::size_t authOffset = 0;
    auto message = ber::decodeV3(datagram, &authOffset);
    if (!message || message->msgId != id) return std::nullopt;
    // Only the engine the request went to may sign its reply: a key is localised for no other.
    const bool authenticated = message->flags & ber::Authenticated;
    if (authenticated) {
        const auto engine = knownEngine(agent);
        if (!engine || engine->id != message->security.engineId || !authentic(user, *message, datagram, authOffset))
            return std::nullopt;
    }
    auto scoped = plainScoped(user, *message);
    if (!scoped) return std::nullopt;
    ber::Pdu &pdu = scoped->pdu;
    const bool answers = pdu.type == ber::Report || (pdu.type == ber::GetResponse && pdu.requestId == id &&
                                                     (message->flags & (ber::Authenticated | ber::Private)) ==
                                                         levelOf(user));
    if (!answers) return std::nullopt;
    if (authenticated && !isNotInTimeWindowReport(pdu) && !inTimeWindow(agent, message->security)) return std::nullopt;
    return transport::Reply{std::move(pdu), message->flags, std::move(message->security)};
}

} // namespace quorrel::security
