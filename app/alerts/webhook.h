// Webhooks out through Qt Network: one JSON POST per message, following no redirect, through the proxies the uploads
// use (the environment's http_proxy, https_proxy and no_proxy), and answered within the delivery time limit.
#pragma once

#include "delivery.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QUrl>

namespace alerts {

struct WebhookTarget {
    QUrl url{};                                     // http or https
    QList<QPair<QByteArray, QByteArray>> headers{}; // extra header lines (a token), name and value
    bool verify = true;                             // check the server's certificate and name
    QString caFile{};                               // PEM authorities to trust instead of the system's
    std::chrono::milliseconds timeLimit = DeliveryTimeLimit;
};

// POSTs body with Content-Type application/json; delivered hears the outcome once, from the event loop. Any 2xx is
// taken; 408, 429 and 5xx, no connection or no answer in time are tried again; 401, 403 and 407 (a token refused), a
// 3xx (a redirect, not followed) or a certificate the channel does not trust are the channel's fault; any other 4xx
// is refused for good.
void postWebhook(const WebhookTarget &target, const QByteArray &body, Delivered delivered);

// Webhook posts handed over whose outcome has not come yet.
int webhooksInFlight();

} // namespace alerts
