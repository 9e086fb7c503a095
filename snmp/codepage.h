// Windows-1252, the single-byte code page in which SNMP strings, communities and set values cross the wire.
// One byte is one character both ways; the five bytes the code page leaves undefined map to the C1 controls of
// the same number, so every byte string survives a round trip.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorrel::codepage {

// Bytes in the code page to UTF-8.
std::string toUtf8(std::string_view bytes);

// UTF-8 to the code page; nullopt when a character has no place in it or the UTF-8 is broken.
std::optional<std::string> fromUtf8(std::string_view utf8);

// UTF-8 to the code page with '?' for each character that has no place in it (as the platform's conversion does).
std::string fromUtf8Lossy(std::string_view utf8);

} // namespace quorrel::codepage
