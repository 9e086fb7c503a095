// The counter maps at the key point search: the printer's maker and its map entry, each candidate OID read once, and
// the slot rule that puts what answered into the key point, so that the reading takes a maker's own black-and-white,
// colour, print, copy and fax counters as it takes any whole OID.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace reading {

// A slot the search filled from the map (or slot 1 from prtMarkerLifeCount), for the command line to show.
struct MappedSlot {
    int slot = 0;
    QString oid, value; // oid: the key point's field, a whole OID or a packed record or sum
    QStringList parts;  // a packed record's code and value, or each summed row's OID and count
    QString entry, file; // the map entry that chose the OID and its file; empty for prtMarkerLifeCount
};

struct MapFindings {
    QString maker;           // the maker recognised, empty when none
    QList<MappedSlot> filled; // in slot order; empty when the map filled no black-and-white slot
};

// fields: the 26 fields of a Printer MIB key point (field 2 prtMarkerLifeCount). Where the map entry of the printer's
// maker fills a black-and-white slot (2, 4, 6 or 8): field 1 becomes prtMarkerLifeCount (where it answers a whole
// number, else the map's slot 1, else 0), fields 2 and 3 the map's or 0, the other slots the map's. Otherwise the
// fields stay, and where only colour counters answered, a log line names the black-and-white ones that did not.
MapFindings fillFromCounterMap(const QString &host, QStringList &fields);

} // namespace reading
