#include "historylog.h"

#include "platform/window.h"
#include "reading/printermib.h"
#include "store/globals.h"
#include "store/log.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

namespace upload {
namespace {

// Says a failure of the store once while it lasts: in the log and on the status line.
void nameFailure(const store::History &history) {
    static QString named;
    const QString failure = history.isOpen() ? QString() : history.failure();
    if (!history.setAsideAs().isEmpty())
        store::WriteLog(history.path() + QStringLiteral(" was no reading history: set aside as ") + history.setAsideAs());
    if (failure == std::exchange(named, failure) || failure.isEmpty()) return;
    store::WriteLog(failure);
    platform::window().setStatus(failure);
}

// Outcomes that came before their reading was stored, by host.
QHash<QString, std::pair<QDateTime, store::Upload>> &earlyOutcomes() {
    static QHash<QString, std::pair<QDateTime, store::Upload>> outcomes;
    return outcomes;
}

store::ConditionEntry entryOf(const store::ConditionChange &change, const QDateTime &now) {
    const store::SeenCondition &seen = change.condition;
    return {change.host, seen.key, seen.kind, seen.text, seen.severity, change.since, change.raised ? QDateTime() : now};
}

// The changes as the raised and cleared conditions of record.
void split(const QList<store::ConditionChange> &changes, const QDateTime &now, store::ReadingRecord &record) {
    for (const store::ConditionChange &change : changes)
        (change.raised ? record.raised : record.cleared) << entryOf(change, now);
}

store::SupplyEntry entryOf(const QString &host, const QDateTime &time, const reading::supplies::Supply &supply) {
    return {time,        host, supply.index, supply.kind, supply.colour, supply.description, supply.maker.partNumber,
            supply.receptacle, supply.fill.percent, supply.fill.state};
}

// A mapped slot's counter as read: slots 4 to 10 hold printer and copier black-and-white and colour, fax, large
// paper and duplex.
qint64 slot(const reading::PrinterReading &read, int number) { return read.counters[number]; }

} // namespace

void storeReading(const QString &host, const reading::PrinterReading &read, const QDateTime &readAt,
                  const reading::SuppliesRead &supplies, const QList<store::ConditionChange> &changes) {
    if (!reading::printermib::enabled()) return;
    store::ReadingRecord record;
    store::ReadingEntry &entry = record.reading;
    entry = {readAt,          host,           read.identity,  read.model,     read.counters[2], read.counters[3],
             slot(read, 4),   slot(read, 5),  slot(read, 6),  slot(read, 7),  slot(read, 8),    slot(read, 9),
             slot(read, 10),  store::Upload::Pending};
    if (const auto early = earlyOutcomes().take(host); early.first == readAt) entry.upload = early.second;
    for (const reading::supplies::Supply &supply : supplies.supplies) record.supplies << entryOf(host, readAt, supply);
    split(changes, readAt, record);
    store::History history(store::globals().programFolder);
    history.record(record);
    nameFailure(history);
}

void storeConditionChanges(const QList<store::ConditionChange> &changes) {
    if (!reading::printermib::enabled() || changes.isEmpty()) return;
    store::ReadingRecord conditions;
    split(changes, QDateTime::currentDateTimeUtc(), conditions);
    store::History history(store::globals().programFolder);
    history.recordConditions(conditions.raised, conditions.cleared);
    nameFailure(history);
}

void storeUploadOutcome(const QString &host, const QDateTime &readAt, store::Upload outcome) {
    if (!reading::printermib::enabled()) return;
    // Without a store the reading is not stored yet: no store is made for its outcome alone.
    if (!QFileInfo::exists(QDir(store::globals().programFolder).filePath(store::HistoryFileName)))
        return void(earlyOutcomes().insert(host, {readAt, outcome}));
    store::History history(store::globals().programFolder);
    if (!history.setUpload(host, readAt, outcome) && history.isOpen()) earlyOutcomes().insert(host, {readAt, outcome});
    nameFailure(history);
}

} // namespace upload
