// Datagrams as an agent (or anyone on the network) may send them: decoded, rendered, and re-encoded. A message
// that decodes must encode back to something that decodes to the same message.
#include "ber.h"
#include "engine.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view datagram(reinterpret_cast<const char *>(data), size);
    const auto message = quorrel::ber::decode(datagram);
    if (!message) return 0;
    for (const auto &binding : message->pdu.bindings) {
        quorrel::ber::formatOid(binding.oid);
        if (binding.value.readable) quorrel::engine::renderValue(binding.value);
    }
    const auto again = quorrel::ber::decode(quorrel::ber::encode(*message));
    if (!again || again->pdu.bindings.size() != message->pdu.bindings.size() ||
        again->pdu.requestId != message->pdu.requestId || again->community != message->community)
        std::abort();
    return 0;
}
