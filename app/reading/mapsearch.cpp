#include "mapsearch.h"

#include "countermaps.h"
#include "oidreader.h"
#include "printermib.h"
#include "store/log.h"

#include <QHash>
#include <QMap>
#include <QRegularExpression>

#include <algorithm>
#include <span>

namespace reading {
namespace {

// A type column longer than this is no table of counters: the walk stops there.
constexpr int MaxTableRows = 256;

// What a counter answers; a failed read (ReadFailed, itself a number) answers nothing.
bool isWholeNumber(const QString &text) {
    static const QRegularExpression number(QStringLiteral("^[+-]?[0-9]+$"));
    return text != ReadFailed && number.match(text).hasMatch();
}

// Reads each OID, and walks each type column, at most once per search: candidates of several slots may share them.
class PrinterValues {
public:
    explicit PrinterValues(QString host) : host_(std::move(host)) {}

    QString value(const QString &oid) {
        if (!values_.contains(oid)) values_.insert(oid, probeOid(host_, oid));
        return values_.value(oid);
    }

    // The OID a candidate names: a whole OID as it stands; for a table row, VALUECOLUMN.ROW of the first row whose
    // type reads N; empty when no row does.
    QString oidOf(const QString &candidate) {
        const auto row = countermaps::tableRow(candidate);
        if (!row) return candidate;
        for (const auto &[index, type] : column(row->typeColumn))
            if (type == row->type) return row->valueColumn + u'.' + index;
        return {};
    }

private:
    // The rows of a column, walked with get-next until the printer answers an OID outside it (or nothing).
    const QList<std::pair<QString, QString>> &column(const QString &typeColumn) {
        if (columns_.contains(typeColumn)) return columns_[typeColumn];
        QList<std::pair<QString, QString>> &rows = columns_[typeColumn];
        const QString prefix = typeColumn + u'.';
        QString at = typeColumn;
        while (rows.size() < MaxTableRows) {
            QString next;
            const QString type = probeNextOid(host_, at, next);
            if (type == ReadFailed || !next.startsWith(prefix) || next == at) break;
            rows.append({next.mid(prefix.size()), type});
            values_.insert(next, type);
            at = next;
        }
        return rows;
    }

    QString host_;
    QHash<QString, QString> values_;
    QHash<QString, QList<std::pair<QString, QString>>> columns_;
};

// The first candidate of a slot that answers a whole number, as a finding of the entry; nothing when none does.
std::optional<MappedSlot> firstAnswer(PrinterValues &printer, const countermaps::Entry &entry, int slot) {
    for (const QString &candidate : entry.counters.value(slot).candidates) {
        const QString oid = printer.oidOf(candidate);
        if (oid.isEmpty()) continue;
        const QString value = printer.value(oid);
        if (isWholeNumber(value)) return MappedSlot{slot, oid, value, entry.name(), entry.file};
    }
    return std::nullopt;
}

// The slots that count black-and-white pages (total, print, copy, fax) and colour pages (total, print, copy).
constexpr int BlackAndWhiteSlots[] = {2, 4, 6, 8};
constexpr int ColourSlots[] = {3, 5, 7};

bool fillsAny(const QMap<int, MappedSlot> &found, std::span<const int> among) {
    return std::any_of(among.begin(), among.end(), [&](int slot) { return found.contains(slot); });
}

// The candidates of the entry's black-and-white slots, for the line that says none of them answered.
QString blackAndWhiteCandidates(const countermaps::Entry &entry) {
    QStringList candidates;
    for (const int slot : BlackAndWhiteSlots) candidates << entry.counters.value(slot).candidates;
    return candidates.isEmpty() ? QStringLiteral("none in the map") : candidates.join(QStringLiteral(", "));
}

} // namespace

MapFindings fillFromCounterMap(const QString &host, QStringList &fields) {
    const countermaps::Maps maps = countermaps::load();
    for (const QString &file : maps.unreadable) store::WriteLog(QStringLiteral("Counter maps unreadable: ") + file);
    if (maps.entries.isEmpty()) return {};

    PrinterValues printer(host);
    const countermaps::Entry *maker = countermaps::makerOf(maps.entries, printer.value(printermib::SysObjectId),
                                                           [&] { return printer.value(printermib::SysDescr); });
    if (!maker) return {};
    MapFindings findings{maker->maker, {}};
    const QString model = countermaps::hasModelEntries(maps.entries, maker->maker)
                              ? printer.value(printermib::DeviceDescription)
                              : QString();
    const countermaps::Entry &entry = *countermaps::entryFor(maps.entries, *maker, model);

    QMap<int, MappedSlot> found;
    for (const int slot : entry.counters.keys())
        if (slot > 1)
            if (const auto answer = firstAnswer(printer, entry, slot)) found.insert(slot, *answer);
    // Without a black-and-white count the machine total would be the black-and-white total, colour pages included:
    // the map's colour counters would count them a second time.
    if (!fillsAny(found, BlackAndWhiteSlots)) {
        if (fillsAny(found, ColourSlots))
            store::WriteLog(QStringLiteral("Counter map %1: no black-and-white counter answers (%2); prtMarkerLifeCount "
                                           "stays the black-and-white total and colour is not read")
                                .arg(entry.name(), blackAndWhiteCandidates(entry)));
        return findings;
    }

    // The life count is the one count every maker agrees on: the machine total wherever it answers.
    const QString life = printer.value(printermib::MarkerLifeCount);
    if (isWholeNumber(life)) found.insert(1, MappedSlot{1, printermib::MarkerLifeCount, life, {}, {}});
    else if (const auto answer = firstAnswer(printer, entry, 1)) found.insert(1, *answer);
    fields[0] = fields[1] = fields[2] = QStringLiteral("0");
    for (const MappedSlot &slot : found) {
        fields[slot.slot - 1] = slot.oid;
        findings.filled << slot;
    }
    return findings;
}

} // namespace reading
