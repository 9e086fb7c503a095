// The outbox: the newest reading of each printer that the service has not taken yet, kept in the file "outbox" of
// the program folder until it does. A failed upload is kept with its address as built, so that it keeps the service
// root of its day, and sent again at the schedule's ticks, its wait doubling after each failure from one tick up to
// the reading interval. One entry per printer: counters only grow, so the newest reading carries everything. Which
// reading is newest is the order in which they were handed over, kept in memory, not their times (a clock may be
// stepped back): a newer reading takes the older one's place, and an older one that fails later is dropped, so that
// none is sent after a newer one. The file is JSON, written atomically; one that cannot be parsed is set aside and a
// new one started. While the file cannot be written or read, the readings it should hold are kept in memory and
// written with the next save that succeeds.
//
// Only the copy that holds the program folder writes the outbox; anyone may read it.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>

namespace upload {

struct WaitingReading {
    QString host;        // as in [Pips]
    QUrl address;        // the upload address as built
    QDateTime readAt;    // UTC
    int tries = 0;       // sends that failed
    QString lastFailure; // as requestFailure names it
    QDateTime nextTry;   // UTC
    bool operator==(const WaitingReading &) const = default;
};

constexpr int OutboxCapacity = 200; // one entry per monitored slot
constexpr int OutboxKeptDays = 30;

// The readings of an outbox file's bytes, oldest first; nothing for bytes this program would not have written
// (not JSON, a field missing or of the wrong kind, an invalid address or date, a host twice, more than 200).
std::optional<QList<WaitingReading>> parseOutbox(const QByteArray &bytes);
QByteArray serializeOutbox(const QList<WaitingReading> &readings);

// The outbox file of the program folder.
QString outboxFile();

// The waiting readings as the file holds them (none without a file), changing nothing; nothing, after saying why
// in failure, when the file cannot be read or parsed.
std::optional<QList<WaitingReading>> readOutbox(QString *failure = nullptr);

// Hands a reading just made to the window; from now on it is the host's newest. A waiting reading of the same host
// gives way to it: replaced in the file at once, so that it is never sent after the newer one. The reading waits in
// the outbox when its upload fails, unless a newer one was handed over meanwhile.
// readAt: when the reading was made (now where invalid).
void sendReading(const QString &host, const QUrl &address, const QDateTime &readAt = {});

// Sends again, oldest first, the waiting readings whose wait is over (dueOnly) or all of them, except those whose
// request is still out; readings older than 30 days are dropped first, with a log line. The number sent. failure,
// when given, says why the file could not be used, as the status line did: it cannot be read, or it was not an
// outbox file and was set aside (where to is said).
int retryWaitingReadings(bool dueOnly = true, QString *failure = nullptr);

// The wait after a reading's tries-th failure: one tick, doubled with each further failure, at most the reading
// interval.
std::chrono::milliseconds retryWait(int tries);

// How many readings are kept only in memory, because the outbox file could not hold them: lost if the program
// ended now.
int unsavedReadings();

// Tells the window how many readings wait, in the file and in memory (a corrupt file is set aside first).
void showWaitingReadings();

// The line that says so: "N readings waiting to be sent", empty for none.
QString waitingReadingsLine(int count);

} // namespace upload
