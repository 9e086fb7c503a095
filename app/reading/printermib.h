// Readings of the standard Printer MIB (RFC 3805) and Host Resources MIB beyond the makers' own rules, on while
// [Settings] StandardPrinterMib is absent, empty or not 0: printers whose make has no rules of their own are read
// through these MIBs alone, and HP and BROTHER toner comes from the supplies table. The OIDs live here, once.
#pragma once

#include <QList>
#include <QString>

namespace reading::printermib {

inline const QString DeviceDescription = QStringLiteral("1.3.6.1.2.1.25.3.2.1.3.1"); // hrDeviceDescr.1
inline const QString SerialNumber = QStringLiteral("1.3.6.1.2.1.43.5.1.1.17.1");     // prtGeneralSerialNumber.1
inline const QString MarkerLifeCount = QStringLiteral("1.3.6.1.2.1.43.10.2.1.4.1.1"); // prtMarkerLifeCount.1.1
// Columns of the supplies table; the row number follows.
inline const QString SupplyType = QStringLiteral("1.3.6.1.2.1.43.11.1.1.5.1.");        // prtMarkerSuppliesType
inline const QString SupplyDescription = QStringLiteral("1.3.6.1.2.1.43.11.1.1.6.1."); // prtMarkerSuppliesDescription
inline const QString SupplyMaximum = QStringLiteral("1.3.6.1.2.1.43.11.1.1.8.1.");     // prtMarkerSuppliesMaxCapacity
inline const QString SupplyLevel = QStringLiteral("1.3.6.1.2.1.43.11.1.1.9.1.");       // prtMarkerSuppliesLevel
constexpr int SupplyRows = 8;
constexpr int Cartridges = 4;

// The setting, read afresh at every call as the toner settings are.
bool enabled();

struct Cartridge {
    QString name;
    QString level; // percent, a negative level as the printer gives it, "-2" without a maximum, ReadFailed
};

// Whether a supply type read is a cartridge: toner, ink, inkCartridge or tonerCartridge.
bool isToner(const QString &type);

// Cartridges 1 to 4: the first four of supplies rows 1 to 8 whose type is a toner or ink, in row order. The rows
// probed whose type cannot be read are named in one log line.
QList<Cartridge> readCartridges(const QString &address);

// The level text of a supply from its level and maximum capacity as read.
QString levelText(const QString &level, const QString &maximum);

} // namespace reading::printermib
