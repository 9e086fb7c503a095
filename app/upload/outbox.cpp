#include "outbox.h"

#include "cycle.h"
#include "platform/window.h"
#include "store/globals.h"
#include "store/inifile.h"
#include "store/log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace upload {

using namespace Qt::StringLiterals;

namespace {

// The reading each host has out with the service now, by when it was read: its outcome decides about that reading
// only. Kept in memory: after a restart nothing is out.
QHash<QString, QDateTime> &readingsOut() {
    static QHash<QString, QDateTime> out;
    return out;
}

// An address a later try can send: an absolute web address, as the service table builds them.
bool sendable(const QUrl &address) {
    return address.isValid() && (address.scheme() == u"http"_s || address.scheme() == u"https"_s) &&
           !address.host().isEmpty();
}

QString isoText(const QDateTime &time) { return time.toUTC().toString(Qt::ISODateWithMs); }

std::optional<QDateTime> isoTime(const QJsonValue &value) {
    const QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    if (!value.isString() || !time.isValid()) return std::nullopt;
    return time.toUTC();
}

std::optional<WaitingReading> parseReading(const QJsonValue &value) {
    const QJsonObject entry = value.toObject();
    const QJsonValue host = entry.value(u"host"), address = entry.value(u"address"), tries = entry.value(u"tries"),
                     failure = entry.value(u"lastFailure");
    const auto readAt = isoTime(entry.value(u"readAt")), nextTry = isoTime(entry.value(u"nextTry"));
    const QUrl url = QUrl::fromEncoded(address.toString().toUtf8(), QUrl::StrictMode);
    const double count = tries.toDouble(-1);
    if (!value.isObject() || host.toString().isEmpty() || !address.isString() || !sendable(url) ||
        !readAt || !nextTry || !failure.isString() || count < 0 || count > 1e9 || count != int(count))
        return std::nullopt;
    return WaitingReading{host.toString(), url, *readAt, int(count), failure.toString(), *nextTry};
}

bool olderFirst(const WaitingReading &a, const WaitingReading &b) { return a.readAt < b.readAt; }

qsizetype indexOfHost(const QList<WaitingReading> &readings, const QString &host) {
    const auto found = std::find_if(readings.begin(), readings.end(), [&](const auto &r) { return r.host == host; });
    return found == readings.end() ? -1 : found - readings.begin();
}

QString describe(const WaitingReading &reading) {
    return QStringLiteral("reading of %1 read at %2").arg(reading.host, isoText(reading.readAt));
}

// A file that cannot be parsed goes aside under a name of its own, so that its readings are not lost with it.
void setAside(const QString &path) {
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'hhmmss"));
    QString aside = path + QStringLiteral(".corrupt-") + stamp;
    for (int n = 2; QFileInfo::exists(aside); ++n) aside = path + QStringLiteral(".corrupt-%1-%2").arg(stamp).arg(n);
    if (QFile::rename(path, aside))
        store::WriteLog(QStringLiteral("Outbox unreadable: set aside as %1, a new one started").arg(aside));
    else
        store::WriteLog(QStringLiteral("Outbox unreadable and cannot be set aside: %1").arg(path));
}

// The readings to work on: a corrupt file is set aside and counts as empty; nothing when the file is there but
// cannot be read, so that it is never written over.
std::optional<QList<WaitingReading>> load() {
    const QString path = outboxFile();
    QFile file(path);
    if (!file.exists()) return QList<WaitingReading>{};
    if (!file.open(QIODevice::ReadOnly)) {
        store::WriteLog(QStringLiteral("Outbox cannot be read: ") + file.errorString());
        return std::nullopt;
    }
    if (auto readings = parseOutbox(file.readAll())) return readings;
    file.close();
    setAside(path);
    return QFileInfo::exists(path) ? std::nullopt : std::optional(QList<WaitingReading>{});
}

void save(const QList<WaitingReading> &readings) {
    if (!store::writeFileAtomically(outboxFile(), serializeOutbox(readings)))
        store::WriteLog(QStringLiteral("Outbox cannot be written: ") + outboxFile());
    platform::window().showWaitingReadings(int(readings.size()));
}

// The outcome of a reading's request, sent at sentAt.
void answered(const WaitingReading &sent, const QDateTime &sentAt, const QString &failure) {
    if (readingsOut().value(sent.host) == sent.readAt) readingsOut().remove(sent.host);
    auto readings = load();
    if (!readings) return;
    const qsizetype at = indexOfHost(*readings, sent.host);
    const bool kept = at >= 0 && (*readings)[at].readAt == sent.readAt;
    if (failure.isEmpty()) {
        if (kept) {
            readings->removeAt(at);
            save(*readings);
        }
        return;
    }
    // Nothing a later try could send; and a newer reading, once it has taken the place, stays.
    if (!sendable(sent.address) || (at >= 0 && (*readings)[at].readAt > sent.readAt))
        return;
    WaitingReading reading = kept ? (*readings)[at] : sent;
    reading.tries = kept ? reading.tries + 1 : 1;
    reading.lastFailure = failure;
    reading.nextTry = sentAt.addMSecs(retryWait(reading.tries).count());
    if (at >= 0) {
        (*readings)[at] = reading;
    } else {
        if (readings->size() >= OutboxCapacity) {
            store::WriteLog(QStringLiteral("Outbox full: ") + describe(readings->first()) + QStringLiteral(" dropped"));
            readings->removeFirst();
        }
        readings->append(reading);
    }
    std::sort(readings->begin(), readings->end(), olderFirst);
    save(*readings);
}

void send(const WaitingReading &reading) {
    readingsOut().insert(reading.host, reading.readAt);
    const QDateTime sentAt = QDateTime::currentDateTimeUtc();
    platform::window().navigate(reading.address,
                                [reading, sentAt](const QString &failure) { answered(reading, sentAt, failure); });
}

} // namespace

std::optional<QList<WaitingReading>> parseOutbox(const QByteArray &bytes) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    const QJsonValue entries = document.object().value(u"readings");
    if (error.error != QJsonParseError::NoError || !entries.isArray() || entries.toArray().size() > OutboxCapacity)
        return std::nullopt;
    QList<WaitingReading> readings;
    for (const QJsonValue &entry : entries.toArray()) {
        auto reading = parseReading(entry);
        if (!reading || indexOfHost(readings, reading->host) >= 0) return std::nullopt;
        readings.append(*reading);
    }
    std::stable_sort(readings.begin(), readings.end(), olderFirst);
    return readings;
}

QByteArray serializeOutbox(const QList<WaitingReading> &readings) {
    QJsonArray entries;
    for (const WaitingReading &reading : readings)
        entries.append(QJsonObject{{u"host"_s, reading.host},
                                   {u"address"_s, QString::fromUtf8(reading.address.toEncoded())},
                                   {u"readAt"_s, isoText(reading.readAt)},
                                   {u"tries"_s, reading.tries},
                                   {u"lastFailure"_s, reading.lastFailure},
                                   {u"nextTry"_s, isoText(reading.nextTry)}});
    return QJsonDocument(QJsonObject{{u"readings"_s, entries}}).toJson();
}

QString outboxFile() { return QDir(store::globals().programFolder).filePath(QStringLiteral("outbox")); }

std::optional<QList<WaitingReading>> readOutbox(QString *failure) {
    QFile file(outboxFile());
    if (!file.exists()) return QList<WaitingReading>{};
    const auto fail = [&](const QString &why) {
        if (failure) *failure = outboxFile() + QStringLiteral(": ") + why;
        return std::nullopt;
    };
    if (!file.open(QIODevice::ReadOnly)) return fail(file.errorString());
    auto readings = parseOutbox(file.readAll());
    if (!readings) return fail(QStringLiteral("not an outbox file"));
    return readings;
}

void sendReading(const QString &host, const QUrl &address) {
    const WaitingReading reading{host, address, QDateTime::currentDateTimeUtc(), 0, {}, QDateTime::currentDateTimeUtc()};
    if (sendable(address)) {
        auto readings = load();
        const qsizetype at = readings ? indexOfHost(*readings, host) : -1;
        if (at >= 0) {
            (*readings)[at] = reading;
            std::sort(readings->begin(), readings->end(), olderFirst);
            save(*readings);
        }
    }
    send(reading);
}

int retryWaitingReadings(bool dueOnly) {
    auto readings = load();
    if (!readings) return 0;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const auto expired = [&](const WaitingReading &reading) {
        if (reading.readAt.addDays(OutboxKeptDays) > now) return false;
        store::WriteLog(QStringLiteral("Outbox: ") + describe(reading) +
                        QStringLiteral(" dropped after %1 days").arg(OutboxKeptDays));
        return true;
    };
    if (readings->removeIf(expired) > 0) save(*readings);
    // Ticks come one tick apart, give or take: half a tick of slack lets a wait of one tick end at the next.
    const QDateTime due = now.addMSecs(tickLength().count() / 2);
    int sent = 0;
    for (const WaitingReading &reading : *readings) {
        if (readingsOut().value(reading.host) == reading.readAt || (dueOnly && reading.nextTry > due)) continue;
        send(reading);
        ++sent;
    }
    return sent;
}

std::chrono::milliseconds retryWait(int tries) {
    const std::chrono::milliseconds longest = tickLength() * std::max(1, readingIntervalTicks());
    std::chrono::milliseconds wait = tickLength();
    for (int n = 1; n < tries && wait < longest; ++n) wait *= 2;
    return std::min(wait, longest);
}

void showWaitingReadings() {
    if (const auto readings = load()) platform::window().showWaitingReadings(int(readings->size()));
}

QString waitingReadingsLine(int count) {
    if (count <= 0) return {};
    return count == 1 ? QStringLiteral("1 reading waiting to be sent")
                      : QStringLiteral("%1 readings waiting to be sent").arg(count);
}

} // namespace upload
