#include "printermib.h"

#include "oidreader.h"
#include "store/config.h"
#include "store/globals.h"
#include "store/log.h"

#include <QStringList>

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
    return QString::number(l * 100 / m);
}

QList<Cartridge> readCartridges(const QString &address) {
    QList<Cartridge> found;
    // Most printers have fewer rows than are probed: the rows absent make one log line per reading, not one each.
    QStringList absent;
    for (int row = 1; row <= SupplyRows && found.size() < Cartridges; ++row) {
        const QString index = QString::number(row);
        const QString type = probeOid(address, SupplyType + index);
        if (type == ReadFailed) absent << index;
        if (!isToner(type)) continue; // a failed read is no cartridge either
        const QString name = GetOID(address, SupplyDescription + index);
        const QString maximum = GetOID(address, SupplyMaximum + index);
        found.append({name, levelText(GetOID(address, SupplyLevel + index), maximum)});
    }
    if (!absent.isEmpty())
        store::WriteLog(QStringLiteral("Supplies rows absent at %1: %2").arg(address, absent.join(u' ')));
    return found;
}

} // namespace reading::printermib
