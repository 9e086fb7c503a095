// Version 3 and 2c replies as an agent (or anyone on the network) may send them, through the checks a request
// applies to them: the discovery's, a user's without and with authentication and privacy, and the rendering of a
// 2c reply's bindings (exceptions, Counter64, GetBulk's many). A reply from the known engine is signed right before
// the authenticated user's check, so that the time window, the decryption and the scoped PDU behind it are reached.
#include "ber.h"
#include "engine.h"
#include "security.h"
#include "usm.h"

#include <arpa/inet.h>

namespace {

using namespace quorrel;

const std::string EngineId("\x80\x00\x1f\x88\x80\xaa\xbb\xcc\xdd", 9); // the seeds' agent's

const security::User PlainUser{"fuzz", usm::Auth::None, "", usm::Priv::None, "", ""};
const security::User PrivateUser{"fuzz", usm::Auth::Sha1, "authentic passphrase", usm::Priv::Aes128,
                                 "private passphrase", ""};

sockaddr_in agentAddress() {
    sockaddr_in agent{};
    agent.sin_family = AF_INET;
    agent.sin_port = htons(161);
    agent.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return agent;
}

// Every binding read as text, and as exact bytes.
void render(const std::vector<ber::VarBind> &bindings) {
    engine::Options text, exact;
    text.version = exact.version = engine::Version::V2c;
    exact.octetsAsHex = true;
    for (const auto &binding : bindings) {
        ber::formatOid(binding.oid);
        if (!binding.value.readable) continue;
        engine::renderValue(binding.value, text);
        engine::renderValue(binding.value, exact);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const sockaddr_in agent = agentAddress();
    const std::string_view datagram(reinterpret_cast<const char *>(data), size);
    // The agent's clock stands where the seeds' replies put it.
    security::learnEngine(agent, {EngineId, 1, 1});

    if (const auto message = ber::decode(datagram)) render(message->pdu.bindings);
    if (const auto discovered = security::acceptDiscovery(1, datagram)) render(discovered->pdu.bindings);
    std::size_t authOffset = 0;
    const auto message = ber::decodeV3(datagram, &authOffset);
    if (!message) return 0;
    if (const auto reply = security::acceptReply(PlainUser, agent, message->msgId, datagram))
        render(reply->pdu.bindings);
    const std::string &digest = message->security.authParameters;
    if (message->security.engineId != EngineId || digest.size() != usm::digestLength(PrivateUser.auth)) return 0;
    std::string signedDatagram(datagram);
    signedDatagram.replace(authOffset, digest.size(), digest.size(), '\0');
    const std::string key = usm::localizedKey(PrivateUser.auth, PrivateUser.authPassphrase, EngineId);
    signedDatagram.replace(authOffset, digest.size(), usm::digest(PrivateUser.auth, key, signedDatagram));
    if (const auto reply = security::acceptReply(PrivateUser, agent, message->msgId, signedDatagram))
        render(reply->pdu.bindings);
    return 0;
}
