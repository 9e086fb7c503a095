// The outbox file as the program reads it: whatever it accepts, it writes back so that it reads and writes the same
// again.
#include "upload/outbox.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size) {
    const auto readings = upload::parseOutbox(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (!readings) return 0;
    const QByteArray written = upload::serializeOutbox(*readings);
    const auto again = upload::parseOutbox(written);
    if (readings->size() > upload::OutboxCapacity || !again || upload::serializeOutbox(*again) != written)
        std::abort();
    return 0;
}
