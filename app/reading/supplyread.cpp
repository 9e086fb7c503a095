#include "supplyread.h"

#include "conditionread.h"
#include "countermaps.h"
#include "oidreader.h"
#include "printermib.h"
#include "store/alertsettings.h"
#include "store/config.h"
#include "store/globals.h"

#include <QMap>

#include <algorithm>

namespace reading {
namespace {

using supplies::Row;

// The supplies table's entry; the walk reads its columns 3 (colorant index) to 9 (level).
const QString SuppliesEntry = QStringLiteral("1.3.6.1.2.1.43.11.1.1");
constexpr int FirstColumn = 3, LastColumn = 9;
constexpr int Columns = LastColumn - FirstColumn + 1;

// A value read with octets as hex: its bytes; a value of another type as its text.
QByteArray octetsOf(const QString &text) {
    return text.startsWith(QLatin1String("0x")) ? QByteArray::fromHex(text.mid(2).toLatin1()) : text.toUtf8();
}

// The column and the row index ("DEVICE.SUPPLY") of a binding under the supplies entry.
std::pair<int, QString> columnAndRow(const QString &walkedOid) {
    const qsizetype dot = walkedOid.indexOf(u'.');
    if (dot < 0) return {0, QString()};
    return {walkedOid.left(dot).toInt(), walkedOid.mid(dot + 1)};
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
    QMap<QString, Row> rows; // by "DEVICE.SUPPLY"
    QStringList order;       // as the agent keeps them
};

Table rowsOf(const Walked &walked) {
    Table table;
    for (const auto &[oid, text] : walked) {
        const auto [column, index] = columnAndRow(oid);
        if (column < FirstColumn || column > LastColumn || index.count(u'.') != 1) continue;
        if (!table.rows.contains(index)) {
            table.order << index;
            table.rows[index].index = index.section(u'.', 1).toInt();
        }
        take(table.rows[index], column, text);
    }
    return table;
}

// The device whose rows are read: the printer's where it has any, else the first the table holds.
int deviceOf(const Table &table, int device) {
    for (const QString &index : table.order)
        if (index.section(u'.', 0, 0).toInt() == device) return device;
    return table.order.isEmpty() ? device : table.order.first().section(u'.', 0, 0).toInt();
}

// prtMarkerColorantValue of the device's colorants, by colorant index.
QMap<int, QString> colorantsOf(const QString &address, int device) {
    QMap<int, QString> colorants;
    const QString prefix = printermib::ColorantValue + u'.' + QString::number(device);
    for (const auto &[index, text] : probeWalk(address, prefix, printermib::SupplyRowLimit).value_or(Walked{}))
        if (const std::optional<int> number = numberOf(index)) colorants.insert(*number, text);
    return colorants;
}

// One column of a maker's table under the device, by supply index.
QMap<int, QString> makerColumn(const QString &address, const QString &table, int column, int device) {
    QMap<int, QString> values;
    if (column <= 0) return values;
    const QString prefix = table + u'.' + QString::number(column) + u'.' + QString::number(device);
    for (const auto &[index, text] : probeWalk(address, prefix, printermib::SupplyRowLimit, true).value_or(Walked{}))
        if (const std::optional<int> number = numberOf(index))
            values.insert(*number, supplies::descriptionOf(octetsOf(text)));
    return values;
}

// The maker's supplies table named in the counter maps, when the printer's maker has one.
std::optional<countermaps::SupplyTable> makerTable(const QString &address) {
    const countermaps::Maps maps = countermaps::load();
    if (maps.supplyTables.isEmpty()) return std::nullopt;
    const countermaps::Entry *maker = countermaps::makerOf(
        maps.entries, probeOid(address, printermib::SysObjectId), [&] { return probeOid(address, printermib::SysDescr); });
    if (!maker) return std::nullopt;
    const countermaps::SupplyTable *table = countermaps::supplyTableOf(maps.supplyTables, maker->maker);
    return table ? std::optional(*table) : std::nullopt;
}

// Part and serial numbers, cartridge type and pages at install from the maker's table, each supply matched by its
// description where the table names that column, else by index.
void addMakerDetails(const QString &address, int device, QList<supplies::Supply> &found) {
    const auto table = makerTable(address);
    if (!table) return;
    const auto column = [&](int number) { return makerColumn(address, table->table, number, device); };
    const QMap<int, QString> descriptions = column(table->description), serials = column(table->serial),
                             parts = column(table->partNumber), types = column(table->cartridgeType),
                             pages = column(table->pagesAtInstall);
    for (supplies::Supply &supply : found) {
        int row = supply.index;
        if (table->description > 0) {
            row = -1;
            for (auto described = descriptions.begin(); described != descriptions.end(); ++described)
                if (described->compare(supply.description, Qt::CaseInsensitive) == 0) row = described.key();
        }
        if (row < 0) continue;
        supplies::MakerDetails &details = supply.maker;
        if (serials.contains(row)) details.serial = serials.value(row);
        details.partNumber = parts.value(row);
        if (const auto type = numberOf(types.value(row)))
            details.cartridgeType = table->cartridgeTypes.value(*type, QString::number(*type));
        if (const auto count = numberOf(pages.value(row))) details.pagesAtInstall = quint32(*count);
    }
}

} // namespace

int tonerLowPercent() {
    const int threshold = store::settingNumber(store::globals().iniFile, QStringLiteral("Settings"),
                                               QStringLiteral("TonerLow"));
    return threshold > 0 ? std::max(threshold, 10) : 0; // a threshold under 10 counts as 10; 0 warns of none
}

int partsLowPercent() { return store::alertSettings().partsLow; }

SuppliesRead readSupplies(const QString &address, int deviceIndex) {
    SuppliesRead read;
    const int most = printermib::SupplyRowLimit * Columns;
    const auto walked = probeWalk(address, SuppliesEntry, most, true, SuppliesEntry + u'.' + QString::number(FirstColumn));
    if (!walked) return read;
    read.answered = true;
    const Table table = rowsOf(*walked);
    read.deviceIndex = deviceOf(table, deviceIndex > 0 ? deviceIndex : printerDeviceIndex(address));
    const QString device = QString::number(read.deviceIndex) + u'.';
    QList<Row> rows;
    for (const QString &index : table.order)
        if (index.startsWith(device) && rows.size() < printermib::SupplyRowLimit) rows << table.rows.value(index);
    if (rows.isEmpty()) return read;
    const bool coloured = std::any_of(rows.begin(), rows.end(), [](const Row &row) { return row.colorantIndex > 0; });
    const QMap<int, QString> colorants = coloured ? colorantsOf(address, read.deviceIndex) : QMap<int, QString>();
    const int tonerLow = tonerLowPercent(), partsLow = partsLowPercent();
    for (const Row &row : rows) read.supplies << supplies::supplyOf(row, colorants, tonerLow, partsLow);
    addMakerDetails(address, read.deviceIndex, read.supplies);
    return read;
}

} // namespace reading
