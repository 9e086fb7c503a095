// How a message handed to a mail server or a webhook ended, as the alerts outbox acts on it: taken; to be tried
// again later (no connection, no answer in time, a passing refusal); refused for good (the message is dropped, once);
// or refused for a fault of the channel's own (a login, a certificate, an address that redirects), which keeps the
// message waiting and names the failure until the channel is mended.
#pragma once

#include <QString>

#include <chrono>
#include <functional>

namespace alerts {

enum class Outcome { Accepted, Retry, Refused, ChannelFault };

struct Delivery {
    Outcome outcome = Outcome::Retry;
    QString detail; // what the server or the connection said; empty when taken
};

using Delivered = std::function<void(const Delivery &delivery)>;

// How long a server may take to take a message before it counts as not answering.
constexpr std::chrono::seconds DeliveryTimeLimit{30};

} // namespace alerts
