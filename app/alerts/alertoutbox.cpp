#include "alertoutbox.h"

#include "channel.h"
#include "platform/window.h"
#include "store/globals.h"
#include "store/inifile.h"
#include "store/log.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <utility>

namespace alerts {

using namespace Qt::StringLiterals;

namespace {

constexpr int FileVersion = 1;
const QList<MessageType> Types = {MessageType::Conditions, MessageType::Summary, MessageType::Test};

// The outbox as it should read while the file cannot hold it, written with the next save that succeeds. Made while
// the file could not be read, it lacks the file's own messages: they join it once the file reads again, and until
// then the file is not written over.
struct Unsaved {
    AlertOutbox outbox;
    bool withoutFile = false;
};

// What this copy knows beyond the file, for one outbox file: the message each channel has out, the channel faults
// it has named, and the file's failures it has named.
struct Memory {
    QString file;
    QHash<QString, QString> out; // channel → message id
    QSet<QString> faultsNamed;
    std::optional<Unsaved> unsaved;
    bool readFailureNamed = false, writeFailureNamed = false;
};

Memory &memory() {
    static Memory kept;
    if (kept.file != alertOutboxFile()) {
        kept = Memory();
        kept.file = alertOutboxFile();
    }
    return kept;
}

QString isoText(const QDateTime &time) { return time.toUTC().toString(Qt::ISODateWithMs); }

std::optional<QDateTime> isoTime(const QJsonValue &value) {
    const QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    if (!value.isString() || !time.isValid()) return std::nullopt;
    return time.toUTC();
}

std::optional<WaitingMessage> parseMessage(const QJsonValue &value) {
    const QJsonObject entry = value.toObject();
    WaitingMessage message;
    message.id = entry.value(u"id").toString();
    message.channel = entry.value(u"channel").toString();
    const auto type = std::find_if(Types.begin(), Types.end(),
                                   [&](MessageType t) { return typeName(t) == entry.value(u"type").toString(); });
    message.subject = entry.value(u"subject").toString();
    const auto created = isoTime(entry.value(u"created")), nextTry = isoTime(entry.value(u"nextTry"));
    message.body = entry.value(u"body").toString().toUtf8();
    const double tries = entry.value(u"tries").toDouble(-1);
    message.lastFailure = entry.value(u"lastFailure").toString();
    if (message.id.isEmpty() || message.channel.isEmpty() || type == Types.end() || !created || !nextTry ||
        message.body.isEmpty() || tries < 0 || tries > 1e9 || tries != int(tries))
        return std::nullopt;
    message.type = *type;
    message.created = *created;
    message.nextTry = *nextTry;
    message.tries = int(tries);
    return message;
}

qsizetype indexOfId(const QList<WaitingMessage> &messages, const QString &id) {
    const auto found = std::find_if(messages.begin(), messages.end(), [&](const auto &m) { return m.id == id; });
    return found == messages.end() ? -1 : found - messages.begin();
}

QString describe(const WaitingMessage &message) {
    return QStringLiteral("\"%1\" (%2)").arg(message.subject, message.id);
}

// Says a failure once while it lasts, in the log and on the status line (standard error for the command line); the
// empty text says it is over.
void nameFailure(bool &named, const QString &failure) {
    if (std::exchange(named, !failure.isEmpty()) || failure.isEmpty()) return;
    store::WriteLog(failure);
    platform::window().setStatus(failure);
}

std::optional<AlertOutbox> readFile(QString &failure) {
    const QString path = alertOutboxFile();
    QFile file(path);
    if (!file.exists()) return AlertOutbox{};
    if (!file.open(QIODevice::ReadOnly)) {
        failure = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    if (auto outbox = parseAlertOutbox(file.readAll())) return outbox;
    file.close();
    const QString aside = store::setAside(path);
    if (aside.isEmpty()) {
        failure = QStringLiteral("Cannot read %1: not an alerts outbox, and it cannot be set aside").arg(path);
        return std::nullopt;
    }
    failure = path + QStringLiteral(" is not an alerts outbox: set aside as ") + aside;
    store::WriteLog(failure);
    platform::window().setStatus(failure);
    return AlertOutbox{};
}

void save(const AlertOutbox &outbox) {
    Memory &kept = memory();
    const bool withoutFile = kept.unsaved && kept.unsaved->withoutFile;
    if (!withoutFile && store::writeFileAtomically(alertOutboxFile(), serializeAlertOutbox(outbox))) {
        kept.unsaved.reset();
        nameFailure(kept.writeFailureNamed, {});
        return;
    }
    kept.unsaved = Unsaved{outbox, withoutFile};
    if (!withoutFile) nameFailure(kept.writeFailureNamed, QStringLiteral("Cannot write ") + alertOutboxFile());
}

// The outbox to work on: what memory holds while the file cannot be written, else the file's, with what memory
// held while the file could not be read joined to it.
AlertOutbox load(QString *failure = nullptr) {
    Memory &kept = memory();
    if (kept.unsaved && !kept.unsaved->withoutFile) return kept.unsaved->outbox;
    QString why;
    auto stored = readFile(why);
    if (failure) *failure = why;
    nameFailure(kept.readFailureNamed, stored ? QString() : why);
    if (!stored) {
        if (!kept.unsaved) kept.unsaved = Unsaved{{}, true};
        return kept.unsaved->outbox;
    }
    if (kept.unsaved) {
        const AlertOutbox held = std::exchange(kept.unsaved, std::nullopt)->outbox;
        for (const WaitingMessage &message : held.messages)
            if (indexOfId(stored->messages, message.id) < 0) stored->messages << message;
        for (auto made = held.summaries.begin(); made != held.summaries.end(); ++made)
            stored->summaries[made.key()] = std::max(stored->summaries.value(made.key()), made.value());
        save(*stored);
    }
    return *stored;
}

// Names a channel's own fault once while it lasts, and keeps it in the outbox for the listing; the empty text: over.
void setFault(AlertOutbox &outbox, const QString &channel, const QString &fault) {
    QSet<QString> &named = memory().faultsNamed;
    if (fault.isEmpty()) {
        outbox.faults.remove(channel);
        named.remove(channel);
        return;
    }
    outbox.faults[channel] = fault;
    if (named.contains(channel)) return;
    named << channel;
    const QString said = QStringLiteral("Alerts by %1 cannot be sent: %2").arg(channel, fault);
    store::WriteLog(said);
    platform::window().setStatus(said);
}

void send(const Channel &channel, const WaitingMessage &message, const RetryWait &wait);

// The channel's first waiting message, sent when no other of it is out and, where dueOnly, its wait is over.
bool sendNext(const AlertOutbox &outbox, const QString &name, bool dueOnly, const RetryWait &wait) {
    if (memory().out.contains(name)) return false;
    const auto first = std::find_if(outbox.messages.begin(), outbox.messages.end(),
                                    [&](const WaitingMessage &m) { return m.channel == name; });
    if (first == outbox.messages.end()) return false;
    // Ticks come one tick apart, give or take: half the first wait of slack lets a wait of one tick end at the next.
    const QDateTime due = QDateTime::currentDateTimeUtc().addMSecs(wait(1).count() / 2);
    if (dueOnly && first->nextTry > due) return false;
    const Channels known = channels();
    const Channel *channel = known.find(name);
    if (!channel) return false; // waits for its channel to come back, or for its days to pass
    send(*channel, *first, wait);
    return true;
}

void answered(const WaitingMessage &sent, const Delivery &delivery, const RetryWait &wait) {
    Memory &kept = memory();
    if (kept.out.value(sent.channel) != sent.id) return; // sent for another program folder
    kept.out.remove(sent.channel);
    AlertOutbox outbox = load();
    const qsizetype at = indexOfId(outbox.messages, sent.id);
    const bool done = delivery.outcome == Outcome::Accepted || delivery.outcome == Outcome::Refused;
    if (delivery.outcome == Outcome::Accepted) {
        store::WriteLog(QStringLiteral("Alert sent by %1: %2").arg(sent.channel, describe(sent)));
    } else if (delivery.outcome == Outcome::Refused) {
        store::WriteLog(QStringLiteral("Alert refused by %1 (%2): %3 dropped").arg(sent.channel, delivery.detail,
                                                                                 describe(sent)));
    } else if (at >= 0) {
        WaitingMessage &message = outbox.messages[at];
        ++message.tries;
        message.lastFailure = delivery.detail;
        message.nextTry = QDateTime::currentDateTimeUtc().addMSecs(wait(message.tries).count());
        store::WriteLog(QStringLiteral("Alert not sent by %1 (%2): %3 waits").arg(sent.channel, delivery.detail,
                                                                                describe(sent)));
    }
    if (done && at >= 0) outbox.messages.removeAt(at);
    if (delivery.outcome == Outcome::ChannelFault) setFault(outbox, sent.channel, delivery.detail);
    else if (done) setFault(outbox, sent.channel, {});
    save(outbox);
    if (done) sendNext(outbox, sent.channel, false, wait); // the channel works: its next need not wait
}

void send(const Channel &channel, const WaitingMessage &message, const RetryWait &wait) {
    memory().out.insert(message.channel, message.id);
    channel.send(message.body, [message, wait](const Delivery &delivery) { answered(message, delivery, wait); });
}

} // namespace

std::optional<AlertOutbox> parseAlertOutbox(const QByteArray &bytes) {
    QJsonParseError error;
    const QJsonObject root = QJsonDocument::fromJson(bytes, &error).object();
    const QJsonValue entries = root.value(u"messages");
    if (error.error != QJsonParseError::NoError || root.value(u"version").toInt() != FileVersion ||
        !entries.isArray() || entries.toArray().size() > AlertOutboxCapacity)
        return std::nullopt;
    AlertOutbox outbox;
    for (const QJsonValue &entry : entries.toArray()) {
        auto message = parseMessage(entry);
        if (!message || indexOfId(outbox.messages, message->id) >= 0) return std::nullopt;
        outbox.messages << *message;
    }
    const QJsonObject summaries = root.value(u"summaries").toObject(), faults = root.value(u"faults").toObject();
    for (auto made = summaries.begin(); made != summaries.end(); ++made) {
        const auto time = isoTime(made.value());
        if (!time) return std::nullopt;
        outbox.summaries.insert(made.key(), *time);
    }
    for (auto fault = faults.begin(); fault != faults.end(); ++fault) outbox.faults.insert(fault.key(), fault->toString());
    return outbox;
}

QByteArray serializeAlertOutbox(const AlertOutbox &outbox) {
    QJsonArray messages;
    for (const WaitingMessage &message : outbox.messages)
        messages.append(QJsonObject{{u"id"_s, message.id},
                                    {u"channel"_s, message.channel},
                                    {u"type"_s, typeName(message.type)},
                                    {u"subject"_s, message.subject},
                                    {u"created"_s, isoText(message.created)},
                                    {u"body"_s, QString::fromUtf8(message.body)},
                                    {u"tries"_s, message.tries},
                                    {u"lastFailure"_s, message.lastFailure},
                                    {u"nextTry"_s, isoText(message.nextTry)}});
    QJsonObject summaries, faults;
    for (auto made = outbox.summaries.begin(); made != outbox.summaries.end(); ++made)
        summaries.insert(made.key(), isoText(made.value()));
    for (auto fault = outbox.faults.begin(); fault != outbox.faults.end(); ++fault) faults.insert(fault.key(), *fault);
    return QJsonDocument(QJsonObject{{u"version"_s, FileVersion},
                                     {u"messages"_s, messages},
                                     {u"summaries"_s, summaries},
                                     {u"faults"_s, faults}})
        .toJson();
}

QString alertOutboxFile() { return QDir(store::globals().programFolder).filePath(QStringLiteral("alerts-outbox")); }

std::optional<AlertOutbox> readAlertOutbox(QString *failure) {
    QFile file(alertOutboxFile());
    if (!file.exists()) return AlertOutbox{};
    const auto fail = [&](const QString &why) {
        if (failure) *failure = alertOutboxFile() + QStringLiteral(": ") + why;
        return std::nullopt;
    };
    if (!file.open(QIODevice::ReadOnly)) return fail(file.errorString());
    auto outbox = parseAlertOutbox(file.readAll());
    if (!outbox) return fail(QStringLiteral("not an alerts outbox"));
    return outbox;
}

void queueMessages(const QList<WaitingMessage> &messages, const RetryWait &wait) {
    if (messages.isEmpty()) return;
    AlertOutbox outbox = load();
    for (const WaitingMessage &message : messages) {
        if (message.type == MessageType::Summary) outbox.summaries[message.channel] = message.created;
        outbox.messages << message;
    }
    while (outbox.messages.size() > AlertOutboxCapacity)
        store::WriteLog(QStringLiteral("Alerts outbox full: %1 dropped").arg(describe(outbox.messages.takeFirst())));
    save(outbox);
    sendWaitingMessages(true, wait);
}

int sendWaitingMessages(bool dueOnly, const RetryWait &wait, QString *failure) {
    AlertOutbox outbox = load(failure);
    const QDateTime oldest = QDateTime::currentDateTimeUtc().addDays(-AlertOutboxKeptDays);
    const auto expired = [&](const WaitingMessage &message) {
        if (message.created > oldest || memory().out.value(message.channel) == message.id) return false;
        store::WriteLog(QStringLiteral("Alert for %1 dropped after %2 days: %3")
                            .arg(message.channel).arg(AlertOutboxKeptDays).arg(describe(message)));
        return true;
    };
    if (outbox.messages.removeIf(expired) > 0) save(outbox);
    QStringList names;
    for (const WaitingMessage &message : outbox.messages)
        if (!names.contains(message.channel)) names << message.channel;
    int sent = 0;
    for (const QString &name : names) sent += sendNext(outbox, name, dueOnly, wait) ? 1 : 0;
    return sent;
}

QDateTime lastSummaryMade(const QString &channel) { return load().summaries.value(channel); }

int messagesInFlight() { return int(memory().out.size()); }

} // namespace alerts
