// Arbitrary bytes read as a counter map file, as an operator's editor may leave it. Every entry has a maker and slots
// 1 to 26 of well-formed candidates, each of which a key point field holds without a ","; merging a file over itself
// replaces each entry in its place; recognition and the entry choice take any sysObjectID, description and model. A
// supplies section read has a maker and, where it is used, a whole Table OID and column numbers.
#include "check.h"
#include "reading/countermaps.h"

#include <QRegularExpression>

#include <cstdint>

using fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    namespace maps = reading::countermaps;
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QList<maps::Entry> entries = maps::parse(bytes, QStringLiteral("fuzzed"));
    for (const maps::Entry &entry : entries) {
        check(!entry.maker.isEmpty() && (entry.modelPattern.isEmpty() || entry.enterprises.isEmpty()));
        for (auto slot = entry.counters.cbegin(); slot != entry.counters.cend(); ++slot) {
            check(slot.key() >= 1 && slot.key() <= 26 && !slot->candidates.isEmpty());
            for (const QString &candidate : slot->candidates) {
                check(maps::isCandidate(candidate));
                const QString field = maps::keyPointField(candidate);
                check(maps::isCandidate(field) && !field.contains(u','));
            }
        }
    }

    const QList<maps::SupplyTable> tables = maps::parseSupplyTables(bytes, QStringLiteral("fuzzed"));
    for (const maps::SupplyTable &table : tables) {
        check(!table.maker.isEmpty() && (table.table.isEmpty() || maps::isWholeOid(table.table)));
        for (const int column : {table.description, table.serial, table.partNumber, table.cartridgeType,
                                 table.pagesAtInstall})
            check(column >= 0);
        if (const maps::SupplyTable *found = maps::supplyTableOf(tables, table.maker)) check(!found->table.isEmpty());
    }
    for (const QString &problem : maps::problemsOf(entries, tables))
        check(problem.startsWith(QStringLiteral("fuzzed [")));

    QList<maps::Entry> merged = entries;
    maps::merge(merged, entries);
    check(merged.size() == entries.size());
    for (qsizetype i = 0; i < merged.size(); ++i) check(merged[i].name() == entries[i].name());

    // Texts of the input itself as the printer's answers.
    const QString text = QString::fromUtf8(bytes);
    const QString firstLine = text.section(u'\n', 0, 0), rest = text.section(u'\n', 1);
    if (const maps::Entry *maker = maps::makerOf(entries, firstLine, [&] { return rest; })) {
        check(maker->modelPattern.isEmpty());
        const maps::Entry *chosen = maps::entryFor(entries, *maker, rest);
        check(chosen && chosen->maker.compare(maker->maker, Qt::CaseInsensitive) == 0);
    }
    return 0;
}
