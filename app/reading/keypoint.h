// The counter key point: where a printer keeps each of its 26 counters, as 26 fields joined by ",". For the RICOH
// family a field is the row of the counter table holding that counter (found by name, once); for the other makes
// it is a fixed OID, or one of its maker's counter map while the standard Printer MIB readings are on; "0" where the
// counter is not available.
#pragma once

#include "mapsearch.h"

#include <QString>

namespace reading {

constexpr int CounterSlots = 26;
constexpr int CounterTableRows = 150;

// Reads the identity (brands 0 to 3) into identity and returns the key point. Shows "Scanning HOST" and steps the
// progress bar once per table row.
QString SearchPrinterKeyPoint(short brand, const QString &host, QString &identity);

struct KeyPointSearch {
    QString keyPoint;
    MapFindings map; // what the counter map gave (HP, BROTHER and standard printers)
};

// SearchPrinterKeyPoint, with what the counter map gave.
KeyPointSearch searchKeyPoint(short brand, const QString &host, QString &identity);

// Whether the search of a printer read by these rules fills its key point from the counter maps: HP, BROTHER and
// standard printers, while the standard Printer MIB readings are on.
bool usesCounterMaps(short rules);

// Whether a key point holds a field that only the standard Printer MIB readings read: a counter map's packed record or
// sum of rows.
bool holdsMapForms(const QString &keyPoint);

// The name of counter slot 1 to 26 (the RICOH table's name for it).
QString counterName(int slot);

} // namespace reading
