// The alerts outbox: every message made for a channel, kept in the file "alerts-outbox" of the program folder from
// the moment it is made until its mail server or webhook takes it, so that a restart loses none and sends none again
// that was taken (a message keeps its id across resends: a receiver drops a copy sent again after a crash). Each
// channel sends its messages one at a time, in the order they were made. A message not taken waits and is tried
// again with the readings' back-off; one refused for good is logged and dropped, once; a fault of the channel's own
// (a login or certificate refused) keeps it waiting and is named (status line, standard error, log) once while it
// lasts and kept in the file for `meterlane-cli alerts`. The file is JSON, written atomically and bounded: past
// AlertOutboxCapacity messages, or 30 days, the oldest go, with a log line. It also remembers when each channel's
// daily summary was last made.
#pragma once

#include "message.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

namespace alerts {

struct WaitingMessage {
    QString id, channel; // the channel's name
    MessageType type = MessageType::Conditions;
    QString subject;
    QDateTime created;   // UTC
    QByteArray body;     // the whole mail, or the webhook's JSON
    int tries = 0;       // sends not taken
    QString lastFailure;
    QDateTime nextTry;   // UTC
    bool operator==(const WaitingMessage &) const = default;
};

struct AlertOutbox {
    QList<WaitingMessage> messages;     // oldest first
    QMap<QString, QDateTime> summaries; // by channel: when its last daily summary was made (UTC)
    QMap<QString, QString> faults;      // by channel: its own fault, while it lasts
    bool operator==(const AlertOutbox &) const = default;
};

constexpr int AlertOutboxCapacity = 1000;
constexpr int AlertOutboxKeptDays = 30;

// The outbox of a file's bytes; nothing for bytes this program would not have written.
std::optional<AlertOutbox> parseAlertOutbox(const QByteArray &bytes);
QByteArray serializeAlertOutbox(const AlertOutbox &outbox);

QString alertOutboxFile();

// The outbox as the file holds it (empty without a file), changing nothing; nothing, with why, when it cannot be
// read or is no outbox file.
std::optional<AlertOutbox> readAlertOutbox(QString *failure = nullptr);

// The wait after a message's tries-th failure.
using RetryWait = std::function<std::chrono::milliseconds(int tries)>;

// Keeps messages in the outbox (a summary also as its channel's last), then sends what is due.
void queueMessages(const QList<WaitingMessage> &messages, const RetryWait &wait);

// Sends, per channel and in order, the messages whose wait is over (dueOnly) or all; while a channel's message is out,
// its next waits for the answer. The number handed over. failure says why the file could not be used, if so.
int sendWaitingMessages(bool dueOnly, const RetryWait &wait, QString *failure = nullptr);

// When the channel's last daily summary was made; invalid: never.
QDateTime lastSummaryMade(const QString &channel);

// Messages handed to a server whose answer has not come yet.
int messagesInFlight();

} // namespace alerts
