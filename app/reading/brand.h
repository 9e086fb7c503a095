// Which maker's rules read a printer, from the first three letters of its system description.
#pragma once

#include <QString>

namespace reading {

enum Brand : short { Unknown = -1, Ricoh = 0, Oki = 1, Hp = 2, Brother = 3, Kyocera = 4 };

// Not a brand code but the rules a printer is read by when they are not its brand's own: those of the standard
// Printer MIB, for a printer that answered as KYOCERA or as a make not recognised (see printermib.h).
constexpr short StandardPrinter = 5;

// The brand code of the printer at host; sysDescr receives the description read (ReadFailed when it failed).
short GetCodeBrand(const QString &host, QString &sysDescr);

// The rules the reading engine reads a printer by: StandardPrinter for a printer whose description was read and
// whose brand is KYOCERA or not recognised, while the standard Printer MIB readings are on; else the brand itself.
short readingRules(short brand, const QString &sysDescr);

// A BROTHER's identity: the text of its private identity OID unless that is empty or failed, else its Printer MIB
// serial number (devices lack one or the other).
QString brotherIdentity(const QString &host);

// The brand code a description gives (its trimmed, upper-cased first three characters).
short brandOfDescription(const QString &sysDescr);

// The printer's identity read with its brand's OID; "unknow" for an unrecognised printer; empty for BROTHER and
// KYOCERA. While the standard Printer MIB readings are on, BROTHER, KYOCERA and printers not recognised that
// answered give the identity their readings carry.
QString GetSerialByBrand(const QString &host);

} // namespace reading
