// Reading a printer's condition signals: the printer's device index (its first hrDeviceTable row of type printer,
// else 1), the status objects, the alert table walked column by column (every row whatever its index), and the panel
// lines in their character set. A read of one printer asks one request after another through its credential
// profile; the poll asks many printers at once through the library's batch probe, one get each, and walks the alert
// table only of printers whose table may have changed. Every read here is quiet and outside the readings' fault
// rule: a printer that does not answer is a signal, not a fault.
#pragma once

#include "conditions.h"

#include <QHash>
#include <QList>
#include <QString>

#include <optional>

namespace reading {

// What a read needs to know from the one before it.
struct ConditionMemory {
    int deviceIndex = 0; // 0: not found yet
    std::optional<quint32> upTime;
    int allEvents = -1, criticalEvents = -1;
    bool alertsActive = false; // a condition raised or pending came from the alert table
};

// The printer's device index: its first hrDeviceTable row of type printer, else 1.
int printerDeviceIndex(const QString &address);

// Whether the alert table must be walked after a read of the status objects: the change counters moved or were never
// read, sysUpTime went back (a restart), or a condition from the table is active. The counters count rows added,
// not rows removed, so a table whose conditions are active is walked at every read.
bool alertTableChanged(const conditions::Signals &read, const ConditionMemory &memory);

// Reads one printer now. The alert table is walked when alertTableChanged says so, or always when walkAlerts; the
// panel lines are read along with the table. model, when given, receives hrDeviceDescr.
conditions::Signals readConditionSignals(const QString &address, const ConditionMemory &memory,
                                         bool walkAlerts = false, QString *model = nullptr);

struct PollTarget {
    QString address;
    ConditionMemory memory;
};

// Reads many printers: the status objects of all at once (each printer one get, through the profile chosen for it,
// or every profile that applies where none was chosen), then, one after another, the alert tables of those that need
// it, and whole reads of those whose device index is not known yet. The signals by address; a printer the library
// could not ask at all is missing.
QHash<QString, conditions::Signals> pollConditionSignals(const QList<PollTarget> &targets);

} // namespace reading
