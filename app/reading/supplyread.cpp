#include "supplyread.h"

#include "conditionread.h"
#include "countermaps.h"
#include "oidreader.h"
#include "printermib.h"
#include "store/alertsettings.h"
#include "store/conditionstate.h"
#include "store/config.h"
#include "store/globals.h"

#include <QMap>

#include <algorithm>

namespace reading {
namespace {

using supplies::Row;

// The supplies table's entry and its columns read, 3 (colorant index) to 9 (level); and the colorant table's, whose
// columns follow in the tree, up to 4 (the colorant's value): one walk reads both.
const QString SuppliesEntry = QStringLiteral("1.3.6.1.2.1.43.11.1.1");
const QString ColorantEntry = QStringLiteral("1.3.6.1.2.1.43.12.1.1");
constexpr int FirstColumn = 3, LastColumn = 9, ColorantValueColumn = 4;
constexpr int CellsPerRow = LastColumn - FirstColumn + 1 + ColorantValueColumn - 1;

// A value read with octets as hex: its bytes; a value of another type as its text.
QByteArray octetsOf(const QString &text) {
    return text.startsWith(QLatin1String("0x")) ? QByteArray::fromHex(text.mid(2).toLatin1()) : text.toUtf8();
}

// A binding under a table's entry: its column and its row's index ("DEVICE.ROW"); column 0 for any other OID.
struct Cell {
    int column = 0;
    QString row;
};

Cell cellOf(const QString &oid, const QString &entry) {
    if (!oid.startsWith(entry + u'.')) return {};
    const QString rest = oid.mid(entry.size() + 1);
    const qsizetype dot = rest.indexOf(u'.');
    if (dot < 0) return {};
    return {rest.left(dot).toInt(), rest.mid(dot + 1)};
}

void take(Row &row, int column, const QString &text) {
    const std::optional<int> number = numberOf(text);
    switch (column) {
    case 3: row.colorantIndex = number.value_or(0); break;
    case 4: row.supplyClass = number.value_or(0); break;
    case 5: row.type = number.value_or(0); break;
    case 6: row.description = octetsOf(text); break;
    case 7: row.unit = number.value_or(0); break;
    case 8: row.maxCapacity = number; break;
    case 9: row.level = number; break;
    }
}

struct Table {
    QMap<QString, Row> rows;          // by "DEVICE.SUPPLY"
    QStringList order;                // as the agent keeps them
    QMap<QString, QString> colorants; // prtMarkerColorantValue by "DEVICE.COLORANT"
};

Table tableOf(const Walked &walked) {
    Table table;
    for (const auto &[oid, text] : walked) {
        if (const Cell colorant = cellOf(oid, ColorantEntry); colorant.column == ColorantValueColumn) {
            table.colorants.insert(colorant.row, text);
            continue;
        }
        const Cell cell = cellOf(oid, SuppliesEntry);
        if (cell.column < FirstColumn || cell.column > LastColumn || cell.row.count(u'.') != 1) continue;
        if (!table.rows.contains(cell.row)) {
            table.order << cell.row;
            table.rows[cell.row].index = cell.row.section(u'.', 1).toInt();
        }
        take(table.rows[cell.row], cell.column, text);
    }
    return table;
}

bool inSuppliesOrColorants(const QString &oid) {
    const Cell colorant = cellOf(oid, ColorantEntry);
    return oid.startsWith(SuppliesEntry + u'.') || (colorant.column > 0 && colorant.column <= ColorantValueColumn);
}

// The device whose rows are read: the printer's where it has any, else the first the table holds.
int deviceOf(const Table &table, int device) {
    for (const QString &index : table.order)
        if (index.section(u'.', 0, 0).toInt() == device) return device;
    return table.order.isEmpty() ? device : table.order.first().section(u'.', 0, 0).toInt();
}

// The device's colorant values by colorant index, as its (decoded) text.
QMap<int, QString> colorantsOf(const Table &table, int device) {
    QMap<int, QString> colorants;
    for (auto colorant = table.colorants.begin(); colorant != table.colorants.end(); ++colorant)
        if (colorant.key().section(u'.', 0, 0).toInt() == device)
            colorants.insert(colorant.key().section(u'.', 1).toInt(), supplies::descriptionOf(octetsOf(*colorant)));
    return colorants;
}

// The maker's supplies table named in the counter maps, when the printer's maker has one.
std::optional<countermaps::SupplyTable> makerTable(const QString &address) {
    const countermaps::Maps maps = countermaps::load();
    if (maps.supplyTables.isEmpty()) return std::nullopt;
    const countermaps::Entry *maker = countermaps::makerOf(maps.entries, probeOid(address, printermib::SysObjectId),
                                                           [&] { return probeOid(address, printermib::SysDescr); });
    if (!maker) return std::nullopt;
    const countermaps::SupplyTable *table = countermaps::supplyTableOf(maps.supplyTables, maker->maker);
    return table ? std::optional(*table) : std::nullopt;
}

// The columns of the maker's table the section names, under the device, walked at once: by column, by row's index.
QMap<int, QMap<int, QString>> makerColumns(const QString &address, const countermaps::SupplyTable &table, int device) {
    const QList<int> named = {table.description, table.serial, table.partNumber, table.cartridgeType,
                              table.pagesAtInstall};
    int first = 0, last = 0;
    for (const int column : named)
        if (column > 0) {
            first = first ? std::min(first, column) : column;
            last = std::max(last, column);
        }
    QMap<int, QMap<int, QString>> columns;
    if (!first) return columns;
    const auto within = [&](const QString &oid) {
        const Cell cell = cellOf(oid, table.table);
        return cell.column >= first && cell.column <= last;
    };
    const int most = printermib::SupplyRowLimit * (last - first + 1);
    const QString start = table.table + u'.' + QString::number(first);
    for (const auto &[oid, text] : probeWalk(address, start, within, most, true).value_or(Walked{})) {
        const Cell cell = cellOf(oid, table.table);
        if (named.contains(cell.column) && cell.row.section(u'.', 0, 0).toInt() == device)
            columns[cell.column].insert(cell.row.section(u'.', 1).toInt(), supplies::descriptionOf(octetsOf(text)));
    }
    return columns;
}

// Part and serial numbers, cartridge type and pages at install from the maker's table, each supply matched by its
// description where the table names that column, else by index.
void addMakerDetails(const QString &address, int device, QList<supplies::Supply> &found) {
    const auto table = makerTable(address);
    if (!table) return;
    const QMap<int, QMap<int, QString>> columns = makerColumns(address, *table, device);
    const auto value = [&](int column, int row) { return column > 0 ? columns.value(column).value(row) : QString(); };
    for (supplies::Supply &supply : found) {
        int row = supply.index;
        if (table->description > 0) {
            row = -1;
            const QMap<int, QString> descriptions = columns.value(table->description);
            for (auto described = descriptions.begin(); described != descriptions.end(); ++described)
                if (described->compare(supply.description, Qt::CaseInsensitive) == 0) row = described.key();
        }
        if (row < 0) continue;
        supplies::MakerDetails &details = supply.maker;
        if (const QString serial = value(table->serial, row); !serial.isEmpty()) details.serial = serial;
        details.partNumber = value(table->partNumber, row);
        if (const auto type = numberOf(value(table->cartridgeType, row)))
            details.cartridgeType = table->cartridgeTypes.value(*type, QString::number(*type));
        if (const auto count = numberOf(value(table->pagesAtInstall, row))) details.pagesAtInstall = quint32(*count);
    }
}

} // namespace

int tonerLowPercent() {
    const int threshold =
        store::settingNumber(store::globals().iniFile, QStringLiteral("Settings"), QStringLiteral("TonerLow"));
    return threshold > 0 ? std::max(threshold, 10) : 0; // a threshold under 10 counts as 10; 0 warns of none
}

int partsLowPercent() { return store::alertSettings().partsLow; }

SuppliesRead readSupplies(const QString &address, int deviceIndex) {
    SuppliesRead read;
    const QString start = SuppliesEntry + u'.' + QString::number(FirstColumn);
    const auto walked =
        probeWalk(address, start, inSuppliesOrColorants, printermib::SupplyRowLimit * CellsPerRow, true);
    if (!walked) return read;
    read.answered = true;
    const Table table = tableOf(*walked);
    read.deviceIndex = deviceOf(table, deviceIndex > 0 ? deviceIndex : printerDeviceIndex(address));
    const QString device = QString::number(read.deviceIndex) + u'.';
    QList<Row> rows;
    for (const QString &index : table.order)
        if (index.startsWith(device) && rows.size() < printermib::SupplyRowLimit) rows << table.rows.value(index);
    if (rows.isEmpty()) return read;
    const QMap<int, QString> colorants = colorantsOf(table, read.deviceIndex);
    const int tonerLow = tonerLowPercent(), partsLow = partsLowPercent();
    for (const Row &row : rows) read.supplies << supplies::supplyOf(row, colorants, tonerLow, partsLow);
    addMakerDetails(address, read.deviceIndex, read.supplies);
    return read;
}

ConditionNow readConditionNow(const QString &host, const QString &address) {
    ConditionNow now;
    const store::PrinterCondition remembered =
        store::ConditionStates(store::globals().programFolder).printers().value(host);
    ConditionMemory memory;
    memory.deviceIndex = remembered.deviceIndex; // the whole table is walked: the rest of the memory is of no use
    now.observed = readConditionSignals(address, memory, /*walkAlerts*/ true, &now.model);
    if (!now.observed.answered) return now;
    now.supplies = readSupplies(address, now.observed.deviceIndex);
    const store::AlertSettings settings = store::alertSettings();
    for (const conditions::Condition &condition :
         supplies::merged(conditions::conditionsOf(now.observed), supplies::conditionsOf(now.supplies.supplies)))
        if (!settings.muted(address, condition.kind, condition.unit))
            now.conditions.append({condition, remembered.conditions.value(condition.key()).since});
    return now;
}

} // namespace reading
