// What an alert says, and how it is written for each road: a JSON object for webhooks, a plain-text e-mail
// (RFC 5322, UTF-8) for mail. Everything a printer sends (model, description, condition text, panel lines) is only
// ever a value: a header's value has its line ends removed and is encoded as RFC 2047 says, the body cannot end the
// headers, and the JSON is written by Qt's JSON writer, so no printer text can add a header or break the object.
//
// The webhook body (documented in the README):
//   {"id": "3f0c...", "type": "conditions" | "summary" | "test", "created": "2026-12-09T14:05:00Z",
//    "site": {"customer": "C123", "computer": "print-server"},
//    "channel": "desk",
//    "events": [{"event": "raised" | "cleared", "severity": "critical" | "warning" | "notice",
//                "kind": "jam", "unit": "", "text": "Paper jam", "since": "...Z", "cleared": null | "...Z",
//                "panel": ["Jam in tray 2"],
//                "printer": {"host": "...", "address": "...", "model": "...", "identity": "...",
//                            "description": "..."}}],
//    "summary": null | {"from": "...Z", "until": "...Z", "printers": 19, "read": 18,
//                       "notAnswering": [{"printer": {...}, "since": "...Z"}],
//                       "conditions": [event objects as above, "event": "active"],
//                       "supplies": [{"printer": {...}, "supply": "black toner", "percent": 8 | null,
//                                     "state": "low", "receptacle": false, "daysLeft": 12 | null}],
//                       "waitingReadings": 0}}
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace alerts {

// A printer as alerts name it.
struct PrinterNames {
    QString host, address, model, identity, description;
};

// A condition raised or cleared (after its debouncing), or active (in a summary).
struct ConditionEvent {
    PrinterNames printer;
    bool raised = true;
    QString kind, unit, text;
    int severity = 2;   // 1 notice, 2 warning, 3 critical
    QDateTime since;    // UTC: first shown
    QDateTime cleared;  // UTC: when it was cleared; invalid for a raise or an active one
    QStringList panel;  // the printer's panel text, where it shows one
};

// A supply at or below its threshold, for the daily summary.
struct LowSupply {
    PrinterNames printer;
    QString supply;              // "black toner", "drum", "waste toner box"
    std::optional<int> percent;  // left of a consumed supply, fill of a receptacle
    QString state;               // as the supplies read names it: low, empty, nearly full, full, ...
    bool receptacle = false;
    std::optional<int> daysLeft; // to empty (or to full); nothing: not yet known
};

struct SilentPrinter {
    PrinterNames printer;
    QDateTime since; // UTC
};

// The site's day, sent at a channel's SummaryAt: its sign of life.
struct Summary {
    QDateTime from, until;        // UTC: the day it covers
    int printers = 0;             // monitored
    int read = 0;                 // of them, answered within the day
    QList<SilentPrinter> notAnswering;
    QList<ConditionEvent> active; // raised now
    QList<LowSupply> supplies;
    int waitingReadings = 0;      // in the readings' outbox
};

enum class MessageType { Conditions, Summary, Test };
QString typeName(MessageType type); // "conditions", "summary", "test"

// The site a message comes from: its customer code and the computer's name.
struct Site {
    QString customer, computer;
};

struct Content {
    MessageType type = MessageType::Conditions;
    Site site;
    QString channel;              // the channel's name
    QList<ConditionEvent> events; // conditions: every raise and clear of one poll or cycle
    Summary summary;              // summary
};

// A new message id: a UUID without braces, unique to the message and kept with it across resends.
QString newMessageId();

// The webhook's JSON object (see above), compact.
QByteArray webhookBody(const QString &id, const QDateTime &created, const Content &content);

// The whole e-mail, CR LF line ends: From, To, Subject, Date, Message-ID (<id@the sender's domain>), MIME headers,
// then the body as plain UTF-8 text in a transfer encoding that keeps lines short.
QByteArray mailMessage(const QString &id, const QDateTime &created, const QString &from, const QStringList &to,
                       const Content &content);

// The subject line: one event's text and printer, else how many were raised and cleared; the summary's counts; the
// test's words. Also the outbox's short description of a message.
QString subjectOf(const Content &content);

} // namespace alerts
