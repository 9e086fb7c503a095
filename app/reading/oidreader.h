// GetOID: the one way the reading engine reads a value from a printer. Each call creates its own SnmpV1 object by
// name, opens a session, gets one OID, closes the session and releases the object.
#pragma once

#include <QString>

namespace reading {

// What a library failure reads as.
inline const QString ReadFailed = QStringLiteral("-10000");

// The value text; ReadFailed when the library answered with a message (logged as "errGetOID varOID ..."); the empty
// text when the library could not be created or called (one "errGetOID" log line per failed step).
QString GetOID(const QString &host, const QString &oid);

// GetOID for a value the printer may well lack (a table row probed one by one): a library answer is not logged, the
// caller says what was missing.
QString probeOid(const QString &host, const QString &oid);

// A quiet get-next, for walking a table column: the value of the binding that follows oid, with that binding's OID in
// nextOid; ReadFailed, and nextOid empty, when the printer answered with an error or not at all (the end of its
// tree, in version 1).
QString probeNextOid(const QString &host, const QString &oid, QString &nextOid);

} // namespace reading
