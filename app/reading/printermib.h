// Readings of the standard Printer MIB (RFC 3805) and Host Resources MIB beyond the makers' own rules, on while
// [Settings] StandardPrinterMib is absent, empty or not 0: printers whose make has no rules of their own are read
// through these MIBs alone, HP and BROTHER toner comes from the supplies table, and so does that of a RICOH or OKI
// printer whose own toner OIDs answer nothing. The OIDs live here, once.
#pragma once

#include <QList>
#include <QString>

namespace reading::printermib {

// MIB-II's system group, which every agent answers.
inline const QString SysDescr = QStringLiteral("1.3.6.1.2.1.1.1.0");    // sysDescr.0
inline const QString SysObjectId = QStringLiteral("1.3.6.1.2.1.1.2.0"); // sysObjectID.0
inline const QString DeviceDescription = QStringLiteral("1.3.6.1.2.1.25.3.2.1.3.1"); // hrDeviceDescr.1
inline const QString SerialNumber = QStringLiteral("1.3.6.1.2.1.43.5.1.1.17.1");     // prtGeneralSerialNumber.1
inline const QString MarkerLifeCount = QStringLiteral("1.3.6.1.2.1.43.10.2.1.4.1.1"); // prtMarkerLifeCount.1.1
// Columns of the supplies table; a row's index (device index, then supply index: "1.3", "0.1") follows after a ".".
inline const QString SupplyType = QStringLiteral("1.3.6.1.2.1.43.11.1.1.5");        // prtMarkerSuppliesType
inline const QString SupplyDescription = QStringLiteral("1.3.6.1.2.1.43.11.1.1.6"); // prtMarkerSuppliesDescription
inline const QString SupplyMaximum = QStringLiteral("1.3.6.1.2.1.43.11.1.1.8");     // prtMarkerSuppliesMaxCapacity
inline const QString SupplyLevel = QStringLiteral("1.3.6.1.2.1.43.11.1.1.9");       // prtMarkerSuppliesLevel
// Rows of the type column walked at most, toner or not: the walk ends even where an agent's get-next never leaves
// the column (one that answers the OID asked, or goes on without end).
constexpr int SupplyRowLimit = 64;
constexpr int Cartridges = 4;

// The setting, read afresh at every call as the toner settings are.
bool enabled();

struct Cartridge {
    QString name;
    QString level; // percent, a negative level as the printer gives it, "-2" without a maximum, ReadFailed
};

// Whether a supply type read is a cartridge: toner, ink, inkCartridge or tonerCartridge.
bool isToner(const QString &type);

// Cartridges 1 to 4: the first four rows of the supplies table whose type is a toner or ink, in table order, found
// by walking the type column with get-next under whatever device index the printer keeps them. Quiet: a printer
// without the table, or without a row's description, maximum or level, logs nothing.
QList<Cartridge> readCartridges(const QString &address);

// The level text of a supply from its level and maximum capacity as read; a level above the maximum is full.
QString levelText(const QString &level, const QString &maximum);

} // namespace reading::printermib
