// Alerts of the printers' condition: every condition a poll or a cycle raised and cleared, as one message per
// channel that takes any of them (never one per printer); each channel's daily summary when its time comes; and
// the sending of what waits, with the readings' back-off. Nothing is made while StandardPrinterMib is 0, for no
// condition is read then.
#pragma once

#include "alerts/message.h"
#include "store/conditionstate.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace upload {

// One message per channel for the changes it takes; the printers named as states and the list know them.
void alertConditionChanges(const QList<store::ConditionChange> &changes, const store::ConditionStates &states);

// The daily summary of each channel whose SummaryAt has come by now (local time) since its last one.
void makeDueSummaries(const QDateTime &now);

// The site's day up to now, as a summary tells it.
alerts::Summary siteSummary(const QDateTime &now);

// Sends the waiting messages whose wait is over (dueOnly) or all; the number handed over.
int sendWaitingAlerts(bool dueOnly = true, QString *failure = nullptr);

// The site as messages name it: the customer code and this computer's name.
alerts::Site thisSite();

} // namespace upload
