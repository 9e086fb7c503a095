// The manager's side of SNMPv3's user-based security model: what it knows of each agent's engine (its ID, boots and
// time, learnt by discovery and from authenticated replies, the time moved on by the local clock since), the requests
// of a user (scoped, encrypted, authenticated) and the check of their replies. A reply is authenticated over the raw
// datagram before anything of it is used, then checked for the time window, decrypted, and must answer the request:
// a response at the request's own security level with its request id, or a report (the agent's refusal, which it may
// send at a lower level because it could not authenticate the request).
#pragma once

#include "ber.h"
#include "transport.h"
#include "usm.h"

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorrel::security {

// A user as the requests name it; the security level follows from the protocols set.
struct User {
    std::string name;
    usm::Auth auth = usm::Auth::None;
    std::string authPassphrase;
    usm::Priv priv = usm::Priv::None;
    std::string privPassphrase;
    std::string context;
};

// Longest user and context name the protocol carries.
constexpr std::size_t MaxAdminString = 32;

// A user that can make requests: names within their limits, privacy only with authentication, a passphrase for each
// protocol set.
bool usable(const User &user);

// An agent's engine, its time as the agent's clock stands now.
struct Engine {
    std::string id;
    std::uint32_t boots = 0;
    std::uint32_t time = 0;
};

// The agent's engine as last learnt, the time moved on by the seconds passed since; nothing when not known.
std::optional<Engine> knownEngine(const sockaddr_in &agent);
void learnEngine(const sockaddr_in &agent, const Engine &engine);
void forgetEngine(const sockaddr_in &agent);

// Engine discovery: a reportable noAuthNoPriv get without bindings, naming neither engine nor user, whose answer (a
// report) carries the agent's engine ID, boots and time.
std::string discoveryRequest(std::int32_t id);
std::optional<transport::Reply> acceptDiscovery(std::int32_t id, std::string_view datagram);

// The user's request to the engine, with msgID and request id `id`; nothing when a key or the cipher is missing.
std::optional<std::string> request(const User &user, const Engine &engine, std::int32_t id, ber::Pdu pdu);

// The user's reply to the request `id` from agent, checked as the file's comment says; nothing to drop it. An
// authenticated reply moves the agent's known engine time on.
std::optional<transport::Reply> acceptReply(const User &user, const sockaddr_in &agent, std::int32_t id,
                                            std::string_view datagram);

} // namespace quorrel::security
