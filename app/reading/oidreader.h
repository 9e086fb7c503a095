// GetOID: the one way the reading engine reads a value from a printer. Each call creates its own SnmpV1 object by
// name, sets it up as the printer's credential profile asks (version 1 and "public" without a credentials file),
// opens a session, gets one OID, closes the session and releases the object.
#pragma once

#include "store/snmpprofiles.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

#include <functional>
#include <optional>
#include <utility>

namespace reading {

// What a library failure reads as.
inline const QString ReadFailed = QStringLiteral("-10000");

// The value text; ReadFailed when the library answered with a message (logged as "errGetOID varOID ..."); the empty
// text when the library could not be created or called (one "errGetOID" log line per failed step).
QString GetOID(const QString &host, const QString &oid);

// GetOID for a value the printer may well lack (a table row probed one by one): a library answer is not logged, the
// caller says what was missing.
QString probeOid(const QString &host, const QString &oid);

// The exact bytes of an OCTET STRING value, which the text of GetOID loses where the first byte is 0; quiet as
// probeOid. Nothing when the printer answered with an error, with a value of another type, or not at all.
std::optional<QByteArray> probeOctets(const QString &host, const QString &oid);

// A quiet get-next, for walking a table column: the value of the binding that follows oid, with that binding's OID in
// nextOid; ReadFailed, and nextOid empty, when the printer answered with an error or not at all (the end of its
// tree, in version 1).
QString probeNextOid(const QString &host, const QString &oid, QString &nextOid);

// A value's text as a whole number; nothing for a failure or a value of another type.
std::optional<int> numberOf(const QString &text);

// The bindings a walk brought: each OID (without a leading ".") and the value's text.
using Walked = QList<std::pair<QString, QString>>;

// How many bindings a walk's GetBulk asks for: a table of some hundred cells comes in a few replies.
constexpr int WalkRepetitions = 64;

// A quiet walk from the OID start, through one session so that version 2c and 3 go on by GetBulk, for as long as
// within holds for the OIDs returned; OCTET STRINGs as "0x" and their bytes when octetsAsHex. The bindings in the
// agent's order, at most limit; nothing when the printer did not answer at all (a time-out, or no profile reaches it).
std::optional<Walked> probeWalk(const QString &host, const QString &start,
                                const std::function<bool(const QString &oid)> &within, int limit,
                                bool octetsAsHex = false);

// The SnmpV1 members, beyond Agent, CommStr and the transport's, that make a session ask as profile asks, in the
// order they are set: none for version 1, whose requests stay exactly what they always were.
QList<std::pair<QString, QVariant>> profileMembers(const store::SnmpProfile &profile);

// One sysDescr get with profile, as a choice of profile asks: with a single try, without retries, when singleTry; the
// library's text; nothing when the library could not be set up as the profile asks (the fault is logged).
std::optional<QString> tryProfile(const QString &host, const store::SnmpProfile &profile, bool singleTry);

} // namespace reading
