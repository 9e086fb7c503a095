#include "mapsearch.h"

#include "countermaps.h"
#include "printermib.h"
#include "printervalues.h"
#include "store/log.h"

#include <QMap>

#include <algorithm>
#include <span>

namespace reading {
namespace {

// The first candidate of a slot that answers a whole number, as a finding of the entry; nothing when none does.
std::optional<MappedSlot> firstAnswer(PrinterValues &printer, const countermaps::Entry &entry, int slot) {
    for (const QString &candidate : entry.counters.value(slot).candidates)
        if (const auto answer = printer.counter(candidate))
            return MappedSlot{slot, answer->field, answer->value, answer->parts, entry.name(), entry.file};
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
    if (const auto life = printer.counter(printermib::MarkerLifeCount))
        found.insert(1, MappedSlot{1, life->field, life->value, {}, {}, {}});
    else if (const auto answer = firstAnswer(printer, entry, 1))
        found.insert(1, *answer);
    fields[0] = fields[1] = fields[2] = QStringLiteral("0");
    for (const MappedSlot &slot : found) {
        fields[slot.slot - 1] = slot.oid;
        findings.filled << slot;
    }
    return findings;
}

} // namespace reading
