// E-mail out through libcurl's SMTP (TLS, STARTTLS, authentication, the envelope), never an SMTP client of our own,
// driven by libcurl's multi interface from the Qt event loop: a send returns at once and its outcome comes later as a
// call, so that neither the window nor a cycle waits for a mail server. No proxy is used for mail.
#pragma once

#include "delivery.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace alerts {

struct MailServer {
    QUrl server;           // smtp://host:587 (STARTTLS, required whenever user is set) or smtps://host:465
    QString user, password; // no login without a user
    bool verify = true;    // check the server's certificate and name
    QString caFile;        // PEM authorities to trust instead of the system's; empty: the system's
    std::chrono::milliseconds timeLimit = DeliveryTimeLimit;
};

// Sends message (a whole RFC 5322 message, CR LF line ends) from the envelope sender from to every address of to;
// delivered hears the outcome once, from the event loop, never from within this call. A password is never sent
// without TLS: with a user, the connection must be smtps or STARTTLS must succeed, else the outcome is a channel fault.
// One recipient refused refuses the message for all of them (none gets it, so a message tried again never arrives
// twice): a 5xx is a refusal for good, a 4xx a retry. A sender refused is the channel's fault.
void sendMail(const MailServer &server, const QString &from, const QStringList &to, const QByteArray &message,
              Delivered delivered);

// Mail sends handed over whose outcome has not come yet.
int mailsInFlight();

} // namespace alerts
