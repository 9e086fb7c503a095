// Texts a caller hands the library: OIDs, numbers, and strings bound for the wire's code page.
#include "ber.h"
#include "codepage.h"
#include "variant.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    if (const auto oid = quorrel::ber::parseOid(text)) {
        if (quorrel::ber::parseOid(quorrel::ber::formatOid(*oid)) != oid) std::abort();
    }
    if (quorrel::readNumber(text)) {
        try {
            quorrel::toInt32(std::string(text));
        } catch (const quorrel::Fault &) {
        }
    }
    if (quorrel::codepage::toUtf8(quorrel::codepage::fromUtf8Lossy(text)).empty() != text.empty()) std::abort();
    if (const auto bytes = quorrel::codepage::fromUtf8(text)) {
        if (quorrel::codepage::toUtf8(*bytes) != text) std::abort();
    }
    return 0;
}
