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
// The printer's condition (Host Resources MIB, RFC 2790; Printer MIB, RFC 3805). Columns and tables are followed by
// the device index (and a row's index) after a ".".
inline const QString SysUpTime = QStringLiteral("1.3.6.1.2.1.1.3.0");             // sysUpTime.0
inline const QString DeviceType = QStringLiteral("1.3.6.1.2.1.25.3.2.1.2");        // hrDeviceType
inline const QString DeviceDescriptions = QStringLiteral("1.3.6.1.2.1.25.3.2.1.3"); // hrDeviceDescr
inline const QString DevicePrinter = QStringLiteral("1.3.6.1.2.1.25.3.1.5");       // hrDevicePrinter
inline const QString DeviceStatus = QStringLiteral("1.3.6.1.2.1.25.3.2.1.5");      // hrDeviceStatus
inline const QString PrinterStatus = QStringLiteral("1.3.6.1.2.1.25.3.5.1.1");     // hrPrinterStatus
inline const QString DetectedErrorState = QStringLiteral("1.3.6.1.2.1.25.3.5.1.2"); // hrPrinterDetectedErrorState
inline const QString ConsoleLocalization = QStringLiteral("1.3.6.1.2.1.43.5.1.1.10"); // prtConsoleLocalization
inline const QString AlertCriticalEvents = QStringLiteral("1.3.6.1.2.1.43.5.1.1.18"); // prtAlertCriticalEvents
inline const QString AlertAllEvents = QStringLiteral("1.3.6.1.2.1.43.5.1.1.19");      // prtAlertAllEvents
inline const QString LocalizationCharacterSet = QStringLiteral("1.3.6.1.2.1.43.7.1.1.4"); // prtLocalizationCharacterSet
inline const QString SupplyColorantIndex = QStringLiteral("1.3.6.1.2.1.43.11.1.1.3"); // prtMarkerSuppliesColorantIndex
inline const QString ColorantValue = QStringLiteral("1.3.6.1.2.1.43.12.1.1.4");       // prtMarkerColorantValue
inline const QString ConsoleDisplayText = QStringLiteral("1.3.6.1.2.1.43.16.5.1.2");  // prtConsoleDisplayBufferText
// The alert table's columns, 2 (severity) to 9 (time), each followed by the device index and the row's index.
inline const QString AlertEntry = QStringLiteral("1.3.6.1.2.1.43.18.1.1");            // prtAlertEntry
// Panel texts of makers whose printers lack the standard console lines.
inline const QString HpStatusDisplay = QStringLiteral("1.3.6.1.4.1.11.2.3.9.1.1.3.0");          // gdStatusDisplay
inline const QString BrotherStatusDisplay = QStringLiteral("1.3.6.1.4.1.2435.2.3.9.4.2.1.5.4.5.2.0");
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
