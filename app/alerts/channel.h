// The roads alerts take, as the site names them in alerts.ini, and which events each one takes. The program never
// writes the file; it may hold passwords and tokens, so it is said once when others can read it, and no secret is
// ever repeated in a problem, the log or a listing.
//
//     [Mail desk]                       ; a channel named "desk"
//     Server=smtp://mail.example.net:587 ; STARTTLS (required with User), or smtps://host:465
//     User=meterlane
//     Password=...                      ; or PasswordFile=/etc/meterlane/mail-password
//     From=meterlane@example.net
//     To=desk@example.net, tech@example.net
//     Verify=yes                        ; check the server's certificate; CAFile= authorities instead of the system's
//
//     [Webhook tickets]
//     URL=https://tickets.example.net/hook
//     Header=Authorization: Bearer ...  ; Header2=, Header3= ... for more
//
//   and in either: MinimumSeverity=warning (critical, warning, notice), Kinds= / SkipKinds= (condition kinds), Hosts=
//   (addresses, ranges or blocks, as in the credentials file), Clears=yes (also the "resolved" messages),
//   SummaryAt=07:30 (the daily summary's local time; none without it).
#pragma once

#include "mailer.h"
#include "message.h"
#include "webhook.h"

#include "store/snmpprofiles.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>

#include <optional>

namespace alerts {

enum class Road { Mail, Webhook };

struct Channel {
    QString name; // the section's name after "Mail " or "Webhook "
    Road road = Road::Mail;
    MailServer mail;
    QString from;
    QStringList to;
    WebhookTarget webhook;
    int minimumSeverity = 2; // 1 notice, 2 warning, 3 critical
    QStringList kinds, skipKinds;
    QString hosts; // as written; empty: every printer
    QList<store::AddressBlock> blocks;
    bool clears = true;
    std::optional<QTime> summaryAt;

    // Whether the channel is told of event.
    bool takes(const ConditionEvent &event) const;
    // "mail desk", "webhook tickets"
    QString title() const;
    // Where it sends, with nothing secret: the mail server and its recipients, or the webhook's address without its
    // query and its header lines with their values masked.
    QString target() const;
    // The message as the channel's road carries it: the whole mail to its recipients, or the webhook's JSON.
    QByteArray write(const QString &id, const QDateTime &created, const Content &content) const;
    // Hands body (the whole mail, or the webhook's JSON) to the channel's road; delivered hears how it went.
    void send(const QByteArray &body, Delivered delivered) const;
};

struct Channels {
    QList<Channel> channels;
    QStringList problems; // each value or section not used and why; never a secret
    bool holdsSecrets = false;

    const Channel *find(const QString &name) const;
};

// The channels of an alerts file's bytes; a PasswordFile is read from where it is named (relative: beside folder).
Channels parseChannels(const QByteArray &bytes, const QString &folder = {});

// The channels in effect, read again when the file changes. Problems, and a file with secrets that others can read,
// are said (log and standard error) once per reading of the file.
Channels channels();

} // namespace alerts
