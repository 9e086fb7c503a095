// Counter maps: per maker, the OIDs at which its printers keep the counters of the key point's slots. They are data,
// not code (counter-maps.ini, one line per slot with its source), so that an operator can add a maker or a model, or
// correct one, without a new release: the file installed with the program, then one in the system folder, then one in
// the program folder, a later entry replacing the earlier one of the same name. This unit reads and merges them,
// recognises a printer's maker and chooses its entry; the key point search reads the candidates.
#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace reading::countermaps {

inline const QString FileName = QStringLiteral("counter-maps.ini");

struct Slot {
    QStringList candidates; // in order of preference, each of one of the kinds below
    QString source;         // where the OIDs come from: a MIB module and object, or a maker's document
};

struct Entry {
    QString maker;        // the section's name before "|"
    QString modelPattern; // after "|": the models the entry is for; empty for the maker's plain entry
    QString file;         // the file the entry came from
    QString overrides;    // the earlier file whose entry of the same name this one replaces
    QStringList enterprises, words; // recognition, plain entries only
    QString keysFrom;               // the earlier file whose recognition keys a plain entry without its own kept
    QMap<int, Slot> counters;       // slot 1 to 26 → its candidates
    QStringList leftOut;            // what the section holds that is not read, each with why

    QString name() const; // "Maker" or "Maker | pattern", as the file names the section
};

// The kinds of candidate. A whole OID. VALUECOLUMN[TYPECOLUMN=N]: the first row of a table whose type column reads N.
// OID#CODE: the record with code CODE (hex) of the packed OCTET STRING at OID. SUM(VALUECOLUMN)[COLUMN=N, ...]:
// VALUECOLUMN summed over every row whose named columns all read their numbers (COLUMN=N|M: any of them).
struct TableRow {
    QString valueColumn, typeColumn, type;
};
std::optional<TableRow> tableRow(const QString &candidate);

struct PackedRecord {
    QString oid;
    int code = 0;
};
std::optional<PackedRecord> packedRecord(const QString &candidate);

struct RowSum {
    QString valueColumn;
    QList<std::pair<QString, QStringList>> filters; // column, the numbers it may read
};
// Filters separated by "," or ";" (a key point field cannot hold ","), blanks around them ignored.
std::optional<RowSum> rowSum(const QString &candidate);

bool isWholeOid(const QString &candidate);
bool isCandidate(const QString &candidate);

// A candidate as a key point field holds it: a sum's filters separated by ";", the other kinds as they stand.
QString keyPointField(const QString &candidate);

// The candidates of a slot's value: separated by blanks, but for those inside "[...]".
QStringList splitCandidates(const QString &text);

// The entries of one file in file order, file names the entries' file. Sections without a maker are skipped; keys
// other than Enterprise, Words and Slot1 to Slot26, recognition keys of a narrowed entry and candidates that are
// neither form are left out, each named in the entry's leftOut. The first of sections of the same name wins, as in
// any ini file, and says that a later one is not read.
QList<Entry> parse(const QByteArray &bytes, const QString &file);

// Entries of later files replace those of the same name (letter case and blanks around "|" ignored) in their place;
// new ones follow. A plain entry that names neither Enterprise nor Words keeps those of the entry it replaces, so that
// an operator's copy of a maker's section that changes only its slots still recognises the maker.
void merge(QList<Entry> &entries, const QList<Entry> &later);

// A maker's own supplies table, from a section [Supplies MAKER] (MAKER as its plain entry names it): the table's
// entry OID and the numbers of the columns under it that give a supply's serial number, part number, cartridge type
// (named through CartridgeTypes) and pages at install. Its rows are matched to the supplies table's by description
// where the section names a Description column, else by index.
struct SupplyTable {
    QString maker, file;
    QString table;
    int description = 0, serial = 0, partNumber = 0, cartridgeType = 0, pagesAtInstall = 0; // 0: not named
    QMap<int, QString> cartridgeTypes;
    QStringList leftOut;
};

inline const QString SuppliesPrefix = QStringLiteral("Supplies ");

// The supplies sections of one file; a section without a whole Table OID is left out as a whole (named in leftOut of
// an entry that holds only that), other keys that are not read are named in its leftOut.
QList<SupplyTable> parseSupplyTables(const QByteArray &bytes, const QString &file);

// The files looked for, in order: the share folder (the programs' folder in a build or portable copy, else the
// installed share folder), the system folder, the program folder.
QStringList searchedFiles();

struct Maps {
    QList<Entry> entries;   // in effect
    QList<SupplyTable> supplyTables; // in effect: a later file's section replaces the earlier one of its maker
    QStringList read;       // the files found and read
    QStringList unreadable; // files that exist but could not be read
};

// What an operator should know of the entries in effect: each thing left out, and plain entries that recognise no
// printer (no Enterprise or Words); "FILE [SECTION]: ..." each.
QStringList problemsOf(const QList<Entry> &entries, const QList<SupplyTable> &supplyTables);

Maps load();

// The maker's plain entry whose Enterprise lists sysObjectID's enterprise number; else the first whose Words has a
// word in sysDescr (asked for only then). Nothing when neither names one.
const Entry *makerOf(const QList<Entry> &entries, const QString &sysObjectId,
                     const std::function<QString()> &sysDescr);

// Whether the maker has entries narrowed to models (the model must then be read).
bool hasModelEntries(const QList<Entry> &entries, const QString &maker);

// The maker's supplies table, if the files give one.
const SupplyTable *supplyTableOf(const QList<SupplyTable> &tables, const QString &maker);

// The first entry of the maker whose pattern matches the model, else the maker's plain entry.
const Entry *entryFor(const QList<Entry> &entries, const Entry &maker, const QString &model);

} // namespace reading::countermaps
