// The printers' condition kept and told: read after each reading of a cycle and by the condition poll between cycles,
// debounced and remembered in the program folder, shown in the list's Status column and the notification icon's
// tip, and each newly raised condition announced once. The poll and the cycle never run inside each other: ticks and
// clicks arrive inside the SNMP waits of both, so a cycle asked for during a poll runs right after it, and a poll
// asked for during a cycle starts none. Nothing of it runs while StandardPrinterMib is 0.
#pragma once

#include "reading/supplyread.h"
#include "store/conditionstate.h"

#include <QList>
#include <QString>

namespace upload {

// What the watch read after a reading: the supplies, and the conditions it raised and cleared.
struct Watched {
    reading::SuppliesRead supplies;
    QList<store::ConditionChange> changes;
};

// Reads the condition and the supplies of the printer just read (host as its slot names it, address resolved),
// remembers them and tells the window; the poll reads the condition alone. Quiet and outside the cycle's fault count:
// it never changes the reading or its log lines.
Watched watchAfterReading(const QString &host, const QString &address, const QString &description);

// After a cycle: the printers whose readings the service has not taken for days, then the alerts of every condition
// the cycle raised and cleared.
void finishCycleConditions(const QList<store::ConditionChange> &cycleChanges);

// One poll of every monitored printer, unless a cycle or another poll runs; false when it started none.
bool runConditionPoll();
bool conditionPollRunning();

// Ticks between polls, from alerts.ini's PollMinutes and the nominal 30 s tick; 0: no poll.
int pollIntervalTicks();

// Tells the window the remembered condition of every monitored printer (at start-up, or after the list changed), and
// forgets the printers no longer monitored.
void showRememberedConditions();

} // namespace upload
