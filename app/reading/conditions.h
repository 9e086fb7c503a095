// A printer's condition from the standard status objects: the signals a read brings back (device and printer status,
// the detected error bits, the alert table's rows, the panel text) and the conditions they give, each a kind, the
// sub-unit it concerns where known, and a severity. One table (conditions.cpp) maps every error bit and alert code
// to a kind; a bit and an alert row that say the same thing are one condition. Pure: nothing here asks a printer.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace reading::conditions {

enum class Severity { Notice = 1, Warning = 2, Critical = 3 };

// "notice", "warning", "critical"; and back, in any letter case.
QString severityName(Severity severity);
std::optional<Severity> severityNamed(const QString &name);

// Kinds the toner notice already speaks for: they give no notice of their own.
bool isTonerKind(const QString &kind);

struct AlertRow {
    QString index; // the row's index after the device index
    int severity = 0, training = 0, group = 0, groupIndex = 0, location = 0, code = 0;
    QString description;
    quint32 time = 0; // sysUpTime when the row was added, hundredths of a second
    QString unit;     // the sub-unit's own name where it was read (a colour); else named from group and index
};

struct Signals {
    bool answered = false;
    int deviceIndex = 1;
    int deviceStatus = 0, printerStatus = 0; // 0: not read
    std::optional<QByteArray> errorState;    // the raw octets; nothing when not read
    std::optional<quint32> upTime;           // hundredths of a second
    int allEvents = -1, criticalEvents = -1; // the alert table's change counters; -1: not read
    bool alertsRead = false;                 // the alert rows below are the table as walked now
    QList<AlertRow> alerts;
    QStringList panel;
};

struct Condition {
    QString kind;
    QString unit; // "tray 2", "cyan", ...; empty where the printer does not say
    Severity severity = Severity::Notice;
    QString text; // "Out of paper: tray 2"
    bool fromAlert = false;

    QString key() const { return unit.isEmpty() ? kind : kind + u':' + unit; }
};

// The names of the error bits set in hrPrinterDetectedErrorState's octets, bit 0 (the first octet's most significant
// bit) first; bits past the 15 the standard names as "bit N".
QStringList errorBitNames(const QByteArray &octets);

// The standard's names of a device status, printer status and alert code, severity, training level and group;
// the empty text for a value the standard does not define.
QString deviceStatusName(int status);
QString printerStatusName(int status);
QString alertCodeName(int code);
QString alertSeverityName(int severity);
QString trainingLevelName(int level);
QString alertGroupName(int group);

// The conditions the signals give, worst first; none for a printer that did not answer. Rows that are states, not
// conditions (power saving, warming up, ready, a fuser warming while the printer idles, undefined values), and
// unary warnings older than a day are left out.
QList<Condition> conditionsOf(const Signals &observed);

// Adds condition to conditions unless one of its kind and unit is there (the worse severity is kept); a unit-less one
// of a kind held with its unit is the same condition, and a unit-less one held gives way to one with its unit.
void merge(QList<Condition> &conditions, const Condition &condition);

// The text of a panel line's octets in the character set an IANA MIBenum names (3 US-ASCII, 4 Latin-1, 106 UTF-8,
// 2004 Roman-8, ...), NUL bytes and trailing blanks removed. An unknown or missing set reads UTF-8 where the bytes
// are UTF-8, else Windows-1252.
QString panelText(const QByteArray &octets, int mibEnum);

} // namespace reading::conditions
