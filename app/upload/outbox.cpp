#include "outbox.h"

#include "cycle.h"
#include "historylog.h"
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
#include <utility>

namespace upload {

using namespace Qt::StringLiterals;

namespace {

// What this copy knows of a printer's readings, in memory: the newest one handed over (before any, the one the outbox
// sent again), whether its request is out, and whether the service took it. Only that reading may wait in the
// outbox: an older one's failure is dropped, and which is newer is the order of handing over, never the clock,
// which may have been stepped back between two readings.
struct PrinterReadings {
    WaitingReading newest;
    bool out = false;
    bool taken = false;
};

// The outbox as it should read while the file cannot hold it, written with the next save that succeeds. Made while
// the file could not be read, it lacks the file's own readings: they join it once the file reads again, and until
// then the file is not written over.
struct Unsaved {
    QList<WaitingReading> readings;
    bool withoutFile = false;
};

// The memory of one outbox file; another program folder starts afresh.
struct Memory {
    QString file;
    QHash<QString, PrinterReadings> printers;
    std::optional<Unsaved> unsaved;
    bool readFailureNamed = false, writeFailureNamed = false;
};

Memory &memory() {
    static Memory kept;
    if (kept.file != outboxFile()) kept = Memory{outboxFile(), {}, {}, false, false};
    return kept;
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

bool sameReading(const WaitingReading &a, const WaitingReading &b) {
    return a.host == b.host && a.readAt == b.readAt && a.address == b.address;
}

// A reading the outbox may keep: the newest of its printer that the service has not taken.
bool current(const WaitingReading &reading) {
    const auto printer = memory().printers.constFind(reading.host);
    return printer == memory().printers.cend() || (sameReading(printer->newest, reading) && !printer->taken);
}

qsizetype indexOfHost(const QList<WaitingReading> &readings, const QString &host) {
    const auto found = std::find_if(readings.begin(), readings.end(), [&](const auto &r) { return r.host == host; });
    return found == readings.end() ? -1 : found - readings.begin();
}

QString describe(const WaitingReading &reading) {
    return QStringLiteral("reading of %1 read at %2").arg(reading.host, isoText(reading.readAt));
}

// Puts a reading in its printer's entry, or adds one; a full outbox drops its oldest reading first.
void keep(QList<WaitingReading> &readings, const WaitingReading &reading) {
    if (const qsizetype at = indexOfHost(readings, reading.host); at >= 0) {
        readings[at] = reading;
    } else {
        if (readings.size() >= OutboxCapacity) {
            store::WriteLog(QStringLiteral("Outbox full: ") + describe(readings.first()) + QStringLiteral(" dropped"));
            readings.removeFirst();
        }
        readings.append(reading);
    }
    std::sort(readings.begin(), readings.end(), olderFirst);
}

// Names a failure of the outbox file on the status line (which the command line prints on standard error) and in
// the log, once while it lasts; the empty text says it is over.
void nameFailure(bool &named, const QString &failure) {
    if (std::exchange(named, !failure.isEmpty()) || failure.isEmpty()) return;
    store::WriteLog(failure);
    platform::window().setStatus(failure);
}

// The file's readings (none without a file); a file that cannot be parsed is set aside, said on the status line,
// and counts as empty. Nothing when the file is there but cannot be read or set aside. failure says why in either
// case.
std::optional<QList<WaitingReading>> readFile(QString &failure) {
    const QString path = outboxFile();
    QFile file(path);
    if (!file.exists()) return QList<WaitingReading>{};
    if (file.open(QIODevice::ReadOnly)) {
        if (auto readings = parseOutbox(file.readAll())) return readings;
        file.close();
        if (const QString aside = store::setAside(path); !aside.isEmpty()) {
            failure = path + QStringLiteral(" is not an outbox file: set aside as ") + aside;
            store::WriteLog(failure);
            platform::window().setStatus(failure);
            return QList<WaitingReading>{};
        }
        failure = QStringLiteral("Cannot read ") + path +
                  QStringLiteral(": not an outbox file, and it cannot be set aside");
    } else {
        failure = QStringLiteral("Cannot read ") + path + QStringLiteral(": ") + file.errorString();
    }
    return std::nullopt;
}

void save(const QList<WaitingReading> &readings) {
    Memory &kept = memory();
    const bool withoutFile = kept.unsaved && kept.unsaved->withoutFile;
    if (!withoutFile && store::writeFileAtomically(outboxFile(), serializeOutbox(readings))) {
        kept.unsaved.reset();
        nameFailure(kept.writeFailureNamed, {});
    } else {
        kept.unsaved = Unsaved{readings, withoutFile};
        if (!withoutFile) nameFailure(kept.writeFailureNamed, QStringLiteral("Cannot write ") + outboxFile());
    }
    platform::window().showWaitingReadings(int(readings.size()));
}

// The readings to work on: those kept in memory while the file cannot hold them, else the file's, with the memory's
// joined to them once the file reads again; a reading no longer current is dropped. What differs from the file is
// saved at once. failure says why the file could not be used, if it could not.
QList<WaitingReading> load(QString *failure = nullptr) {
    Memory &kept = memory();
    QList<WaitingReading> readings;
    bool changed = kept.unsaved.has_value();
    if (kept.unsaved && !kept.unsaved->withoutFile) {
        readings = kept.unsaved->readings;
    } else {
        QString why;
        const auto stored = readFile(why);
        nameFailure(kept.readFailureNamed, stored ? QString() : why);
        if (failure) *failure = why;
        if (stored) {
            readings = *stored;
            if (kept.unsaved) {
                for (const WaitingReading &reading : kept.unsaved->readings) keep(readings, reading);
                kept.unsaved.reset();
            }
        } else {
            if (!kept.unsaved) kept.unsaved = Unsaved{{}, true};
            readings = kept.unsaved->readings;
            changed = false;
        }
    }
    if (readings.removeIf([](const WaitingReading &reading) { return !current(reading); }) > 0) changed = true;
    if (changed) save(readings);
    return readings;
}

// The outcome of a reading's request, sent at sentAt.
void answered(const WaitingReading &sent, const QDateTime &sentAt, const QString &failure) {
    const auto found = memory().printers.find(sent.host);
    if (found == memory().printers.end()) return; // sent for another program folder
    PrinterReadings &printer = *found;
    const bool taken = failure.isEmpty();
    if (!sameReading(printer.newest, sent)) {
        if (!taken)
            store::WriteLog(QStringLiteral("Outbox: failed ") + describe(sent) +
                            QStringLiteral(" dropped: a newer reading was handed over"));
        storeUploadOutcome(sent.host, sent.readAt, taken ? store::Upload::Accepted : store::Upload::Failed);
        return;
    }
    storeUploadOutcome(sent.host, sent.readAt, taken ? store::Upload::Accepted : store::Upload::Waiting);
    printer.out = false;
    printer.taken = taken;
    QList<WaitingReading> readings = load(); // drops a reading the service took
    if (taken) return;
    const qsizetype at = indexOfHost(readings, sent.host);
    WaitingReading reading = at >= 0 ? readings[at] : sent;
    ++reading.tries;
    reading.lastFailure = failure;
    reading.nextTry = sentAt.addMSecs(retryWait(reading.tries).count());
    keep(readings, reading);
    save(readings);
}

void send(const WaitingReading &reading) {
    memory().printers[reading.host].out = true;
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

void sendReading(const QString &host, const QUrl &address, const QDateTime &readAt) {
    if (!sendable(address)) return platform::window().navigate(address); // nothing a later try could send
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const WaitingReading reading{host, address, readAt.isValid() ? readAt : now, 0, {}, now};
    QList<WaitingReading> readings = load();
    const qsizetype at = indexOfHost(readings, host);
    memory().printers.insert(host, {reading});
    if (at >= 0) {
        readings[at] = reading;
        std::sort(readings.begin(), readings.end(), olderFirst);
        save(readings);
    }
    send(reading);
}

int retryWaitingReadings(bool dueOnly, QString *failure) {
    QList<WaitingReading> readings = load(failure);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const auto expired = [&](const WaitingReading &reading) {
        if (reading.readAt.addDays(OutboxKeptDays) > now) return false;
        store::WriteLog(QStringLiteral("Outbox: ") + describe(reading) +
                        QStringLiteral(" dropped after %1 days").arg(OutboxKeptDays));
        storeUploadOutcome(reading.host, reading.readAt, store::Upload::Failed);
        return true;
    };
    if (readings.removeIf(expired) > 0) save(readings);
    // Ticks come one tick apart, give or take: half a tick of slack lets a wait of one tick end at the next.
    const QDateTime due = now.addMSecs(tickLength().count() / 2);
    int sent = 0;
    for (const WaitingReading &reading : readings) {
        // A reading the outbox keeps is its printer's newest: the first this copy knows of, or the one out.
        QHash<QString, PrinterReadings> &printers = memory().printers;
        if (!printers.contains(reading.host)) printers.insert(reading.host, {reading});
        if (printers[reading.host].out || (dueOnly && reading.nextTry > due)) continue;
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

int unsavedReadings() {
    const auto &unsaved = memory().unsaved;
    return unsaved ? int(unsaved->readings.size()) : 0;
}

void showWaitingReadings() { platform::window().showWaitingReadings(int(load().size())); }

QString waitingReadingsLine(int count) {
    if (count <= 0) return {};
    return count == 1 ? QStringLiteral("1 reading waiting to be sent")
                      : QStringLiteral("%1 readings waiting to be sent").arg(count);
}

} // namespace upload
