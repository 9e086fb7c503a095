#include "printermib.h"

#include "oidreader.h"
#include "store/config.h"
#include "store/globals.h"

#include <QStringList>

#include <algorithm>

namespace reading::printermib {

bool isToner(const QString &type) {
    static const QStringList toners{QStringLiteral("3"), QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("21")};
    return toners.contains(type);
}

bool enabled() {
    const QString ini = store::globals().iniFile;
    const QString section = QStringLiteral("Settings"), key = QStringLiteral("StandardPrinterMib");
    return store::ReadIniValue(ini, section, key).isEmpty() || store::settingNumber(ini, section, key) != 0;
}

QString levelText(const QString &level, const QString &maximum) {
    if (level == ReadFailed || maximum == ReadFailed) return ReadFailed;
    bool levelRead = false, maximumRead = false;
    // Both are 32-bit integers on the wire; anything else is as good as a failed read.
    const qint64 l = level.toInt(&levelRead), m = maximum.toInt(&maximumRead);
    if (!levelRead || !maximumRead) return ReadFailed;
    if (l < 0) return level;                           // -1 other, -2 unknown, -3 some remaining
    if (m <= 0) return QStringLiteral("-2");
    return QString::number(std::min(l, m) * 100 / m);
}

namespace {

// The row indexes of the first four toner or ink rows, walking the type column until get-next leaves it or fails.
QStringList tonerRows(const QString &address) {
    QStringList rows;
    const QString column = SupplyType + u'.';
    QString oid = SupplyType;
    for (int step = 0; step < SupplyRowLimit && rows.size() < Cartridges; ++step) {
        QString next;
        const QString type = probeNextOid(address, oid, next);
        if (!next.startsWith(column)) break;
        oid = next;
        if (isToner(type)) rows << oid.mid(column.size());
    }
    return rows;
}

} // namespace

QList<Cartridge> readCartridges(const QString &address) {
    QList<Cartridge> found;
    for (const QString &row : tonerRows(address)) {
        const QString name = probeOid(address, SupplyDescription + u'.' + row);
        const QString maximum = probeOid(address, SupplyMaximum + u'.' + row);
        found.append({name, levelText(probeOid(address, SupplyLevel + u'.' + row), maximum)});
    }
    return found;
}

} // namespace reading::printermib
