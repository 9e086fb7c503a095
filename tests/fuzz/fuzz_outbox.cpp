// The outbox file as the program reads it: whatever it accepts, it writes back so that it reads the same again.
#include "upload/outbox.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size) {
    const auto readings = upload::parseOutbox(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (!readings) return 0;
    if (readings->size() > upload::OutboxCapacity || upload::parseOutbox(upload::serializeOutbox(*readings)) != readings)
        std::abort();
    return 0;
}
