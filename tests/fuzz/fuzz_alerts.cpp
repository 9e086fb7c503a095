// The alerts outbox file and the channels of alerts.ini as the program reads them: an outbox it accepts it writes
// back so that it reads and writes the same again; a channel it accepts has an address of its road's schemes.
#include "alerts/alertoutbox.h"
#include "alerts/channel.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    if (const auto outbox = alerts::parseAlertOutbox(bytes)) {
        const QByteArray written = alerts::serializeAlertOutbox(*outbox);
        const auto again = alerts::parseAlertOutbox(written);
        if (outbox->messages.size() > alerts::AlertOutboxCapacity || !again || *again != *outbox) std::abort();
    }
    const alerts::Channels parsed = alerts::parseChannels(bytes);
    for (const alerts::Channel &channel : parsed.channels) {
        const QString scheme = (channel.road == alerts::Road::Mail ? channel.mail.server : channel.webhook.url).scheme();
        const QStringList schemes = channel.road == alerts::Road::Mail ? QStringList{"smtp", "smtps"}
                                                                       : QStringList{"http", "https"};
        if (!schemes.contains(scheme.toLower())) std::abort();
    }
    return 0;
}
