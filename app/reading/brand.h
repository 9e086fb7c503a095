// Which maker's rules read a printer, from the first three letters of its system description.
#pragma once

#include <QString>

namespace reading {

enum Brand : short { Unknown = -1, Ricoh = 0, Oki = 1, Hp = 2, Brother = 3, Kyocera = 4 };

// The brand code of the printer at host; sysDescr receives the description read (ReadFailed when it failed).
short GetCodeBrand(const QString &host, QString &sysDescr);

// The brand code a description gives (its trimmed, upper-cased first three characters).
short brandOfDescription(const QString &sysDescr);

// The printer's identity read with its brand's OID; "unknow" for an unrecognised printer; empty for BROTHER and
// KYOCERA.
QString GetSerialByBrand(const QString &host);

} // namespace reading
