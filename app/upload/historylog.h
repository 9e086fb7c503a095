// What the cycle, the condition poll and the outbox put into the reading history (history.sqlite): each reading with
// its totals, the supplies and the conditions read after it, in one transaction; the conditions a poll raises and
// clears; how each upload went. A store that cannot be written is said once, on the status line (standard error for
// the command line) and in the log, and stops nothing. Nothing is stored while StandardPrinterMib is 0.
#pragma once

#include "reading/printerinfo.h"
#include "reading/supplyread.h"
#include "store/conditionstate.h"
#include "store/history.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace upload {

// A reading of host handed to the upload at readAt, with the supplies and condition changes the watch read after it.
void storeReading(const QString &host, const reading::PrinterReading &read, const QDateTime &readAt,
                  const reading::SuppliesRead &supplies, const QList<store::ConditionChange> &changes);

// The conditions a poll raised and cleared.
void storeConditionChanges(const QList<store::ConditionChange> &changes);

// How the upload of host's reading of readAt went. An outcome that comes before its reading is stored (the answer
// may arrive while the watch still reads the printer) is kept until it is.
void storeUploadOutcome(const QString &host, const QDateTime &readAt, store::Upload outcome);

} // namespace upload
