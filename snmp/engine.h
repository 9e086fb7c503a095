// The request engine: opens and closes transport sessions, turns one request (type, OID text, value) into a
// one-binding SNMP message, waits for its completion and renders the first binding of the reply as text. Every
// operation answers with text: "Successful", the value read, or a "[Vantobe.Mod." message.
#pragma once

#include "transport.h"
#include "variant.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quorrel::engine {

using SessionHandle = transport::SessionId;

// Values shared by every session object of the process.
struct LibraryValues {
    std::string agent;
    std::string commStr;
    std::int16_t timeout = 2000;
    std::int16_t retry = 3;
    std::string localAddress = "127.0.0.1";
    std::string lastReplyOid; // OID of the last reply decoded, or a failure text
};
LibraryValues &library();

std::string openSession(SessionHandle &handle);
std::string closeSession(SessionHandle &handle);

// One request and its reply: the value text, or a message.
std::string exchange(SessionHandle handle, std::uint8_t pduType, std::string_view oidText, const Variant &value);

// The host's hook that keeps it responsive during a wait; called at least every 100 ms while a reply is awaited.
void setEventPump(void (*pump)(void *context), void *context);

// How a reply value reads as text (exposed for tests).
std::string renderValue(const ber::Value &value);

} // namespace quorrel::engine
